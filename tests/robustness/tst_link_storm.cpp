// A storm of malformed and foreign datagrams at the display's receive port
// while the simulator plays the console, and well-formed events from an
// address that is not the console's. Nothing of it may reach the screen,
// grow memory or stall the GUI thread.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "mylabel.h"
#include "robustsupport.h"
#include "simprocess.h"
#include "ui_mainwindow.h"
#include "vontra_wire.h"

#include <QLabel>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtTest>

#include <atomic>
#include <random>
#include <thread>

class MainWindowProbe
{
public:
    static bool online(const MainWindow &w) { return w.online; }
    static int linkHandle(const MainWindow &w) { return w.linkHandle; }
    static Ui::MainWindow *ui(const MainWindow &w) { return w.ui; }
    static myLabel *module(const MainWindow &w, int i) { return w.moduleButtons[i]; }
    static myLabel *nonStop(const MainWindow &w) { return w.nonStopButton; }
    static double target(const MainWindow &w, int m) { return w.meterTargets[m]; }
};

namespace {

namespace wire = vontra::wire;

constexpr int kStormDatagrams = 100000;
constexpr long kMaxGrowthKb = 5 * 1024;
constexpr double kMaxLatenessMs = 100.0;
constexpr int kSimRate = 50;

// A console state unlike the simulator's start, so that a display that lost
// or mixed up anything shows it.
const char *const kScenario = "at 0.1 set moduleon 0 1\n"
                              "at 0.1 set moduleon 2 1\n"
                              "at 0.1 set moduleon 3 1\n"
                              "at 0.1 set moduleon 5 1\n"
                              "at 0.1 set modulealt 2 1\n"
                              "at 0.1 set modulealt 5 1\n"
                              "at 0.1 set colour 3 0 2\n"
                              "at 0.1 set colour 6 2 1\n"
                              "at 0.1 set sourcetype 0 0\n"
                              "at 0.1 set sourcetype 2 1\n"
                              "at 0.1 set sourcetype 4 1\n"
                              "at 0.1 set sourcetype 7 0\n"
                              "at 0.1 set onair1 1\n"
                              "at 0.1 set nonstop 1\n"
                              "at 0.1 set crmmute 1\n"
                              "at 0.1 set micon 1\n";

// The last payload the simulator reported sending for each state event.
QMap<int, QVector<qint32>> reportedState(SimProcess &sim)
{
    sim.waitForOutput(QStringLiteral("\x01"), 50); // collect what has arrived
    QMap<int, QVector<qint32>> state;
    const QRegularExpression line(QStringLiteral("send event (\\d+) \\[([-0-9 ]*)\\]"));
    auto it = line.globalMatch(sim.output);
    while (it.hasNext()) {
        const auto m = it.next();
        QVector<qint32> words;
        const QStringList parts = m.captured(2).split(QLatin1Char(' '));
        for (const QString &p : parts)
            if (!p.isEmpty())
                words.append(p.toInt());
        state[m.captured(1).toInt()] = words;
    }
    return state;
}

// What the display must show for a reported console state: module keys,
// lamps and source labels, in one text so that a mismatch prints whole.
QStringList expectedScreen(const QMap<int, QVector<qint32>> &state)
{
    QStringList screen;
    const auto on = state.value(96), alt = state.value(98), colours = state.value(73);
    const auto types = state.value(100);
    if (on.size() != 8 || alt.size() != 8 || colours.size() != 24 || types.size() != 8)
        return {QStringLiteral("incomplete state from the simulator")};
    for (int i = 0; i < 8; ++i) {
        const int slot = on[i] != 1 ? 2 : alt[i] == 1 ? 1 : 0;
        screen << robust::moduleStyle(i, colours[3 * i + slot]);
    }
    auto flag = [&state](int id, int word = 0) {
        return state.value(id).size() > word && state.value(id)[word] == 1;
    };
    screen << robust::lampStyle("onair1", flag(104, 0)) << robust::lampStyle("onair2", flag(104, 1))
           << robust::lampStyle("nonstop", flag(101)) << robust::lampStyle("micon", flag(102))
           << robust::lampStyle("crmmute", flag(107)) << robust::lampStyle("silence", flag(105));
    const char *own[8] = {"MIC", "MIC", "MIC", "USB", "USB", "USB", "USB", "VOIP"};
    for (int i = 0; i < 8; ++i)
        screen << QLatin1String(types[i] != 0 ? own[i] : "LINE");
    return screen;
}

QStringList shownScreen(const MainWindow &w)
{
    QStringList screen;
    for (int i = 0; i < 8; ++i)
        screen << MainWindowProbe::module(w, i)->styleSheet();
    const Ui::MainWindow *ui = MainWindowProbe::ui(w);
    screen << ui->label_onair1->styleSheet() << ui->label_onair2->styleSheet()
           << MainWindowProbe::nonStop(w)->styleSheet() << ui->label_micon->styleSheet()
           << ui->label_crmmute->styleSheet() << ui->label_silence->styleSheet();
    for (const QLabel *l : {ui->label_src_1, ui->label_src_2, ui->label_src_3, ui->label_src_4,
                            ui->label_src_5, ui->label_src_6, ui->label_src_7, ui->label_src_8})
        screen << l->text();
    return screen;
}

std::vector<uint8_t> event(int32_t id, const std::vector<int32_t> &words)
{
    std::vector<uint8_t> out(wire::kMaxDatagram);
    out.resize(wire::encodeEvent(id, words.data(), int(words.size()), out.data(), out.size()));
    return out;
}

std::vector<int32_t> floats(std::initializer_list<float> values)
{
    std::vector<int32_t> words;
    for (float v : values) {
        int32_t w;
        std::memcpy(&w, &v, sizeof w);
        words.push_back(w);
    }
    return words;
}

// Well-formed events that would visibly change the display if any got in.
std::vector<std::vector<uint8_t>> impostorEvents()
{
    return {
        event(96, {0, 1, 0, 0, 1, 0, 1, 1}),
        event(98, {1, 1, 0, 1, 1, 0, 1, 1}),
        event(73, std::vector<int32_t>(24, 2)),
        event(100, {1, 1, 1, 1, 1, 1, 1, 1}),
        event(104, {0, 1}),
        event(101, {0}),
        event(102, {0}),
        event(107, {0}),
        event(105, {1}),
        event(112, {1}),
        event(128, floats({4.75f, 4.75f, 4.75f, 4.75f, 4.75f, 4.75f})),
    };
}

// One datagram that the console-link library must reject, of one of many
// kinds of damage. Checked against the codec so that the storm never sends a
// valid event by accident.
std::vector<uint8_t> damagedDatagram(std::mt19937 &rng, int kind)
{
    auto byte = [&rng] { return uint8_t(rng() & 0xff); };
    const auto valid = impostorEvents();
    std::vector<uint8_t> d = valid[rng() % valid.size()];
    switch (kind % 10) {
    case 0: // random bytes of any size up to well past the largest datagram
        d.resize(rng() % 600);
        for (auto &b : d)
            b = byte();
        break;
    case 1: // truncated
        d.resize(rng() % d.size());
        break;
    case 2: // oversized, with a length field that claims it
        d.resize(wire::kMaxDatagram + 4 + 4 * (rng() % 200));
        d[6] = uint8_t(d.size() >> 8);
        d[7] = uint8_t(d.size());
        break;
    case 3: // bad magic
        d[rng() % 4] ^= uint8_t(1 + rng() % 255);
        break;
    case 4: // bad version
        d[4] = uint8_t(d[4] + 1 + rng() % 255);
        break;
    case 5: // length field that does not match
        d[6] = byte();
        d[7] = uint8_t(d[7] + 1 + rng() % 255);
        break;
    case 6: // unknown kind
        d[5] = uint8_t(5 + rng() % 251);
        break;
    case 7: { // well-formed event with an id nobody sends
        static const int32_t unknown[] = {0, 1, 74, 99, 103, 127, 129, 200, -1, 0x7fffffff};
        d = event(96, std::vector<int32_t>(8, 1));
        const int32_t id = unknown[rng() % 10];
        d[8] = uint8_t(id >> 24);
        d[9] = uint8_t(id >> 16);
        d[10] = uint8_t(id >> 8);
        d[11] = uint8_t(id);
        break;
    }
    case 8: { // known id, payload of the wrong size (meters: too few levels)
        static const int32_t ids[] = {73, 75, 96, 98, 100, 101, 102, 104, 105, 107, 111, 112, 128};
        const int32_t id = ids[rng() % 13];
        const int need = wire::eventWords(id);
        int count = int(rng() % 40);
        if (count == need || (id == 128 && count >= need))
            count = need - 1 - int(rng() % 2);
        std::vector<int32_t> words(std::size_t(std::max(count, 0)), 1);
        d.assign(wire::kHeaderSize + 4 + 4 * words.size(), 0);
        d[0] = 'V', d[1] = 'N', d[2] = 'T', d[3] = 'R', d[4] = wire::kVersion, d[5] = 1;
        d[6] = uint8_t(d.size() >> 8), d[7] = uint8_t(d.size());
        d[11] = uint8_t(id), d[10] = uint8_t(id >> 8);
        break;
    }
    default: { // a message the display sends, never receives
        d.resize(wire::kMaxDatagram);
        const int which = int(rng() % 3);
        d.resize(which == 0   ? wire::encodeRequest(96, d.data(), d.size())
                 : which == 1 ? wire::encodeRemoteOn(int32_t(rng() % 8), 2, d.data(), d.size())
                              : wire::encodeRemoteNonStop(2, d.data(), d.size()));
        break;
    }
    }
    return d;
}

bool wouldBeDelivered(const std::vector<uint8_t> &d)
{
    wire::Message message;
    return wire::decode(d.data(), d.size(), message) == wire::DecodeError::None &&
           message.kind == wire::Kind::Event;
}

QString scenarioFile(QTemporaryFile &file)
{
    file.open();
    file.write(kScenario);
    file.close();
    return file.fileName();
}

} // namespace

