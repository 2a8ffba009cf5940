// The simulator program on loopback, seen from the display's side: requests,
// remote commands, scenario timing, meter rate and start-up failures.
#include "simprocess.h"
#include "vontra_wire.h"

#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace wire = vontra::wire;

namespace {

constexpr int kAnswerTimeoutMs = 2000;
// How long "no answer" is waited for.
constexpr int kQuietMs = 400;
constexpr int kMeterId = 128;

struct Received
{
    wire::Message message;
    double at = 0.0; // seconds on the SimProcess clock
};

float meterLevel(const wire::Message &m, int i)
{
    float level = 0.0f;
    std::memcpy(&level, &m.words[i], sizeof level);
    return level;
}

// The display's end of the link: one socket that sends from the port the
// events come back to, as the console-link library does.
class Display
{
public:
    bool open() { return socket.bind(QHostAddress::LocalHost, 0, QUdpSocket::DontShareAddress); }
    quint16 port() const { return socket.localPort(); }

    void send(const uint8_t *buf, std::size_t size)
    {
        socket.writeDatagram(reinterpret_cast<const char *>(buf), qint64(size),
                             QHostAddress::LocalHost, consolePort);
    }
    void request(int id)
    {
        uint8_t buf[wire::kMaxDatagram];
        send(buf, wire::encodeRequest(id, buf, sizeof buf));
    }
    void remoteOn(int module, int value)
    {
        uint8_t buf[wire::kMaxDatagram];
        send(buf, wire::encodeRemoteOn(module, value, buf, sizeof buf));
    }
    void remoteNonStop(int value)
    {
        uint8_t buf[wire::kMaxDatagram];
        send(buf, wire::encodeRemoteNonStop(value, buf, sizeof buf));
    }

    // Drops whatever has arrived so far.
    void drain()
    {
        while (socket.hasPendingDatagrams())
            socket.receiveDatagram();
    }

    // Reads events for up to timeoutMs, stopping early when `until` says so.
    template <typename Stop>
    QVector<Received> collect(int timeoutMs, const SimProcess *clock, Stop until)
    {
        QVector<Received> got;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < timeoutMs) {
            if (!socket.hasPendingDatagrams())
                socket.waitForReadyRead(int(qMin<qint64>(20, timeoutMs - waited.elapsed())));
            while (socket.hasPendingDatagrams()) {
                const QByteArray data = socket.receiveDatagram().data();
                Received r;
                r.at = clock ? clock->seconds() : 0.0;
                if (wire::decode(reinterpret_cast<const uint8_t *>(data.constData()),
                                 std::size_t(data.size()), r.message) == wire::DecodeError::None) {
                    got << r;
                    if (until(r))
                        return got;
                }
            }
        }
        return got;
    }

    // The next event of this id, skipping meters and anything else.
    bool waitEvent(int id, wire::Message *out, int timeoutMs = kAnswerTimeoutMs)
    {
        const QVector<Received> got = collect(timeoutMs, nullptr, [id](const Received &r) {
            return r.message.kind == wire::Kind::Event && r.message.id == id;
        });
        if (got.isEmpty() || got.last().message.id != id)
            return false;
        *out = got.last().message;
        return true;
    }

    QUdpSocket socket;
    quint16 consolePort = 0;
};

QString writeScenario(const QTemporaryDir &dir, const QString &name, const QString &text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return QString();
    file.write(text.toUtf8());
    return path;
}

} // namespace

class TestSimConsole : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void answersEachRequest_data();
    void answersEachRequest();
    void unknownRequestIsLoggedNotAnswered();
    void remoteOnTogglesModule();
    void remoteOnOutOfRangeIsIgnored();
    void remoteNonStopToggles();
    void malformedDatagramsAreSurvived();

    void scenarioStepsComeOnTime();
    void silenceIsDetectedAndCleared();
    void meterRateIsHeld_data();
    void meterRateIsHeld();
    void badScenarioLineStopsStartUp();
    void portInUseStopsStartUp();

private:
    SimProcess shared;
    Display display;
    QTemporaryDir dir;
};

void TestSimConsole::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(display.open());
    display.consolePort = freeUdpPort();
    QVERIFY(display.consolePort != 0);
    QVERIFY2(shared.start({"--port", QString::number(display.consolePort), "--quiet-life",
                           "--verbose", "--seed", "7"}),
             qPrintable(shared.output));
}

void TestSimConsole::cleanupTestCase()
{
    shared.finish();
}

