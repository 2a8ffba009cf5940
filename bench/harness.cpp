// Bench harness: the real main window, observed from outside.
//
//   vm-bench-harness startup
//       as the program starts, reports exec to the first painted window
//   vm-bench-harness geometry WxH
//       shows the window at WxH and closes it, so that the window stores that
//       placement and the next start opens at that size
//   vm-bench-harness rescale --size WxH [--passes N]
//       times the rescale pass after resizes to WxH (from another size)
//   vm-bench-harness resize --size WxH [--resizes N]
//       after resizes to WxH (from another size): the longest time the GUI
//       thread spent in one event until the window settled, and the time to
//       the end of the last full-window frame, the one with the pictures as
//       they stay (drawn, or scaled)
//   vm-bench-harness drive --rate R [--steps N] [--size WxH] [--port P]
//       plays the console over loopback: programme-like levels at R meter
//       events/s with a rising step on ProgLeft every 100 ms; reports the
//       time from sending a step to the end of the ProgLeft paint that shows
//       it, meter repaints against bar-height changes, and repaints while the
//       meters rest at the floor
//   vm-bench-harness changes [--size WxH] [--count N] [--kind lamp|module]
//       CPU time of one lamp change and of one module-key change, each from
//       the console event to the end of the paint that shows it
//
// Output lines: "sample NAME VALUE" (one measurement), for tools/bench.sh.
#include "benchapp.h"

#include "mainwindow.h"
#include "mylabel.h"
#include "platformdefaults.h"
#include "tvkppmmeter.h"
#include "ui_mainwindow.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPaintEvent>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// White-box access to the window's parts (the window names this class its
// friend for the tests; the bench brings its own).
class MainWindowProbe
{
public:
    static Ui::MainWindow *ui(const MainWindow &w) { return w.ui; }
    static bool rescalePending(const MainWindow &w) { return w.rescalePending; }
    static void rescale(MainWindow &w) { w.rescale(); }
    static QTimer *meterTick(const MainWindow &w) { return w.meterReleaseTimer; }
    static bool online(const MainWindow &w) { return w.online; }
    static QSize windowSize(const MainWindow &w) { return w.windowSize; }
    static void event(MainWindow &w, const vontra_event &e) { w.consoleEvent(&e); }
    static QWidget *moduleKey(const MainWindow &w, int i) { return w.moduleButtons[size_t(i)]; }
    static std::array<TVKPPMMeter *, 4> meters(const MainWindow &w)
    {
        return {w.ui->ProgLeft, w.ui->ProgRight, w.ui->CrmLeft, w.ui->CrmRight};
    }
};
using Probe = MainWindowProbe;

namespace {

using bench::nowNs;

QString option(const QStringList &args, const QString &name, const QString &fallback)
{
    const int i = args.indexOf(name);
    return (i >= 0 && i + 1 < args.size()) ? args.at(i + 1) : fallback;
}

QSize sizeOption(const QStringList &args, const QString &fallback)
{
    const QStringList wh = option(args, "--size", fallback).split('x');
    return QSize(wh.value(0).toInt(), wh.value(1).toInt());
}

// Runs the event loop until done() or the time is up; true when done.
template <typename Done> bool spin(QApplication &app, int timeoutMs, Done done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        app.processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle(QApplication &app, int ms)
{
    spin(app, ms, [] { return false; });
}

// The same, but sleeping in the event loop as the program does, so that a
// worker thread of the window's has the processor it would have.
template <typename Done> bool waitFor(int timeoutMs, Done done)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(10);
    loop.exec();
    return done();
}

// ---------------------------------------------------------------- console

// The console's side of the link: one UDP socket on the console port that
// sends meter events to the display's receive port (the library accepts
// events only from the console's address and send port).
class Console
{
public:
    static constexpr double stepLevel = -3.0;

    Console(quint16 consolePort, quint16 displayPort)
    {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        local.sin_port = htons(consolePort);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            std::perror("vm-bench-harness: console socket");
            std::exit(1);
        }
        to = local;
        to.sin_port = htons(displayPort);
    }
    ~Console()
    {
        stop = true;
        if (worker.joinable())
            worker.join();
        ::close(fd);
    }

