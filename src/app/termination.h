#pragma once

class QCoreApplication;

// Makes a termination request from the system (on POSIX systems SIGTERM,
// SIGINT and SIGHUP: a shutdown, a logout, a service manager, Ctrl+C) end
// the event loop the way closing the window does, so that the window is
// destroyed and its settings written. A signal that was ignored when the
// program started (nohup) stays ignored. Call once, after the application
// object exists.
void quitOnTerminationRequest(QCoreApplication &application);
