#include "processsignals.h"

// A Windows GUI program has no standard streams to lose to another file.
void keepStandardStreamsOpen() {}

// Windows has no SIGPIPE: a write to a closed pipe only fails.
void keepRunningOnBrokenPipe() {}

// Windows ends a GUI program at a logoff or shutdown through session-end
// messages, not signals. Qt answers the last of them by emitting
// aboutToQuit, which main() uses to destroy the window before Windows ends
// the process. Nothing to set up here.
void catchTerminationRequests() {}
void quitOnTerminationRequest(QCoreApplication &) {}