    // Phases, in frames: warm-up, steps, floor. Everything ends after them.
    void start(int rate, int warmFrames, int stepFrames, int stepEvery, int floorFrames)
    {
        worker = std::thread([=] { run(rate, warmFrames, stepFrames, stepEvery, floorFrames); });
    }

    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::atomic<int> phase{0}; // 0 warm-up, 1 steps, 2 floor
    std::atomic<int> stepIndex{-1};
    std::atomic<qint64> stepSentNs{0};
    std::atomic<qint64> floorSinceNs{0};

private:
    void send(const float (&levels)[6])
    {
        quint32 words[3 + 6];
        words[0] = htonl(0x564E5452u);                  // "VNTR"
        words[1] = htonl((1u << 24) | (1u << 16) | 36); // version 1, event, 36 bytes
        words[2] = htonl(128u);                         // meters
        for (int i = 0; i < 6; ++i) {
            quint32 bits;
            std::memcpy(&bits, &levels[i], sizeof bits);
            words[3 + i] = htonl(bits);
        }
        sendto(fd, words, sizeof words, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }

    void run(int rate, int warmFrames, int stepFrames, int stepEvery, int floorFrames)
    {
        const qint64 period = 1000000000LL / rate;
        const qint64 t0 = nowNs();
        const int total = warmFrames + stepFrames + floorFrames;
        const int holdFrames = std::max(1, rate / 50);
        for (int n = 0; n < total && !stop; ++n) {
            const qint64 due = t0 + n * period;
            timespec ts{time_t(due / 1000000000LL), long(due % 1000000000LL)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
            // Programme-like movement on the other meters, a function of time.
            const double t = double(n) / rate;
            const double body = -18.0 + 9.0 * std::sin(2 * M_PI * 1.3 * t) +
                                4.0 * std::sin(2 * M_PI * 7.1 * t) +
                                2.0 * std::sin(2 * M_PI * 23.0 * t);
            float levels[6] = {-50.0f,          float(body - 0.5), float(body - 3),
                               float(body - 3), float(body - 4),   float(body - 4.5)};
            if (n < warmFrames) {
                levels[0] = float(body);
            } else if (n < warmFrames + stepFrames) {
                phase = 1;
                const int k = n - warmFrames;
                // The step holds for 20 ms, two meter ticks, as a peak would;
                // the latency runs from its first frame.
                if (k % stepEvery < holdFrames)
                    levels[0] = float(stepLevel);
                if (k % stepEvery == 0) {
                    stepSentNs.store(nowNs(), std::memory_order_relaxed);
                    stepIndex.store(k / stepEvery, std::memory_order_release);
                }
            } else {
                if (phase != 2) {
                    floorSinceNs = nowNs();
                    phase = 2;
                }
                for (float &level : levels)
                    level = -50.0f;
            }
            send(levels);
        }
        finished = true;
    }

    int fd = -1;
    sockaddr_in to{};
    std::thread worker;
};

// ---------------------------------------------------------------- modes

void storeLinkSettings(quint16 consolePort, quint16 displayPort)
{
    QSettings store("Orvendel", "Vontra Meters");
    store.setValue("remote_host", "127.0.0.1");
    store.setValue("udp_send", int(consolePort));
    store.setValue("udp_recv", int(displayPort));
}

void placeWindow(QApplication &app, MainWindow &window, QSize size)
{
    window.move(0, 0);
    window.resize(size);
    spin(app, 3000, [&] { return window.size() == size && !Probe::rescalePending(window); });
    settle(app, 300);
}

int runGeometry(bench::BenchApp &app, const QStringList &args)
{
    MainWindow window;
    window.show();
    const QStringList wh = args.value(2, "1920x1080").split('x');
    placeWindow(app, window, QSize(wh.value(0).toInt(), wh.value(1).toInt()));
    return 0; // the destructor stores the placement
}

int runStartup(bench::BenchApp &app)
{
    MainWindow window;
    bench::reportFirstPaint(app, window, "meters");
    window.show();
    return app.exec();
}

int runRescale(bench::BenchApp &app, const QStringList &args)
{
    const QSize target = sizeOption(args, "1920x1080");
    const int passes = option(args, "--passes", "7").toInt();
    const QSize other(target.width() * 3 / 4, target.height() * 3 / 4);
    MainWindow window;
    // The pass runs inside the window's paint handler; run it here just before
    // the paint would, timed on its own, and let the paint draw the caches.
    std::vector<std::pair<QSize, double>> timed;
    app.before = [&](QObject *receiver, QEvent::Type type) {
        if (receiver != &window || type != QEvent::Paint || !Probe::rescalePending(window))
            return;
        const qint64 t0 = nowNs();
        Probe::rescale(window);
        timed.emplace_back(Probe::windowSize(window), double(nowNs() - t0) / 1e6);
        std::fprintf(stderr, "rescale pass at %dx%d: %.1f ms\n", Probe::windowSize(window).width(),
                     Probe::windowSize(window).height(), timed.back().second);
    };
    window.show();
    placeWindow(app, window, other);
    for (int i = 0; i < passes && i < 100; ++i) {
        for (const QSize &size : {target, other}) {
            const size_t before = timed.size();
            window.resize(size);
            if (!spin(app, 5000, [&] { return timed.size() > before; })) {
                std::fprintf(stderr, "vm-bench-harness: no rescale pass at %dx%d\n", size.width(),
                             size.height());
                return 1;
            }
            settle(app, 100);
        }
    }
    bool first = true;
    for (const auto &entry : timed) {
        if (entry.first != target)
            continue;
        std::printf("sample rescale_%dx%d_ms %.3f\n", target.width(), target.height(),
                    entry.second);
        // The process's first pass at the size also pays for fresh memory.
        if (first)
            std::printf("sample rescale_first_%dx%d_ms %.3f\n", target.width(), target.height(),
                        entry.second);
        first = false;
    }
    return 0;
}

// Sees the window's paints before delivery, to tell full-window frames (their
// region spans the window; Qt leaves out the opaque meters).
class FullPaintWatch : public QObject
{
public:
    explicit FullPaintWatch(QWidget *window) : window(window) { window->installEventFilter(this); }
    bool seen = false; // a full-window paint since last asked

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == window && event->type() == QEvent::Paint &&
            static_cast<QPaintEvent *>(event)->region().boundingRect() == window->rect())
            seen = true;
        return false;
    }

private:
    QWidget *window;
};

