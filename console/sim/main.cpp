// vontra-console-sim: a stand-in Vontra console for developing and testing
// the display without a studio.
#include "consolelife.h"
#include "consoleserver.h"
#include "meterfeed.h"
#include "scenario.h"
#include "scenariorunner.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostInfo>
#include <QRandomGenerator>

#include <cstdio>

namespace {

constexpr quint16 kDefaultConsolePort = 19551;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

int fail(const QString &message, int code = kExitFailure)
{
    std::fprintf(stderr, "vontra-console-sim: %s\n", qPrintable(message));
    return code;
}

bool parsePort(const QString &text, quint16 *port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    *port = quint16(value);
    return true;
}

bool resolve(const QString &host, QHostAddress *address)
{
    if (address->setAddress(host))
        return true;
    const QHostInfo info = QHostInfo::fromName(host);
    for (const QHostAddress &candidate : info.addresses()) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
            *address = candidate;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vontra-console-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A stand-in Vontra console: answers the display's requests, follows its remote "
        "commands and sends meter levels. See docs/simulator.md."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("Console port to listen on (default 19551)."),
        QStringLiteral("port"), QString::number(kDefaultConsolePort));
    const QCommandLineOption bindOption(QStringLiteral("bind"),
                                        QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption targetOption(
        QStringLiteral("target"),
        QStringLiteral("Send events to host:port instead of the sender of the last request."),
        QStringLiteral("host:port"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate"), QStringLiteral("Meter events per second, 1 to 1000 (default 50)."),
        QStringLiteral("n"), QString::number(MeterFeed::kDefaultRate));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed for a reproducible run."),
                                        QStringLiteral("n"));
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                            QStringLiteral("Run the timed steps of this file."),
                                            QStringLiteral("file"));
    const QCommandLineOption quietLifeOption(
        QStringLiteral("quiet-life"),
        QStringLiteral("No life of its own: the state changes only on commands and scenario."));
    const QCommandLineOption lossOption(
        QStringLiteral("loss"),
        QStringLiteral("Lose this percentage of the datagrams each way, 0 to 100 (default 0)."),
        QStringLiteral("percent"), QStringLiteral("0"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        QStringLiteral("Log every message sent and received on stderr."));
    parser.addOptions({portOption, bindOption, targetOption, rateOption, seedOption, scenarioOption,
                       quietLifeOption, lossOption, verboseOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments()[0]),
            kExitUsage);

    quint16 port = 0;
    if (!parsePort(parser.value(portOption), &port))
        return fail(QStringLiteral("bad --port \"%1\": 1 to 65535").arg(parser.value(portOption)),
                    kExitUsage);
    QHostAddress bindAddress;
    if (!bindAddress.setAddress(parser.value(bindOption)))
        return fail(
            QStringLiteral("bad --bind \"%1\": an IP address").arg(parser.value(bindOption)),
            kExitUsage);

    bool ok = false;
    const int rate = parser.value(rateOption).toInt(&ok);
    if (!ok || rate < MeterFeed::kMinRate || rate > MeterFeed::kMaxRate)
        return fail(QStringLiteral("bad --rate \"%1\": %2 to %3")
                        .arg(parser.value(rateOption))
                        .arg(MeterFeed::kMinRate)
                        .arg(MeterFeed::kMaxRate),
                    kExitUsage);

    const int loss = parser.value(lossOption).toInt(&ok);
    if (!ok || loss < 0 || loss > 100)
        return fail(QStringLiteral("bad --loss \"%1\": 0 to 100").arg(parser.value(lossOption)),
                    kExitUsage);

    quint32 seed = QRandomGenerator::global()->generate();
    if (parser.isSet(seedOption)) {
        seed = parser.value(seedOption).toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("bad --seed \"%1\": a number 0 to 4294967295")
                            .arg(parser.value(seedOption)),
                        kExitUsage);
    }

    QVector<ScenarioStep> steps;
    if (parser.isSet(scenarioOption)) {
        QString error;
        if (!Scenario::load(parser.value(scenarioOption), &steps, &error))
            return fail(error);
    }

    ConsoleServer server;
    server.setVerbose(parser.isSet(verboseOption));
    server.setLoss(loss, seed ^ 0x10551e55u);
    if (parser.isSet(targetOption)) {
        const QString target = parser.value(targetOption);
        const int colon = target.lastIndexOf(QLatin1Char(':'));
        QHostAddress host;
        quint16 targetPort = 0;
        if (colon <= 0 || !parsePort(target.mid(colon + 1), &targetPort) ||
            !resolve(target.left(colon), &host))
            return fail(QStringLiteral("bad --target \"%1\": host:port").arg(target), kExitUsage);
        server.setFixedTarget(host, targetPort);
    }

    QString error;
    if (!server.listen(bindAddress, port, &error))
        return fail(error);

    // Streams differ so that, say, more life events do not change the levels.
    MeterFeed feed(&server, seed);
    feed.setRate(rate);
    ConsoleLife life(&server, &feed, seed ^ 0x5eed11feu);
    ScenarioRunner runner(&server, &feed, steps);
    QObject::connect(&runner, SIGNAL(quitRequested()), &app, SLOT(quit()), Qt::QueuedConnection);

    server.log(
        QStringLiteral("console listening on %1:%2, events to %3, %4 meter events/s, seed %5%6")
            .arg(bindAddress.toString())
            .arg(server.port())
            .arg(server.targetText())
            .arg(rate)
            .arg(seed)
            .arg(loss > 0 ? QStringLiteral(", losing %1% each way").arg(loss) : QString()));

    if (!parser.isSet(quietLifeOption))
        life.start();
    // Meters first, so that a scenario step at 0 s can already stop them.
    feed.start();
    runner.start();
    return app.exec();
}
