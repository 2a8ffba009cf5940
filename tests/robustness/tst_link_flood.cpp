// Floods of valid events from the console's own address and port (the test
// plays the console): meters at 20,000 a second, and changing lamp, module,
// colour and source-type states at 20,000 a second beside a steady meter
// stream. The GUI thread must keep up: the queue of calls from the library's
// thread stays short, memory stays put, timers stay on time, the watchdog
// never takes a live console for gone, and the display ends on the last
// state sent.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "robustsupport.h"
#include "ui_mainwindow.h"
#include "vontra_wire.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "mylabel.h"
#include "tvkppmmeter.h"

class MainWindowProbe
{
public:
    static bool online(const MainWindow &w) { return w.online; }
    static int linkHandle(const MainWindow &w) { return w.linkHandle; }
    static Ui::MainWindow *ui(const MainWindow &w) { return w.ui; }
    static double target(const MainWindow &w, int m) { return w.meterTargets[m]; }
    static QTimer *keepAlive(const MainWindow &w) { return w.keepAliveTimer; }
    static myLabel *nonStopButton(const MainWindow &w) { return w.nonStopButton; }
    static myLabel *moduleButton(const MainWindow &w, int i) { return w.moduleButtons[size_t(i)]; }
};

namespace {

namespace wire = vontra::wire;

constexpr int kEventsPerSecond = 20000;
constexpr int kSeconds = 5;
constexpr int kEvents = kEventsPerSecond * kSeconds;
constexpr long kMaxGrowthKb = 5 * 1024;
constexpr double kMaxLatenessMs = 100.0;
// Calls from the library's thread that may wait for the GUI thread at once.
// A GUI thread that keeps up has at most a handful; one that falls behind
// collects thousands within a second.
constexpr qint64 kMaxBacklog = 100;

std::vector<uint8_t> meterEvent(float pl, float pr, float cl, float cr)
{
    const float levels[6] = {pl, pr, pl - 3.0f, pr - 3.0f, cl, cr};
    int32_t words[6];
    std::memcpy(words, levels, sizeof words);
    std::vector<uint8_t> out(wire::kMaxDatagram);
    out.resize(wire::encodeEvent(128, words, 6, out.data(), out.size()));
    return out;
}

// Counts the calls the decoder raises for the GUI thread (the watchdog's, or
// those of every kind) and the queued calls the window has handled, so a
// test can see how many are waiting.
class WatchdogCalls : public QObject
{
public:
    explicit WatchdogCalls(MainWindow &window, bool everyKind = false)
    {
        window.installEventFilter(this);
        auto count = [this] { ++emitted; };
        connect(&window, &MainWindow::doKeepAliveTimer, this, count, Qt::DirectConnection);
        if (!everyKind)
            return;
        connect(&window, &MainWindow::doRedrawModules, this, count, Qt::DirectConnection);
        connect(&window, &MainWindow::doRedrawSignals, this, count, Qt::DirectConnection);
        connect(&window, &MainWindow::doHandleMicTimer, this, count, Qt::DirectConnection);
        connect(&window, &MainWindow::doConfigSilenceDetection, this, count, Qt::DirectConnection);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++handled;
        return false;
    }
    std::atomic<qint64> emitted{0};
    std::atomic<qint64> handled{0};
};

} // namespace

class LinkFloodTest : public QObject
{
    Q_OBJECT

private slots:
    void meterFloodIsAbsorbed();
    void busyGuiThreadCollectsNoBacklog();
    void stateFloodKeepsTheDisplayLiveAndExact();
};

