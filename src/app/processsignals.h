#pragma once

class QCoreApplication;

// How the program meets the system's process signals. One implementation
// per platform, picked by the build.

// Writing to a pipe whose reader has gone (standard error into a closed log
// reader) fails with an error instead of ending the program. Call first
// thing in main().
void keepRunningOnBrokenPipe();

// Makes a termination request from the system (on POSIX systems SIGTERM,
// SIGINT and SIGHUP: a shutdown, a logout, a service manager, Ctrl+C) end
// the event loop the way closing the window does, so that the window is
// destroyed and its settings written. A signal that was ignored when the
// program started (nohup) stays ignored. Call once, after the application
// object exists.
void quitOnTerminationRequest(QCoreApplication &application);
