#include "singledisplay.h"

#include <windows.h>

// Windows lets only the process the operator just started take the
// foreground; this start hands that right on to the running display.
void allowRunningDisplayForward()
{
    AllowSetForegroundWindow(ASFW_ANY);
}
