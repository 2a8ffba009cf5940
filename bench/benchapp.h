#pragma once

// Shared by the bench programs: a monotonic clock, an application object that
// lets the bench watch events before and after delivery, and the start-up
// report (exec to the first painted window).

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>

namespace bench {

inline qint64 nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Peak resident set of this process in kB (VmHWM), or -1.
inline long peakRssKb()
{
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    long kb = -1;
    char line[256];
    for (int i = 0; i < 200 && std::fgets(line, sizeof line, status); ++i)
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::strtol(line + 6, nullptr, 10);
    std::fclose(status);
    return kb;
}

// Every event passes through notify(); the bench hooks run around delivery.
// The event type is read before delivery, since the event may not outlive it.
class BenchApp : public QApplication
{
public:
    using QApplication::QApplication;
    using Hook = std::function<void(QObject *, QEvent::Type)>;
    Hook before;
    Hook after;
    // Called when the delivery of an event that no other event's delivery
    // contains returns, with its start and end: one stretch of the GUI
    // thread's work, during which it handled no input.
    std::function<void(qint64 startNs, qint64 endNs)> outermost;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        const qint64 start = (outermost && depth == 0) ? nowNs() : 0;
        ++depth;
        if (before)
            before(receiver, type);
        const bool result = QApplication::notify(receiver, event);
        if (after)
            after(receiver, type);
        --depth;
        if (outermost && depth == 0)
            outermost(start, nowNs());
        return result;
    }

private:
    int depth = 0;
};

// Prints "sample startup_<name>_ms X" once the first paint of the window has
// been delivered and the event loop is back (the backing store is flushed by
// then), then quits. The start is the exec time that vm-bench-stamp recorded.
inline void reportFirstPaint(BenchApp &app, QWidget &window, const char *name)
{
    const qint64 t0 = qgetenv("VM_BENCH_T0_NS").toLongLong();
    auto seen = std::make_shared<bool>(false);
    app.after = [&app, &window, name, t0, seen](QObject *receiver, QEvent::Type type) {
        if (*seen || receiver != &window || type != QEvent::Paint)
            return;
        *seen = true;
        QTimer::singleShot(0, &app, [&app, name, t0] {
            const qint64 t1 = nowNs();
            if (t0 > 0)
                std::printf("sample startup_%s_ms %.2f\n", name, double(t1 - t0) / 1e6);
            std::printf("sample startup_rss_%s_kb %ld\n", name, peakRssKb());
            std::fflush(stdout);
            app.quit();
        });
    };
}

} // namespace bench