void TestSimConsole::answersEachRequest_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("words");
    // The display's request batch, in its order.
    QTest::newRow("source types") << 100 << 8;
    QTest::newRow("module on") << 96 << 8;
    QTest::newRow("module alt") << 98 << 8;
    QTest::newRow("module colours") << 73 << 24;
    QTest::newRow("silence detection") << 75 << 4;
    QTest::newRow("voice track") << 111 << 8;
    QTest::newRow("on air") << 104 << 2;
    QTest::newRow("non-stop") << 101 << 1;
    QTest::newRow("silence") << 105 << 1;
    QTest::newRow("mic on") << 102 << 1;
    QTest::newRow("crm mute") << 107 << 1;
}

void TestSimConsole::answersEachRequest()
{
    QFETCH(int, id);
    QFETCH(int, words);
    display.drain();
    display.request(id);
    wire::Message answer;
    QVERIFY2(display.waitEvent(id, &answer), "no answer");
    QCOMPARE(answer.count, words);

    // A quiet console starts from its documented state.
    if (id == 75) {
        QCOMPARE(answer.words[0], -40);
        QCOMPARE(answer.words[2], 2);
        QCOMPARE(answer.words[3], 1);
    } else if (id == 73) {
        for (int m = 0; m < 8; ++m) {
            QCOMPARE(answer.words[3 * m], 1);
            QCOMPARE(answer.words[3 * m + 1], 2);
            QCOMPARE(answer.words[3 * m + 2], 0);
        }
    } else if (id == 100) {
        const int nonZero = std::count_if(answer.words, answer.words + 8, [](int w) { return w; });
        QVERIFY(nonZero > 0);
    }
}

void TestSimConsole::unknownRequestIsLoggedNotAnswered()
{
    display.drain();
    display.request(99);
    const QVector<Received> got =
        display.collect(kQuietMs, nullptr, [](const Received &) { return false; });
    for (const Received &r : got)
        QCOMPARE(r.message.id, kMeterId);
    QVERIFY2(shared.waitForOutput(QStringLiteral("unknown request 99"), kAnswerTimeoutMs),
             qPrintable(shared.output));
}

void TestSimConsole::remoteOnTogglesModule()
{
    wire::Message before, after, again;
    display.request(96);
    QVERIFY(display.waitEvent(96, &before));

    display.remoteOn(3, 2);
    QVERIFY2(display.waitEvent(96, &after), "no module report after remote-on");
    for (int m = 0; m < 8; ++m) {
        if (m == 3)
            QCOMPARE(after.words[m], before.words[m] == 1 ? 0 : 1);
        else
            QCOMPARE(after.words[m], before.words[m]);
    }

    // A second command toggles back, whatever the value.
    display.remoteOn(3, 7);
    QVERIFY(display.waitEvent(96, &again));
    QCOMPARE(again.words[3], before.words[3] == 1 ? 1 : 0);
}

void TestSimConsole::remoteOnOutOfRangeIsIgnored()
{
    display.drain();
    display.remoteOn(8, 2);
    display.remoteOn(-1, 2);
    wire::Message report;
    QVERIFY2(!display.waitEvent(96, &report, kQuietMs), "out-of-range module was reported");
    QVERIFY2(shared.waitForOutput(QStringLiteral("remote-on for module 8"), kAnswerTimeoutMs),
             qPrintable(shared.output));
    QVERIFY(shared.waitForOutput(QStringLiteral("remote-on for module -1"), kAnswerTimeoutMs));
}

void TestSimConsole::remoteNonStopToggles()
{
    wire::Message before, first, second;
    display.request(101);
    QVERIFY(display.waitEvent(101, &before));
    display.remoteNonStop(2);
    QVERIFY2(display.waitEvent(101, &first), "no non-stop report after the command");
    QCOMPARE(first.words[0] == 1, before.words[0] != 1);
    display.remoteNonStop(2);
    QVERIFY(display.waitEvent(101, &second));
    QCOMPARE(second.words[0] == 1, before.words[0] == 1);
}

void TestSimConsole::malformedDatagramsAreSurvived()
{
    const QByteArray garbage("hello");
    display.socket.writeDatagram(garbage, QHostAddress::LocalHost, display.consolePort);
    uint8_t buf[wire::kMaxDatagram];
    std::size_t size = wire::encodeRequest(101, buf, sizeof buf);
    buf[0] = 'X'; // foreign magic
    display.send(buf, size);
    size = wire::encodeRequest(101, buf, sizeof buf);
    buf[7] += 4; // length field lies
    display.send(buf, size);

    QVERIFY2(shared.waitForOutput(QStringLiteral("ignored 5-byte datagram"), kAnswerTimeoutMs),
             qPrintable(shared.output));
    QVERIFY(shared.waitForOutput(QStringLiteral("bad magic"), kAnswerTimeoutMs));
    QVERIFY(shared.waitForOutput(QStringLiteral("length field"), kAnswerTimeoutMs));

    wire::Message answer;
    display.request(101);
    QVERIFY2(display.waitEvent(101, &answer), "the console stopped answering");
    QCOMPARE(shared.process.state(), QProcess::Running);
}

