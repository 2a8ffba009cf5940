#pragma once

#include <QTimer>
#include <QWidget>

// A clock widget's poll of the system clock: a 100 ms timer of the widget's
// own, which calls its checkTime() slot. An owner that wakes up at least that
// often anyway can take the poll over and call checkTime() itself, sparing
// the wake-ups of one more timer.
class ClockPoll
{
public:
    static constexpr int intervalMs = 100;

    explicit ClockPoll(QWidget *clock) : m_timer(new QTimer(clock))
    {
        QObject::connect(m_timer, SIGNAL(timeout()), clock, SLOT(checkTime()));
        m_timer->start(intervalMs);
    }

    void setPolledByOwner(bool byOwner)
    {
        if (byOwner)
            m_timer->stop();
        else
            m_timer->start(intervalMs);
    }

private:
    QTimer *m_timer; // a child of the clock
};