void LinkFloodTest::meterFloodIsAbsorbed()
{
    apptest::IsolatedSettings settings;
    const int consoleFd = robust::boundUdpSocket(robust::kLoopback, settings.sendPort());
    QVERIFY(consoleFd >= 0);
    // The console's receive buffer takes the display's requests; nobody reads
    // them, and that is fine for a console that only sends meters.

    MainWindow window;
    window.show();
    QVERIFY(MainWindowProbe::linkHandle(window) != 0);

    WatchdogCalls counter(window);
    std::atomic<qint64> &emitted = counter.emitted;

    auto send = [&](const std::vector<uint8_t> &d) {
        return robust::sendUdp(consoleFd, robust::kLoopback, settings.recvPort(), d.data(),
                               d.size());
    };
    QVERIFY(send(meterEvent(-30, -30, -30, -30)));
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 1000);
    QTest::qWait(500);

    // Paced in 1 ms slices on a steady clock, so the rate holds.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> level(-45.0f, -25.0f);
    std::vector<std::vector<uint8_t>> flood;
    flood.reserve(kEvents);
    for (int i = 0; i < kEvents - 1; ++i)
        flood.push_back(meterEvent(level(rng), level(rng), level(rng), level(rng)));
    // The last levels are above everything before them, so the bars rise to
    // them at once.
    flood.push_back(meterEvent(-3.5f, -7.25f, -12.5f, -9.0f));
    const long rssBefore = robust::rssKb();

    std::atomic<int> sent{0};
    std::atomic<int> failed{0};
    auto sender = [&] {
        using namespace std::chrono;
        const auto start = steady_clock::now();
        const int perSlice = kEventsPerSecond / 1000;
        for (int i = 0; i < kEvents; i += perSlice) {
            std::this_thread::sleep_until(start + milliseconds(i / perSlice));
            for (int k = i; k < i + perSlice && k < kEvents; ++k) {
                if (send(flood[std::size_t(k)]))
                    ++sent;
                else
                    ++failed;
            }
        }
    };

    robust::LatenessProbe probe;
    qint64 worstBacklog = 0;
    connect(&probe.timer, &QTimer::timeout, this,
            [&] { worstBacklog = qMax(worstBacklog, emitted.load() - counter.handled.load()); });
    const qint64 emittedBefore = emitted.load();
    const qint64 handledBefore = counter.handled.load();
    probe.start();
    QElapsedTimer clock;
    clock.start();
    std::thread thread(sender);
    for (int waited = 0; waited < 200 && sent.load() + failed.load() < kEvents; ++waited)
        QTest::qWait(50);
    thread.join();
    const qint64 floodMs = clock.elapsed();
    const qint64 backlogAtEnd = emitted.load() - counter.handled.load();
    QTest::qWait(300);
    probe.stop();
    const long rssAfter = robust::rssKb();
    ::close(consoleFd);

    // Watchdog calls raised: one per meter event that found none waiting.
    const qint64 delivered = emitted.load() - emittedBefore;
    qInfo("flood: %d sent (%d failed) in %lld ms, %lld watchdog calls raised, %lld queued "
          "calls run; backlog worst %lld, at the end %lld; RSS %ld -> %ld kB (%+ld kB); worst "
          "timer lateness %.1f ms",
          sent.load(), failed.load(), floodMs, delivered, counter.handled.load() - handledBefore,
          worstBacklog, backlogAtEnd, rssBefore, rssAfter, rssAfter - rssBefore, probe.worstMs());

    QVERIFY(sent.load() >= kEvents * 99 / 100);
    QVERIFY2(floodMs < kSeconds * 1000 + 2000, "the sender could not hold the rate");
    QVERIFY(delivered >= 1);
    QVERIFY2(worstBacklog <= kMaxBacklog, "calls from the library's thread queue up");
    QVERIFY2(rssAfter - rssBefore < kMaxGrowthKb, "memory grew by 5 MB or more");
    QVERIFY2(probe.worstMs() <= kMaxLatenessMs, "GUI thread stalled");

    // The meters show the last levels sent.
    Ui::MainWindow *ui = MainWindowProbe::ui(window);
    QCOMPARE(MainWindowProbe::target(window, 0), -3.5);
    QCOMPARE(MainWindowProbe::target(window, 3), -9.0);
    QCOMPARE(ui->ProgLeft->dBPosition(), -3.5);
    QCOMPARE(ui->ProgRight->dBPosition(), -7.25);
    QCOMPARE(ui->CrmLeft->dBPosition(), -12.5);
    QCOMPARE(ui->CrmRight->dBPosition(), -9.0);
    // Still online and the watchdog still running: a flood is a live console.
    QVERIFY(MainWindowProbe::online(window));
    QVERIFY(MainWindowProbe::keepAlive(window)->isActive());
}