void TestSimConsole::scenarioStepsComeOnTime()
{
    const QString path = writeScenario(dir, QStringLiteral("timing.scn"),
                                       "# steps every 300 ms\n"
                                       "at 0.3 set onair1 1\n"
                                       "at 0.6 set micon 1\n"
                                       "\n"
                                       "at 0.9 set colour 2 1 0   # module 2, slot 1: grey\n"
                                       "at 1.2 send 107\n"
                                       "at 1.5 meters stop\n"
                                       "at 2.0 quit\n");
    Display d;
    QVERIFY(d.open());
    d.consolePort = freeUdpPort();
    SimProcess sim;
    QVERIFY2(sim.start({"--port", QString::number(d.consolePort), "--target",
                        QStringLiteral("127.0.0.1:%1").arg(d.port()), "--quiet-life", "--scenario",
                        path}),
             qPrintable(sim.output));
    const QVector<Received> got = d.collect(4000, &sim, [&sim](const Received &) {
        return sim.process.state() == QProcess::NotRunning;
    });
    QCOMPARE(sim.waitForExit(3000), 0);

    // Start-up reaches the first step with some slack; between steps the
    // schedule holds within 50 ms.
    constexpr double kFirstTolerance = 0.15;
    constexpr double kTolerance = 0.05;
    double first = -1.0;
    QVector<int> seen;
    double lastMeter = 0.0;
    int meters = 0;
    for (const Received &r : got) {
        const wire::Message &m = r.message;
        if (m.id == kMeterId) {
            lastMeter = r.at;
            ++meters;
            continue;
        }
        double due = 0.0;
        if (m.id == 104) {
            due = 0.3;
            QCOMPARE(m.words[0], 1);
            QCOMPARE(m.words[1], 0);
            first = r.at;
            QVERIFY2(qAbs(r.at - due) <= kFirstTolerance, qPrintable(QString::number(r.at)));
        } else if (m.id == 102) {
            due = 0.6;
            QCOMPARE(m.words[0], 1);
        } else if (m.id == 73) {
            due = 0.9;
            QCOMPARE(m.words[7], 0);
            QCOMPARE(m.words[6], 1);
        } else if (m.id == 107) {
            due = 1.2;
            QCOMPARE(m.words[0], 0);
        } else {
            QFAIL(qPrintable(QStringLiteral("unexpected event %1").arg(m.id)));
        }
        seen << m.id;
        QVERIFY(first >= 0.0);
        QVERIFY2(qAbs((r.at - first) - (due - 0.3)) <= kTolerance,
                 qPrintable(QStringLiteral("event %1 at %2 s, first step at %3 s")
                                .arg(m.id)
                                .arg(r.at)
                                .arg(first)));
    }
    QCOMPARE(seen, QVector<int>({104, 102, 73, 107}));
    // Meters flowed until the stop and not after it.
    QVERIFY2(meters >= 50, qPrintable(QString::number(meters)));
    QVERIFY2(qAbs((lastMeter - first) - 1.2) <= kTolerance + 0.02,
             qPrintable(QString::number(lastMeter)));
}

