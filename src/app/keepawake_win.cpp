#include "keepawake.h"

#include <windows.h>

// The request belongs to the thread that makes it: the GUI thread, which
// lives as long as the display.
KeepAwake::KeepAwake(QObject *parent) : QObject(parent)
{
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED) != 0)
        release = [] { SetThreadExecutionState(ES_CONTINUOUS); };
    else
        qInfo("The screen may sleep: Windows refused to keep it on");
}

KeepAwake::~KeepAwake()
{
    if (release)
        release();
}
