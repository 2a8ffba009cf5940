// The library's diagnostic lines reach standard error through a thread of
// their own, so that the link's threads never wait for standard error. With
// standard error a pipe that nobody reads (or a terminal held with Ctrl+S) a
// direct write blocks once the pipe is full, and the receive thread would
// stop for good; with the pipe's reader gone, a write must not end the
// program either. Internal to the library.
#pragma once

#include <chrono>
#include <string>

namespace vontra::log {

// Lines waiting for standard error at most; further lines are dropped and
// counted, and the count is written once lines flow again.
constexpr std::size_t kMaxWaitingLines = 256;

// Queues one line ("vontra: " and the newline are added). Never blocks.
void write(std::string line);
// The same for a line made by printf's rules; one that does not fit in 512
// bytes is cut. Never throws: a line without memory for it is lost.
void line(const char *pattern, ...) __attribute__((format(printf, 1, 2)));

// Waits until every queued line is written or the time is up. For the end of
// a link, so that its last lines are not lost when the program ends next.
void flush(std::chrono::milliseconds limit);

// Lines dropped since the process started.
unsigned long dropped();

} // namespace vontra::log