int runResize(bench::BenchApp &app, const QStringList &args)
{
    const QSize target = sizeOption(args, "1920x1080");
    const int resizes = std::clamp(option(args, "--resizes", "5").toInt(), 1, 100);
    const QSize other(target.width() * 3 / 4, target.height() * 3 / 4);
    // Settled: no full-window frame for this long (the pictures drawn after a
    // resize to 4K take a few hundred ms of processor time).
    const qint64 quietNs = 2000000000LL;
    MainWindow window;
    window.show();
    placeWindow(app, window, other);
    FullPaintWatch watch(&window);

    qint64 longest = 0;
    qint64 lastFrameEnd = 0;
    app.outermost = [&](qint64 start, qint64 end) {
        longest = std::max(longest, end - start);
        if (watch.seen)
            lastFrameEnd = end; // painted and flushed by now
        watch.seen = false;
    };
    for (int i = 0; i < resizes; ++i) {
        for (const QSize &size : {target, other}) {
            waitFor(200, [] { return false; });
            longest = 0;
            lastFrameEnd = 0;
            const qint64 t0 = nowNs();
            window.resize(size);
            waitFor(20000, [&] {
                const qint64 since = std::max(t0, lastFrameEnd);
                return lastFrameEnd > 0 && window.size() == size && nowNs() - since > quietNs;
            });
            if (lastFrameEnd == 0) {
                std::fprintf(stderr, "vm-bench-harness: no frame at %dx%d\n", size.width(),
                             size.height());
                return 1;
            }
            std::fprintf(stderr, "resize to %dx%d: longest block %.1f ms, last frame %.1f ms\n",
                         size.width(), size.height(), double(longest) / 1e6,
                         double(lastFrameEnd - t0) / 1e6);
            if (size != target)
                continue;
            std::printf("sample block_%dx%d_ms %.3f\n", size.width(), size.height(),
                        double(longest) / 1e6);
            std::printf("sample sharp_%dx%d_ms %.3f\n", size.width(), size.height(),
                        double(lastFrameEnd - t0) / 1e6);
        }
    }
    app.outermost = nullptr;
    std::fflush(stdout);
    return 0;
}