class LinkStormTest : public QObject
{
    Q_OBJECT

private slots:
    void stormChangesNothingAndCostsNothing();
    void eventsFromAnotherAddressAreDropped();

private:
    bool startSim(SimProcess &sim, const apptest::IsolatedSettings &settings, const QString &scn)
    {
        return sim.start({"--port", QString::number(settings.sendPort()), "--target",
                          QStringLiteral("127.0.0.1:%1").arg(settings.recvPort()), "--quiet-life",
                          "--verbose", "--seed", "11", "--rate", QString::number(kSimRate),
                          "--scenario", scn});
    }
};

void LinkStormTest::stormChangesNothingAndCostsNothing()
{
    apptest::IsolatedSettings settings;
    QTemporaryFile scenario;
    SimProcess sim;
    QVERIFY(startSim(sim, settings, scenarioFile(scenario)));
    MainWindow window;
    window.show();
    QVERIFY(MainWindowProbe::linkHandle(window) != 0);
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(shownScreen(window), expectedScreen(reportedState(sim)), 3000);
    const QStringList before = shownScreen(window);
    // The state is the scenario's, not the simulator's start.
    QCOMPARE(before[2], robust::moduleStyle(2, 2));
    QCOMPARE(before[0], robust::moduleStyle(0, 1));

    robust::ForgedSender forged;
    if (!forged.ok())
        qWarning("no raw socket (not root?): damaged datagrams come from a foreign port only");
    const int foreignFd = robust::boundUdpSocket(robust::kLoopback, 0);
    QVERIFY(foreignFd >= 0);

    // Prepared up front, so that the storm runs at full speed.
    std::mt19937 rng(20240611);
    std::vector<std::vector<uint8_t>> storm;
    storm.reserve(kStormDatagrams);
    const auto impostors = impostorEvents();
    int accidentalValid = 0;
    for (int i = 0; i < kStormDatagrams; ++i) {
        if (i % 5 == 4) {
            storm.push_back(impostors[std::size_t(i / 5) % impostors.size()]);
            continue;
        }
        auto d = damagedDatagram(rng, int(rng() % 10));
        while (wouldBeDelivered(d)) {
            ++accidentalValid;
            d = damagedDatagram(rng, int(rng() % 10));
        }
        storm.push_back(std::move(d));
    }
    qInfo("damaged datagrams that came out valid and were replaced: %d", accidentalValid);

    auto runStorm = [&](int count, std::atomic<int> &sentOk) {
        for (int i = 0; i < count; ++i) {
            const auto &d = storm[std::size_t(i)];
            bool ok;
            // Impostors and, without a raw socket, everything else come from
            // a port of their own; damage comes from the console's own port.
            if (i % 5 == 4 || !forged.ok())
                ok = robust::sendUdp(foreignFd, robust::kLoopback, settings.recvPort(), d.data(),
                                     d.size());
            else
                ok = forged.send(robust::kLoopback, settings.sendPort(), robust::kLoopback,
                                 settings.recvPort(), d.data(), d.size());
            if (ok)
                sentOk.fetch_add(1, std::memory_order_relaxed);
        }
    };

    // A short warm-up storm lets the allocator and the toolkit settle before
    // memory is measured.
    {
        std::atomic<int> sent{0};
        std::thread warm(runStorm, 5000, std::ref(sent));
        QTRY_VERIFY_WITH_TIMEOUT(sent.load() >= 4990, 10000);
        warm.join();
        QTest::qWait(500);
    }
    const long rssBefore = robust::rssKb();

    robust::LatenessProbe probe;
    probe.start();
    std::atomic<int> sent{0};
    QElapsedTimer stormClock;
    stormClock.start();
    std::thread sender(runStorm, kStormDatagrams, std::ref(sent));
    // Poll from the GUI thread so that the probe keeps running throughout.
    for (int waited = 0; waited < 300 && sent.load() < kStormDatagrams - 50; ++waited)
        QTest::qWait(100);
    sender.join();
    const qint64 stormMs = stormClock.elapsed();
    QTest::qWait(300);
    probe.stop();
    const long rssAfter = robust::rssKb();
    ::close(foreignFd);

    qInfo("storm: %d of %d datagrams sent in %lld ms; RSS %ld -> %ld kB (%+ld kB); worst timer "
          "lateness %.1f ms over %d ticks",
          sent.load(), kStormDatagrams, stormMs, rssBefore, rssAfter, rssAfter - rssBefore,
          probe.worstMs(), probe.ticks);
    QVERIFY(sent.load() >= kStormDatagrams * 99 / 100);
    QVERIFY2(rssAfter - rssBefore < kMaxGrowthKb, "memory grew by 5 MB or more");
    QVERIFY2(probe.worstMs() <= kMaxLatenessMs, "GUI thread stalled");

    // Nothing of the storm reached the screen. The storm may have crowded
    // out enough meter events to take the window offline; it then asks the
    // console again and must end up showing the console's state.
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(shownScreen(window), expectedScreen(reportedState(sim)), 3000);
    QCOMPARE(shownScreen(window), before);
    QVERIFY(MainWindowProbe::target(window, 0) < 4.7);
}

