#include "consoleserver.h"

#include "vontra_wire.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <cstdio>
#include <cstring>

namespace wire = vontra::wire;

namespace {

constexpr double kMeterLogInterval = 1.0;
constexpr int kMaxDatagramsPerRead = 256;

QString wordsText(const QVector<qint32> &words)
{
    QStringList parts;
    for (qint32 w : words)
        parts << QString::number(w);
    return parts.join(QLatin1Char(' '));
}

} // namespace

ConsoleServer::ConsoleServer(QObject *parent) : QObject(parent), socket(new QUdpSocket(this))
{
    clock.start();
    connect(socket, SIGNAL(readyRead()), this, SLOT(readDatagrams()));
}

bool ConsoleServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    // No address sharing: a second console on the same port must fail, not
    // silently steal half of the display's messages.
    if (!socket->bind(address, port, QUdpSocket::DontShareAddress)) {
        if (error) {
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(address.toString())
                         .arg(port)
                         .arg(socket->errorString());
        }
        return false;
    }
    return true;
}

quint16 ConsoleServer::port() const
{
    return socket->localPort();
}

void ConsoleServer::setFixedTarget(const QHostAddress &host, quint16 port)
{
    target = host;
    targetPort = port;
    fixedTarget = true;
}

QString ConsoleServer::targetText() const
{
    return QStringLiteral("%1:%2").arg(target.toString()).arg(targetPort);
}

void ConsoleServer::setLoss(int percent, quint32 seed)
{
    lossPercent = percent;
    lossRandom.seed(seed);
}

bool ConsoleServer::lost()
{
    return lossPercent > 0 && int(lossRandom.bounded(100)) < lossPercent;
}

void ConsoleServer::log(const QString &line, bool traffic) const
{
    if (traffic && !verbose)
        return;
    std::fprintf(stderr, "[%9.3f] %s\n", seconds(), qPrintable(line));
    std::fflush(stderr);
}