int runDrive(bench::BenchApp &app, const QStringList &args)
{
    const int rate = std::clamp(option(args, "--rate", "50").toInt(), 1, 1000);
    const int steps = std::clamp(option(args, "--steps", "200").toInt(), 1, 10000);
    const QSize size = sizeOption(args, "1920x1080");
    const quint16 consolePort = quint16(option(args, "--port", "52000").toInt());
    const quint16 displayPort = quint16(consolePort + 1);
    const double floorSeconds = option(args, "--floor-seconds", "8").toDouble();
    // The floor phase lets the bars fall from the top (55 dB at 13.3 dB/s,
    // about 4.2 s) and then counts repaints for the rest.
    const qint64 fallNs = 5000000000LL;

    storeLinkSettings(consolePort, displayPort);
    MainWindow window;
    window.show();
    placeWindow(app, window, size);

    const auto meters = Probe::meters(window);
    QTimer *tick = Probe::meterTick(window);
    Console console(consolePort, displayPort);

    struct MeterCount
    {
        int lastTickHeight = -1;
        int lastPaintHeight = -1;
        long changes = 0;          // ticks that changed the bar height
        long paints = 0;           // paints of the meter
        long paintsNoChange = 0;   // paints showing the height the last paint showed
        long changesUnpainted = 0; // a change overtaken by the next before any paint
        bool changePending = false;
        long floorChanges = 0;
        long floorPaints = 0;
    };
    std::array<MeterCount, 4> counts;
    std::vector<double> latencies;
    int handledStep = -1;
    long missedSteps = 0;

    auto counting = [&] { return console.phase.load() == 1; };
    auto atFloor = [&] {
        return console.phase.load() == 2 && nowNs() - console.floorSinceNs.load() > fallNs;
    };

    app.after = [&](QObject *receiver, QEvent::Type type) {
        if (type == QEvent::Timer && receiver == tick) {
            for (int m = 0; m < 4; ++m) {
                MeterCount &c = counts[size_t(m)];
                const int h = meters[size_t(m)]->barHeight();
                if (h != c.lastTickHeight && c.lastTickHeight >= 0) {
                    if (counting()) {
                        ++c.changes;
                        if (c.changePending)
                            ++c.changesUnpainted;
                    }
                    if (atFloor())
                        ++c.floorChanges;
                    c.changePending = true;
                }
                c.lastTickHeight = h;
            }
            return;
        }
        if (type != QEvent::Paint)
            return;
        for (int m = 0; m < 4; ++m) {
            if (receiver != meters[size_t(m)])
                continue;
            const qint64 now = nowNs();
            MeterCount &c = counts[size_t(m)];
            const int h = meters[size_t(m)]->barHeight();
            if (counting()) {
                ++c.paints;
                if (h == c.lastPaintHeight)
                    ++c.paintsNoChange;
            }
            if (atFloor())
                ++c.floorPaints;
            c.lastPaintHeight = h;
            c.changePending = false;
            if (m == 0) {
                const int step = console.stepIndex.load(std::memory_order_acquire);
                if (step > handledStep && meters[0]->dBPosition() > Console::stepLevel - 0.5) {
                    const qint64 sent = console.stepSentNs.load(std::memory_order_relaxed);
                    missedSteps += step - handledStep - 1;
                    handledStep = step;
                    latencies.push_back(double(now - sent) / 1e6);
                }
            }
        }
    };

    const int stepEvery = std::max(1, rate / 10); // one step every 100 ms
    const int warmFrames = rate * 2;              // online, background swap, rescale
    const int floorFrames = int(rate * floorSeconds);
    console.start(rate, warmFrames, steps * stepEvery, stepEvery, floorFrames);
    const int budgetMs = int(2000 + steps * 100 + floorSeconds * 1000 + 10000);
    if (!spin(app, budgetMs, [&] { return console.finished.load(); })) {
        std::fprintf(stderr, "vm-bench-harness: console did not finish\n");
        return 1;
    }
    settle(app, 50);
    missedSteps += console.stepIndex.load() - handledStep;
    const bool wasOnline = Probe::online(window);

    for (double ms : latencies)
        std::printf("sample latency_r%d_ms %.3f\n", rate, ms);
    long changes = 0, paints = 0, noChange = 0, unpainted = 0, floorPaints = 0, floorChanges = 0;
    for (const MeterCount &c : counts) {
        changes += c.changes;
        paints += c.paints;
        noChange += c.paintsNoChange;
        unpainted += c.changesUnpainted;
        floorPaints += c.floorPaints;
        floorChanges += c.floorChanges;
    }
    const double seconds = steps * 0.1;
    std::printf("sample latency_r%d_missed %ld\n", rate, missedSteps);
    std::printf("sample repaint_r%d_changes_per_s %.1f\n", rate, changes / seconds);
    std::printf("sample repaint_r%d_paints_per_s %.1f\n", rate, paints / seconds);
    std::printf("sample repaint_r%d_paints_without_change %ld\n", rate, noChange);
    std::printf("sample repaint_r%d_changes_not_painted %ld\n", rate, unpainted);
    std::printf("sample repaint_r%d_floor_paints %ld\n", rate, floorPaints);
    std::printf("sample repaint_r%d_floor_changes %ld\n", rate, floorChanges);
    std::printf("sample drive_r%d_online %d\n", rate, wasOnline ? 1 : 0);
    std::fflush(stdout);
    return 0;
}

