#pragma once

#include <QtGlobal>

// While it exists, the program's diagnostic lines (Qt's debug channel: the
// decoder's lines for ids 111 and 112, warnings) reach standard error through
// a thread of their own, so whoever writes a line never waits for standard
// error. The console link's thread writes such lines; if standard error were
// a pipe that nobody reads, or a terminal held with Ctrl+S, it would stop for
// good once the pipe was full. At most maxWaitingLines lines wait; further
// lines are dropped and counted, and the count is written once lines flow
// again. One channel at a time, made after the application object.
class DiagnosticChannel
{
public:
    static constexpr int maxWaitingLines = 1000;
    // How long the end of the run waits for waiting lines to be written.
    static constexpr int closeWaitMs = 200;

    DiagnosticChannel();
    ~DiagnosticChannel();
    DiagnosticChannel(const DiagnosticChannel &) = delete;
    DiagnosticChannel &operator=(const DiagnosticChannel &) = delete;

    // Lines dropped so far in this run.
    static qint64 droppedLines();
};
