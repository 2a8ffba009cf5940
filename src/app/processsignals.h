#pragma once

class QCoreApplication;

// How long the end of the run may take after a termination request before
// the process is ended without it.
constexpr unsigned orderlyEndSeconds = 5;

// How the program meets the system's process signals. One implementation
// per platform, picked by the build.

// Opens the null device on any of standard input, output and error that the
// program was started without (a launcher that closed them). Otherwise the
// next file the program opens, the X server connection among them, would
// take that number, and every diagnostic line would be written into it. Call
// first thing in main(), before anything opens a file.
void keepStandardStreamsOpen();

// Writing to a pipe whose reader has gone (standard error into a closed log
// reader) fails with an error instead of ending the program. Call first
// thing in main().
void keepRunningOnBrokenPipe();

// From here on a termination request from the system (on POSIX systems
// SIGTERM, SIGINT and SIGHUP: a shutdown, a logout, a service manager,
// Ctrl+C) is kept until the event loop can serve it, so one that comes early
// in the start-up is not lost. Whatever happens, the process ends within
// orderlyEndSeconds of the request: a GUI thread that cannot get to it (an X
// server that does not answer) ends by the signal's default action, as it
// would without this. A signal that was ignored when the program started
// (nohup) stays ignored. Call once, early in main().
void catchTerminationRequests();

// Makes the event loop serve the termination requests caught above: it ends
// the way closing the window does, so that the window is destroyed and its
// settings written. Call once, after the application object exists.
void quitOnTerminationRequest(QCoreApplication &application);