qint64 cpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Each change arrives as a console event on the GUI thread and counts until
// the widget that shows it has been painted.
int runChanges(bench::BenchApp &app, const QStringList &args)
{
    const QSize size = sizeOption(args, "1920x1080");
    const int count = std::clamp(option(args, "--count", "400").toInt(), 10, 100000);
    // No link: its watchdog would reset the display to offline in the middle
    // of the count, at the price of decoding a background.
    storeLinkSettings(0, 0);
    MainWindow window;
    window.show();
    placeWindow(app, window, size);
    Ui::MainWindow *ui = Probe::ui(window);

    // Module 1 shows red while on and grey while off.
    qint32 colours[24] = {};
    colours[0] = 1;
    Probe::event(window, vontra_event{73, 24, colours});
    settle(app, 200);
    // What the window costs meanwhile anyway (meter tick, clocks), per ms of
    // wall time; waiting blocks in the event loop as the program does.
    const auto wait = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    const qint64 idleWall0 = nowNs();
    const qint64 idleCpu0 = cpuNs();
    wait(2000);
    const double idleShare = double(cpuNs() - idleCpu0) / double(nowNs() - idleWall0);

    struct Kind
    {
        const char *name;
        QWidget *widget;
        qint32 id;
    };
    const Kind kinds[] = {{"lamp", ui->label_onair1, 104},
                          {"module", Probe::moduleKey(window, 0), 96}};
    const QString only = option(args, "--kind", QString());
    for (const Kind &kind : kinds) {
        if (!only.isEmpty() && only != QLatin1String(kind.name))
            continue;
        QEventLoop painted;
        app.after = [&](QObject *receiver, QEvent::Type type) {
            if (receiver == kind.widget && type == QEvent::Paint)
                painted.quit();
        };
        QTimer timeout;
        timeout.setSingleShot(true);
        bool late = false;
        QObject::connect(&timeout, &QTimer::timeout, &painted, [&] {
            late = true;
            painted.quit();
        });
        qint32 words[8] = {};
        const qint64 wall0 = nowNs();
        const qint64 cpu0 = cpuNs();
        for (int i = 0; i < count && !late; ++i) {
            words[0] = (i + 1) % 2;
            Probe::event(window, vontra_event{kind.id, 8, words});
            timeout.start(2000);
            painted.exec();
        }
        const double cpuMs = double(cpuNs() - cpu0) / 1e6;
        const double wallMs = double(nowNs() - wall0) / 1e6;
        app.after = nullptr;
        if (late) {
            std::fprintf(stderr, "vm-bench-harness: a %s change was not painted\n", kind.name);
            return 1;
        }
        const double ownMs = cpuMs - idleShare * wallMs;
        std::printf("sample change_%s_%dx%d_cpu_ms %.3f\n", kind.name, size.width(), size.height(),
                    ownMs / count);
        std::fprintf(stderr,
                     "%d %s changes: %.1f ms CPU in %.1f ms, %.1f ms of it the idle window's\n",
                     count, kind.name, cpuMs, wallMs, cpuMs - ownMs);
        wait(100);
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    applyPlatformDefaults(); // as the program's main() does
    bench::BenchApp app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == "startup")
        return runStartup(app);
    if (mode == "geometry")
        return runGeometry(app, args);
    if (mode == "rescale")
        return runRescale(app, args);
    if (mode == "resize")
        return runResize(app, args);
    if (mode == "drive")
        return runDrive(app, args);
    if (mode == "changes")
        return runChanges(app, args);
    std::fprintf(
        stderr,
        "usage: vm-bench-harness startup | geometry WxH | rescale --size WxH "
        "| resize --size WxH [--resizes N] | drive --rate R [--steps N] [--size WxH] [--port P] "
        "| changes [--size WxH] [--count N] [--kind lamp|module]\n");
    return 2;
}