void ConsoleServer::readDatagrams()
{
    // Bounded, so that a flood cannot starve the meter stream.
    for (int i = 0; i < kMaxDatagramsPerRead && socket->hasPendingDatagrams(); ++i) {
        const QNetworkDatagram datagram = socket->receiveDatagram(int(wire::kMaxDatagram) + 1);
        // An invalid datagram is the echo of an unreachable display, not a message.
        if (!datagram.isValid())
            continue;
        if (lost()) {
            log(QStringLiteral("lost a %1-byte datagram from %2:%3 on its way in")
                    .arg(datagram.data().size())
                    .arg(datagram.senderAddress().toString())
                    .arg(datagram.senderPort()),
                true);
            continue;
        }
        handleDatagram(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

void ConsoleServer::handleDatagram(const QByteArray &data, const QHostAddress &from,
                                   quint16 fromPort)
{
    const QString origin = QStringLiteral("%1:%2").arg(from.toString()).arg(fromPort);
    wire::Message message;
    const wire::DecodeError error = wire::decode(
        reinterpret_cast<const uint8_t *>(data.constData()), std::size_t(data.size()), message);
    if (error != wire::DecodeError::None) {
        log(QStringLiteral("ignored %1-byte datagram from %2: %3")
                .arg(data.size())
                .arg(origin, QLatin1String(wire::errorText(error))));
        return;
    }

    // The display's library sends from its receive socket, so its messages
    // tell where the events must go.
    if (!fixedTarget && (from != target || fromPort != targetPort)) {
        target = from;
        targetPort = fromPort;
        log(QStringLiteral("events now go to %1").arg(origin), true);
    }

    switch (message.kind) {
    case wire::Kind::Request:
        log(QStringLiteral("recv request %1 from %2").arg(message.id).arg(origin), true);
        if (ConsoleState::isStateId(message.id))
            report(message.id);
        else
            log(QStringLiteral("unknown request %1 from %2: not a state event, no answer")
                    .arg(message.id)
                    .arg(origin),
                true);
        break;
    case wire::Kind::RemoteOn: {
        const int module = message.words[0];
        log(QStringLiteral("recv remote-on module %1 value %2 from %3")
                .arg(module)
                .arg(message.words[1])
                .arg(origin),
            true);
        if (module < 0 || module >= ConsoleState::kModules) {
            log(QStringLiteral("ignored remote-on for module %1: modules are 0..%2")
                    .arg(module)
                    .arg(ConsoleState::kModules - 1));
            break;
        }
        // Whatever the value, a remote command works like the module's key.
        const qint32 on = consoleState.word(ConsoleState::kIdModuleOn, module) == 1 ? 0 : 1;
        change(ConsoleState::kIdModuleOn, module, on, true);
        emit moduleToggled(module);
        break;
    }
    case wire::Kind::RemoteNonStop: {
        log(QStringLiteral("recv remote-non-stop value %1 from %2")
                .arg(message.words[0])
                .arg(origin),
            true);
        const qint32 on = consoleState.word(ConsoleState::kIdNonStop, 0) == 1 ? 0 : 1;
        change(ConsoleState::kIdNonStop, 0, on, true);
        emit nonStopToggled();
        break;
    }
    case wire::Kind::Event:
        log(QStringLiteral("ignored event %1 from %2: a console takes no events")
                .arg(message.id)
                .arg(origin));
        break;
    }
}

void ConsoleServer::change(int id, int index, qint32 value, bool reportAlways)
{
    if (consoleState.setWord(id, index, value) || reportAlways)
        report(id);
}

void ConsoleServer::report(int id)
{
    if (!ConsoleState::isStateId(id)) {
        log(QStringLiteral("no state event %1 to send").arg(id));
        return;
    }
    sendEvent(id, consoleState.payload(id), true);
}

void ConsoleServer::sendMeters(const std::array<float, 6> &levels)
{
    QVector<qint32> words(int(levels.size()));
    for (int i = 0; i < words.size(); ++i)
        std::memcpy(&words[i], &levels[std::size_t(i)], sizeof(qint32));
    sendEvent(ConsoleState::kIdMeters, words, false);

    ++metersSent;
    const double now = seconds();
    if (verbose && now - meterLogAt >= kMeterLogInterval) {
        log(QStringLiteral("sent %1 meter events to %2, last %3 %4 %5 %6 %7 %8")
                .arg(metersSent - metersLogged)
                .arg(targetText())
                .arg(double(levels[0]), 0, 'f', 1)
                .arg(double(levels[1]), 0, 'f', 1)
                .arg(double(levels[2]), 0, 'f', 1)
                .arg(double(levels[3]), 0, 'f', 1)
                .arg(double(levels[4]), 0, 'f', 1)
                .arg(double(levels[5]), 0, 'f', 1),
            true);
        metersLogged = metersSent;
        meterLogAt = now;
    }
}

void ConsoleServer::sendEvent(int id, const QVector<qint32> &words, bool logIt)
{
    uint8_t buf[wire::kMaxDatagram];
    const std::size_t size =
        wire::encodeEvent(id, words.constData(), words.size(), buf, sizeof buf);
    if (size == 0) {
        log(QStringLiteral("cannot encode event %1 with %2 words").arg(id).arg(words.size()));
        return;
    }
    if (lost()) {
        if (logIt)
            log(QStringLiteral("lost event %1 on its way to %2").arg(id).arg(targetText()), true);
        return;
    }
    const qint64 sent = socket->writeDatagram(reinterpret_cast<const char *>(buf), qint64(size),
                                              target, targetPort);
    if (logIt)
        log(QStringLiteral("send event %1 [%2] to %3").arg(id).arg(wordsText(words), targetText()),
            true);
    if (sent != qint64(size))
        log(QStringLiteral("sending event %1 to %2 failed: %3")
                .arg(id)
                .arg(targetText(), socket->errorString()),
            true);
}