void TestSimConsole::silenceIsDetectedAndCleared()
{
    const QString path = writeScenario(dir, QStringLiteral("silence.scn"),
                                       "at 0 set silenceparam 1   # hold one second\n"
                                       "at 0 silence\n"
                                       "at 2 silence off\n"
                                       "at 2.3 set crmmute 1\n"
                                       "at 2.6 quit\n");
    Display d;
    QVERIFY(d.open());
    d.consolePort = freeUdpPort();
    SimProcess sim;
    QVERIFY2(sim.start({"--port", QString::number(d.consolePort), "--target",
                        QStringLiteral("127.0.0.1:%1").arg(d.port()), "--quiet-life", "--seed", "3",
                        "--scenario", path}),
             qPrintable(sim.output));
    const QVector<Received> got = d.collect(5000, &sim, [&sim](const Received &) {
        return sim.process.state() == QProcess::NotRunning;
    });
    QCOMPARE(sim.waitForExit(3000), 0);

    QVector<double> reports;
    QVector<int> values;
    double muteAt = -1.0;
    for (const Received &r : got) {
        const wire::Message &m = r.message;
        if (m.id == 105) {
            reports << r.at;
            values << m.words[0];
        } else if (m.id == 107) {
            muteAt = r.at;
        } else if (m.id == kMeterId && r.at > 0.1 && r.at < 1.9) {
            // Quiet programme: below the threshold on both channels.
            QVERIFY(meterLevel(m, 0) < -40.0f);
            QVERIFY(meterLevel(m, 1) < -40.0f);
        }
        if (m.id == kMeterId && r.at > 2.05) {
            // The control room follows the programme a few dB down, and
            // falls to the floor when muted.
            QVERIFY(meterLevel(m, 0) > -40.0f);
            if (muteAt < 0.0) {
                QVERIFY(meterLevel(m, 4) > -50.0f);
                QVERIFY(meterLevel(m, 4) < meterLevel(m, 0));
            } else if (r.at > muteAt + 0.05) {
                QCOMPARE(meterLevel(m, 4), -50.0f);
                QCOMPARE(meterLevel(m, 5), -50.0f);
            }
        }
    }
    QVERIFY(muteAt > 2.0);
    // Silence after the one-second hold, cleared as soon as the programme
    // is back.
    QCOMPARE(values, QVector<int>({1, 0}));
    QVERIFY2(reports[0] > 0.9 && reports[0] < 1.25, qPrintable(QString::number(reports[0])));
    QVERIFY2(reports[1] > 1.9 && reports[1] < 2.25, qPrintable(QString::number(reports[1])));
}

void TestSimConsole::meterRateIsHeld_data()
{
    QTest::addColumn<int>("rate");
    QTest::newRow("50/s") << 50;
    QTest::newRow("1000/s") << 1000;
}

void TestSimConsole::meterRateIsHeld()
{
    QFETCH(int, rate);
    Display d;
    QVERIFY(d.open());
    d.consolePort = freeUdpPort();
    SimProcess sim;
    QVERIFY2(sim.start({"--port", QString::number(d.consolePort), "--target",
                        QStringLiteral("127.0.0.1:%1").arg(d.port()), "--quiet-life", "--rate",
                        QString::number(rate)}),
             qPrintable(sim.output));

    // Settle, then count over two seconds.
    constexpr double kWindow = 2.0;
    constexpr double kSettle = 0.3;
    const QVector<Received> got =
        d.collect(int((kSettle + kWindow) * 1000) + 200, &sim,
                  [&](const Received &r) { return r.at >= kSettle + kWindow; });
    int counted = 0;
    for (const Received &r : got) {
        if (r.message.id != kMeterId || r.at < kSettle || r.at >= kSettle + kWindow)
            continue;
        ++counted;
        QVERIFY(r.message.count >= 6);
        for (int i = 0; i < 6; ++i) {
            const float level = meterLevel(r.message, i);
            QVERIFY2(level >= -50.0f && level <= 5.0f, qPrintable(QString::number(level)));
        }
    }
    const double expected = rate * kWindow;
    QVERIFY2(
        qAbs(counted - expected) <= expected * 0.05,
        qPrintable(
            QStringLiteral("%1 meter events in %2 s at %3/s").arg(counted).arg(kWindow).arg(rate)));
}

void TestSimConsole::badScenarioLineStopsStartUp()
{
    const QString path = writeScenario(dir, QStringLiteral("bad.scn"),
                                       "# a comment\n"
                                       "at 1 set onair1 1\n"
                                       "at 2 set moduleon 9 1\n"
                                       "at 3 quit\n");
    SimProcess sim;
    sim.process.start(QStringLiteral(SIM_PATH),
                      {"--port", QString::number(freeUdpPort()), "--scenario", path});
    const int code = sim.waitForExit(5000);
    QVERIFY(code > 0);
    QVERIFY2(sim.output.contains(path + QStringLiteral(":3:")), qPrintable(sim.output));
    QVERIFY2(sim.output.contains(QStringLiteral("moduleon")), qPrintable(sim.output));
    QVERIFY(!sim.output.contains(QStringLiteral("console listening")));
}

void TestSimConsole::portInUseStopsStartUp()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::LocalHost, 0, QUdpSocket::DontShareAddress));
    SimProcess sim;
    sim.process.start(QStringLiteral(SIM_PATH),
                      {"--port", QString::number(holder.localPort()), "--quiet-life"});
    const int code = sim.waitForExit(5000);
    QVERIFY(code > 0);
    QVERIFY2(sim.output.contains(
                 QStringLiteral("cannot listen on 127.0.0.1:%1").arg(holder.localPort())),
             qPrintable(sim.output));
}

QTEST_GUILESS_MAIN(TestSimConsole)
#include "tst_sim_console.moc"
