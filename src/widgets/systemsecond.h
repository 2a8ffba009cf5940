#pragma once

#include <QDateTime>

// Whether the system clock has reached a new second since `last` was taken,
// which is updated. Reading the local time costs a time-zone check (a file
// system call) each time, while this reads the system clock only; a local
// second can only move on when the system's second does, so a clock that
// polls several times a second reads the local time once a second.
inline bool reachedNewSystemSecond(qint64 &last)
{
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second == last)
        return false;
    last = second;
    return true;
}