void LinkStormTest::eventsFromAnotherAddressAreDropped()
{
    apptest::IsolatedSettings settings;
    QTemporaryFile scenario;
    SimProcess sim;
    QVERIFY(startSim(sim, settings, scenarioFile(scenario)));
    MainWindow window;
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(shownScreen(window), expectedScreen(reportedState(sim)), 3000);
    const QStringList before = shownScreen(window);

    // The console's port, but on another local address.
    const int spoofFd = robust::boundUdpSocket(robust::kLoopback2, settings.sendPort());
    QVERIFY2(spoofFd >= 0, "cannot bind 127.0.0.2");

    std::atomic<int> meterEvents{0};
    connect(
        &window, &MainWindow::doKeepAliveTimer, this, [&meterEvents] { ++meterEvents; },
        Qt::DirectConnection);
    bool impostorLevelSeen = false;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    connect(&watch, &QTimer::timeout, this, [&] {
        if (MainWindowProbe::target(window, 0) > 4.7)
            impostorLevelSeen = true;
    });
    watch.start(1);

    const auto impostors = impostorEvents();
    constexpr int kRounds = 200; // 2200 events over about 2 s
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (const auto &d : impostors)
            sent +=
                robust::sendUdp(spoofFd, robust::kLoopback, settings.recvPort(), d.data(), d.size())
                    ? 1
                    : 0;
        QTest::qWait(10);
    }
    const double seconds = double(clock.elapsed()) / 1000.0;
    QTest::qWait(200);
    watch.stop();
    ::close(spoofFd);

    qInfo("spoofing: %d events sent in %.1f s; %d meter events reached the window", sent, seconds,
          meterEvents.load());
    QCOMPARE(sent, kRounds * int(impostors.size()));
    QVERIFY(!impostorLevelSeen);
    // Only the console's own meter stream: its rate, not the impostors' 100/s on top.
    QVERIFY2(meterEvents.load() <= int(kSimRate * (seconds + 0.5) * 1.2),
             qPrintable(QString::number(meterEvents.load())));
    QCOMPARE(shownScreen(window), before);
    QCOMPARE(shownScreen(window), expectedScreen(reportedState(sim)));
    QVERIFY(MainWindowProbe::online(window));
}

QTEST_MAIN(LinkStormTest)
#include "tst_link_storm.moc"
