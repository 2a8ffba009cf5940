// A flood of valid meter events, 20,000 a second for 5 s, from the console's
// own address and port (the test plays the console). The GUI thread must keep
// up: the queue of calls from the library's thread stays short, memory stays
// put, timers stay on time, and the meters end on the last levels sent.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "robustsupport.h"
#include "ui_mainwindow.h"
#include "vontra_wire.h"

#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "tvkppmmeter.h"

class MainWindowProbe
{
public:
    static bool online(const MainWindow &w) { return w.online; }
    static int linkHandle(const MainWindow &w) { return w.linkHandle; }
    static Ui::MainWindow *ui(const MainWindow &w) { return w.ui; }
    static double target(const MainWindow &w, int m) { return w.meterTargets[m]; }
    static QTimer *keepAlive(const MainWindow &w) { return w.keepAliveTimer; }
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

// Counts the calls queued for the window (its queued signals arrive as
// meta-call events) as the GUI thread takes them.
// Counts the watchdog calls the decoder raises and the queued calls the
// window has handled, so a test can see how many are waiting.
class WatchdogCalls : public QObject
{
public:
    explicit WatchdogCalls(MainWindow &window)
    {
        window.installEventFilter(this);
        connect(
            &window, &MainWindow::doKeepAliveTimer, this, [this] { ++emitted; },
            Qt::DirectConnection);
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

QTEST_MAIN(LinkFloodTest)
#include "tst_link_flood.moc"
