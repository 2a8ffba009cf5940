#include "logwriter.h"
#include "netio.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#if !defined(_WIN32)
#include <csignal>
#include <pthread.h>
#endif

namespace vontra::log {
namespace {

class Writer
{
public:
    void write(std::string line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMaxWaitingLines) {
            ++dropped_;
            ++droppedInAll_;
            return;
        }
        if (!started_) {
            // Detached: a thread stuck in a write must not hold up the end of
            // the process. The writer itself is never destroyed.
            try {
                std::thread([this] { run(); }).detach();
            } catch (const std::system_error &) {
                ++droppedInAll_; // no thread to write with: the line is lost
                return;
            }
            started_ = true;
        }
        queue_.push_back(std::move(line));
        wake_.notify_one();
    }

    void flush(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait_for(lock, limit, [this] { return queue_.empty() && !writing_; });
    }

    unsigned long dropped()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return droppedInAll_;
    }

private:
    void run()
    {
        vontra::net::nameThisThread("vontra-log");
#if !defined(_WIN32)
        // A write to a pipe without a reader fails with EPIPE here; the signal
        // it raises stays blocked in this thread instead of ending the program.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
#endif
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !queue_.empty(); });
            std::string text;
            if (dropped_ > 0) {
                text = "vontra: " + std::to_string(dropped_) +
                       " diagnostic lines dropped: standard error did not take them in time\n";
                dropped_ = 0;
            }
            text += "vontra: " + queue_.front() + "\n";
            queue_.pop_front();
            writing_ = true;
            lock.unlock();
            if (stderr != nullptr) {
                std::fputs(text.c_str(), stderr);
                std::fflush(stderr);
            }
            lock.lock();
            writing_ = false;
            if (queue_.empty())
                idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::string> queue_;
    unsigned long dropped_ = 0;
    unsigned long droppedInAll_ = 0;
    bool writing_ = false;
    bool started_ = false;
};

Writer &writer()
{
    static Writer *w = new Writer;
    return *w;
}

} // namespace

void write(std::string line)
{
    writer().write(std::move(line));
}

void line(const char *pattern, ...)
{
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    try {
        writer().write(text);
    } catch (...) {
        // Out of memory for a diagnostic line: it is lost, nothing else.
    }
}

void flush(std::chrono::milliseconds limit)
{
    writer().flush(limit);
}

unsigned long dropped()
{
    return writer().dropped();
}

} // namespace vontra::log
