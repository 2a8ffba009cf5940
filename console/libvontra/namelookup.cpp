#include "namelookup.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vontra::lookup {

struct Job
{
    std::string host;
    int port = 0;
    bool done = false;
    Answer answer;
    std::vector<net::Waiter *> waiters; // the links waiting for it
};

namespace {

class LookupThread
{
public:
    // The queued or running lookup of host and port, or a new one; nullptr
    // when no thread can be started for it.
    std::shared_ptr<Job> join(const std::string &host, int port, net::Waiter *waiter)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_ && running_->host == host && running_->port == port) {
            running_->waiters.push_back(waiter);
            return running_;
        }
        for (const auto &job : queue_) {
            if (job->host == host && job->port == port) {
                job->waiters.push_back(waiter);
                return job;
            }
        }
        auto job = std::make_shared<Job>();
        job->host = host;
        job->port = port;
        job->waiters.push_back(waiter);
        if (!started_) {
            try {
                // Detached: closing never waits for a name server. This
                // object is never destroyed, so the thread may outlive
                // everything else.
                std::thread([this] { run(); }).detach();
            } catch (const std::system_error &) {
                return nullptr;
            }
            started_ = true;
        }
        queue_.push_back(job);
        return job;
    }

    void leave(const std::shared_ptr<Job> &job, net::Waiter *waiter)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto &w = job->waiters;
        w.erase(std::remove(w.begin(), w.end(), waiter), w.end());
        if (w.empty())
            queue_.erase(std::remove(queue_.begin(), queue_.end(), job), queue_.end());
    }

    bool take(const Job &job, Answer &out)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!job.done)
            return false;
        out = job.answer;
        return true;
    }

private:
    void run()
    {
        net::nameThisThread("vontra-lookup");
        std::unique_lock<std::mutex> lock(mutex_);
        while (!queue_.empty()) {
            running_ = queue_.front();
            queue_.pop_front();
            const std::string host = running_->host;
            const int port = running_->port;
            lock.unlock();
            Answer answer;
            answer.found = net::resolve(host.c_str(), port, answer.address, &answer.why);
            lock.lock();
            running_->answer = answer;
            running_->done = true;
            // Under the lock: a link that has left is not woken any more.
            for (net::Waiter *waiter : running_->waiters)
                waiter->wake();
            running_.reset();
        }
        started_ = false;
    }

    std::mutex mutex_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::shared_ptr<Job> running_;
    bool started_ = false;
};

// Never destroyed: the thread may still wait for a name server when the
// program exits.
LookupThread &lookupThread()
{
    static LookupThread *t = new LookupThread;
    return *t;
}

} // namespace

bool Lookup::start(const std::string &host, int port, net::Waiter &waiter)
{
    cancel();
    job_ = lookupThread().join(host, port, &waiter);
    waiter_ = job_ ? &waiter : nullptr;
    return job_ != nullptr;
}

bool Lookup::take(Answer &out)
{
    if (!job_ || !lookupThread().take(*job_, out))
        return false;
    cancel();
    return true;
}

void Lookup::cancel()
{
    if (!job_)
        return;
    lookupThread().leave(job_, waiter_);
    job_.reset();
    waiter_ = nullptr;
}

} // namespace vontra::lookup
