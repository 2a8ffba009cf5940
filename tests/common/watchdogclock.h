#pragma once

// Times the main window's link watchdog: when the last meter event reached
// the window and when each offline reset ran, on one clock.

#include "mainwindow.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <atomic>

namespace apptest {

class WatchdogClock : public QObject
{
public:
    WatchdogClock(MainWindow &window, QTimer *keepAliveTimer)
    {
        clock.start();
        // Direct: taken on the library's thread the moment the event arrives.
        connect(
            &window, &MainWindow::doKeepAliveTimer, this, [this] { lastMeterMs = clock.elapsed(); },
            Qt::DirectConnection);
        connect(keepAliveTimer, &QTimer::timeout, this, [this] {
            resetsMs.append(clock.elapsed());
            lastMeterAtReset.append(lastMeterMs.load());
        });
    }

    QElapsedTimer clock;
    std::atomic<qint64> lastMeterMs{-1};
    QList<qint64> resetsMs;
    QList<qint64> lastMeterAtReset;
};

} // namespace apptest