// The GUI thread can be held up for a while (a slow paint, a busy machine).
// Meter events that arrive meanwhile must not each leave a call behind for
// it: a second's worth at this rate would be 20,000 calls and their memory,
// worked off one watchdog restart at a time afterwards.
void LinkFloodTest::busyGuiThreadCollectsNoBacklog()
{
    apptest::IsolatedSettings settings;
    const int consoleFd = robust::boundUdpSocket(robust::kLoopback, settings.sendPort());
    QVERIFY(consoleFd >= 0);
    MainWindow window;
    window.show();
    QVERIFY(MainWindowProbe::linkHandle(window) != 0);
    WatchdogCalls counter(window);
    std::atomic<qint64> &emitted = counter.emitted;

    constexpr int kBusyMs = 1000;
    constexpr int kFloodMs = 2000;
    std::atomic<int> sent{0};
    std::thread sender([&] {
        using namespace std::chrono;
        const auto start = steady_clock::now();
        const int perSlice = kEventsPerSecond / 1000;
        for (int slice = 0; slice < kFloodMs; ++slice) {
            std::this_thread::sleep_until(start + milliseconds(slice));
            const float top = slice == kFloodMs - 1 ? -4.0f : -30.0f;
            const auto d = meterEvent(top, top, top, top);
            for (int k = 0; k < perSlice; ++k)
                if (robust::sendUdp(consoleFd, robust::kLoopback, settings.recvPort(), d.data(),
                                    d.size()))
                    ++sent;
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 1000);
    QTest::qWait(300);

    const qint64 handledBefore = counter.handled.load();
    const qint64 emittedBefore = emitted.load();
    QThread::msleep(kBusyMs); // the GUI thread is busy elsewhere
    const qint64 waiting = emitted.load() - counter.handled.load();
    const qint64 emittedWhileBusy = emitted.load() - emittedBefore;
    QElapsedTimer catchUp;
    catchUp.start();
    QCoreApplication::processEvents();
    const qint64 catchUpMs = catchUp.elapsed();
    const qint64 handledAfterBusy = counter.handled.load() - handledBefore;
    sender.join();
    QTest::qWait(300);
    ::close(consoleFd);

    qInfo("busy GUI thread: %d meter events sent in all; while busy %lld watchdog calls were "
          "queued, %lld waiting at the end, %lld run on catching up in %lld ms",
          sent.load(), emittedWhileBusy, waiting, handledAfterBusy, catchUpMs);
    QVERIFY2(waiting <= 2, qPrintable(QString::number(waiting)));
    QVERIFY(MainWindowProbe::online(window));
    QVERIFY(MainWindowProbe::keepAlive(window)->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::ui(window)->ProgLeft->dBPosition(), -4.0, 500);
}

namespace {

// The console's state as far as the display shows it, and the events that
// carry it.
struct ConsoleState
{
    int32_t colours[24] = {};
    int32_t silenceConfig[4] = {};
    int32_t moduleOn[8] = {};
    int32_t moduleAlt[8] = {};
    int32_t sourceTypes[8] = {};
    int32_t nonStop = 0;
    int32_t micOn = 0;
    int32_t onAir[2] = {};
    int32_t silence = 0;
    int32_t crmMute = 0;

    // One event of kind k (0..9) carrying this state's part for it.
    std::vector<uint8_t> event(int k) const
    {
        struct Part
        {
            int32_t id;
            const int32_t *words;
            int count;
        };
        const Part parts[] = {{73, colours, 24},  {75, silenceConfig, 4}, {96, moduleOn, 8},
                              {98, moduleAlt, 8}, {100, sourceTypes, 8},  {101, &nonStop, 1},
                              {102, &micOn, 1},   {104, onAir, 2},        {105, &silence, 1},
                              {107, &crmMute, 1}};
        const Part &part = parts[k];
        std::vector<uint8_t> out(wire::kMaxDatagram);
        out.resize(wire::encodeEvent(part.id, part.words, part.count, out.data(), out.size()));
        return out;
    }
    static constexpr int kinds = 10;

    // Changes the part of kind k to other values, as a busy console would.
    void change(int k, std::mt19937 &rng)
    {
        std::uniform_int_distribution<int32_t> flag(0, 1), code(0, 3);
        switch (k) {
        case 0:
            for (int32_t &c : colours)
                c = code(rng);
            break;
        case 1:
            silenceConfig[0] = -20 - code(rng) * 5;
            silenceConfig[2] = code(rng) % 3;
            silenceConfig[3] = flag(rng);
            break;
        case 2:
            for (int32_t &f : moduleOn)
                f = flag(rng);
            break;
        case 3:
            for (int32_t &f : moduleAlt)
                f = flag(rng);
            break;
        case 4:
            for (int32_t &t : sourceTypes)
                t = flag(rng);
            break;
        case 5:
            nonStop = flag(rng);
            break;
        case 6:
            micOn = flag(rng);
            break;
        case 7:
            onAir[0] = flag(rng);
            onAir[1] = flag(rng);
            break;
        case 8:
            silence = flag(rng);
            break;
        default:
            crmMute = flag(rng);
            break;
        }
    }
};

// Reads what the display sends to the console: counts and answers requests,
// notes when a non-stop command arrives and answers it with the toggled
// state. Owns the console's socket.
class ConsoleListener
{
public:
    ConsoleListener(int fd, quint16 displayPort) : fd(fd), displayPort(displayPort)
    {
        thread = std::thread([this] { run(); });
    }
    ~ConsoleListener()
    {
        stop = true;
        thread.join();
        ::close(fd);
    }
    std::atomic<int> requests{0};
    std::atomic<qint64> nonStopAtNs{0};
    std::atomic<int32_t> nonStop{0};

private:
    void run()
    {
        QElapsedTimer clock;
        clock.start();
        uint8_t buffer[wire::kMaxDatagram];
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            wire::Message m;
            if (n <= 0 || wire::decode(buffer, std::size_t(n), m) != wire::DecodeError::None)
                continue;
            if (m.kind == wire::Kind::Request) {
                ++requests;
                const std::vector<uint8_t> answer = robust::freshStateEvent(m.id);
                robust::sendUdp(fd, robust::kLoopback, displayPort, answer.data(), answer.size());
            } else if (m.kind == wire::Kind::RemoteNonStop) {
                nonStopAtNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
                const int32_t toggled = nonStop.load() == 1 ? 0 : 1;
                nonStop = toggled;
                uint8_t out[wire::kMaxDatagram];
                robust::sendUdp(fd, robust::kLoopback, displayPort, out,
                                wire::encodeEvent(101, &toggled, 1, out, sizeof out));
            }
        }
    }

    int fd;
    quint16 displayPort;
    std::atomic<bool> stop{false};
    std::thread thread;
};

} // namespace

// A console that floods changing states (every kind the display redraws,
// source types among them) at 20,000 events a second while its meters keep
// coming at 50 a second. Each kind of redraw must wait for the GUI thread at
// most once, so the window stays live, memory stays put, the watchdog never
// resets a console whose meters arrive, and afterwards the display shows
// exactly the last state sent.
void LinkFloodTest::stateFloodKeepsTheDisplayLiveAndExact()
{
    const int seconds = qEnvironmentVariableIntValue("VM_STATE_FLOOD_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("VM_STATE_FLOOD_SECONDS")
                            : 10;
    constexpr long kMaxStateGrowthKb = 20 * 1024;
    apptest::IsolatedSettings settings;
    const int consoleFd = robust::boundUdpSocket(robust::kLoopback, settings.sendPort());
    QVERIFY(consoleFd >= 0);
    ConsoleListener console(consoleFd, settings.recvPort());
    auto send = [&](const std::vector<uint8_t> &d) {
        return robust::sendUdp(consoleFd, robust::kLoopback, settings.recvPort(), d.data(),
                               d.size());
    };

    MainWindow window;
    window.show();
    QVERIFY(MainWindowProbe::linkHandle(window) != 0);
    QTRY_COMPARE_WITH_TIMEOUT(console.requests.load(), 11, 2000);

    std::atomic<bool> metersOn{true};
    std::thread meters([&] {
        const auto d = meterEvent(-20, -20, -20, -20);
        auto next = std::chrono::steady_clock::now();
        while (metersOn) {
            send(d);
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 1000);
    QSignalSpy resets(MainWindowProbe::keepAlive(window), SIGNAL(timeout()));
    QTest::qWait(500);
    const long rssBefore = robust::rssKb();
    // Source-type texts go as calls of their own that are not signals: they
    // count as handled only, so the backlog seen is if anything too small.
    WatchdogCalls calls(window, true);

    ConsoleState state;
    std::mt19937 rng(11);
    std::atomic<bool> flooding{true};
    std::atomic<int> sent{0};
    std::thread flood([&] {
        using namespace std::chrono;
        const auto start = steady_clock::now();
        const int perSlice = kEventsPerSecond / 1000;
        for (int slice = 0; slice < seconds * 1000; ++slice) {
            std::this_thread::sleep_until(start + milliseconds(slice));
            for (int k = 0; k < perSlice; ++k) {
                const int kind = (slice * perSlice + k) % ConsoleState::kinds;
                state.change(kind, rng);
                if (send(state.event(kind)))
                    ++sent;
            }
        }
        // The last word on every kind, sent once more so that none of it is
        // lost to a full receive buffer; silence off so the non-stop lamp
        // holds still.
        state.silence = 0;
        state.nonStop = 0;
        std::this_thread::sleep_for(milliseconds(50));
        for (int kind = 0; kind < ConsoleState::kinds; ++kind)
            send(state.event(kind));
        flooding = false;
    });
    robust::LatenessProbe probe;
    qint64 worstBacklog = 0;
    connect(&probe.timer, &QTimer::timeout, this, [&] {
        worstBacklog = qMax(worstBacklog, calls.emitted.load() - calls.handled.load());
    });
    probe.start();
    long rssPeak = rssBefore;
    while (flooding) {
        QTest::qWait(100);
        rssPeak = qMax(rssPeak, robust::rssKb());
    }
    flood.join();
    const int requestsAfterFlood = console.requests.load();

    // A second later the operator clicks the non-stop lamp; the console
    // answers with the toggled state.
    QTest::qWait(1000);
    Ui::MainWindow *ui = MainWindowProbe::ui(window);
    myLabel *nonStopLamp = MainWindowProbe::nonStopButton(window);
    const qint64 clickNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
    QTest::mouseClick(nonStopLamp, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(console.nonStopAtNs.load() != 0, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(nonStopLamp->styleSheet(), robust::lampStyle("nonstop", true), 1000);
    const double answerMs = double(QDateTime::currentMSecsSinceEpoch() * 1000000 - clickNs) / 1e6;
    probe.stop();
    metersOn = false;
    meters.join();
    const long rssAfter = robust::rssKb();

    qInfo("state flood: %d events in %d s; %lld calls raised for the GUI thread, backlog worst "
          "%lld; RSS %ld -> peak %ld -> %ld kB; %d offline resets, %d requests after the flood "
          "(11 at the open); click answered after %.0f ms; worst timer lateness %.1f ms",
          sent.load(), seconds, calls.emitted.load(), worstBacklog, rssBefore, rssPeak, rssAfter,
          int(resets.count()), requestsAfterFlood, answerMs, probe.worstMs());
    QVERIFY(sent.load() >= seconds * kEventsPerSecond * 99 / 100);
    QVERIFY2(worstBacklog <= kMaxBacklog, "calls from the library's thread queue up");
    QVERIFY2(rssPeak - rssBefore <= kMaxStateGrowthKb, "memory grew by more than 20 MB");
    QCOMPARE(int(resets.count()), 0);
    QCOMPARE(console.requests.load(), 11);
    QVERIFY(MainWindowProbe::online(window));

    // Exactly the console's last state.
    for (int i = 0; i < 8; ++i) {
        const int32_t *c = state.colours + 3 * i;
        const int32_t code = state.moduleOn[i] != 1 ? c[2] : state.moduleAlt[i] == 1 ? c[1] : c[0];
        QCOMPARE(MainWindowProbe::moduleButton(window, i)->styleSheet(),
                 robust::moduleStyle(i, code));
    }
    const QLabel *labels[8] = {ui->label_src_1, ui->label_src_2, ui->label_src_3, ui->label_src_4,
                               ui->label_src_5, ui->label_src_6, ui->label_src_7, ui->label_src_8};
    const char *const types[8] = {"MIC", "MIC", "MIC", "USB", "USB", "USB", "USB", "VOIP"};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(labels[i]->text(),
                 QString::fromLatin1(state.sourceTypes[i] != 0 ? types[i] : "LINE"));
    QCOMPARE(ui->label_onair1->styleSheet(), robust::lampStyle("onair1", state.onAir[0] == 1));
    QCOMPARE(ui->label_onair2->styleSheet(), robust::lampStyle("onair2", state.onAir[1] == 1));
    QCOMPARE(ui->label_silence->styleSheet(), robust::lampStyle("silence", false));
    QCOMPARE(ui->label_micon->styleSheet(), robust::lampStyle("micon", state.micOn == 1));
    QCOMPARE(ui->label_crmmute->styleSheet(), robust::lampStyle("crmmute", state.crmMute == 1));
    QCOMPARE(ui->ProgLeft->silenceLevel(), double(state.silenceConfig[0]));
    if (state.silenceConfig[3] != 1) {
        QVERIFY(!ui->ProgLeft->silenceMarker());
        QVERIFY(!ui->ProgRight->silenceMarker());
    } else {
        QCOMPARE(ui->ProgLeft->silenceMarker(), state.silenceConfig[2] != 1);
        QCOMPARE(ui->ProgRight->silenceMarker(), state.silenceConfig[2] != 0);
    }
}

QTEST_MAIN(LinkFloodTest)
#include "tst_link_flood.moc"
