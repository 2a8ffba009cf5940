// Looks up the console's host name for the links, one name at a time on one
// thread for the whole library. The system's lookup cannot be cancelled: a
// name server that does not answer holds it for the resolver's time-outs,
// tens of seconds. A link closed meanwhile must neither wait for it nor leave
// a thread behind, however often it is opened and closed; so lookups queue for
// the one thread, a link that closes stops waiting (its queued lookup is
// dropped, a running one ends unheeded), and a link that asks for the name and
// port that are being looked up already shares that lookup. The thread ends
// when nothing is queued. Internal to the library.
#pragma once

#include "netio.h"

#include <memory>
#include <string>

namespace vontra::lookup {

struct Answer
{
    bool found = false;
    net::Address address;
    std::string why; // when not found
};

struct Job;

// One link's lookup; not thread-safe on its own (the link's receive thread
// uses it).
class Lookup
{
public:
    Lookup() = default;
    ~Lookup() { cancel(); }
    Lookup(const Lookup &) = delete;
    Lookup &operator=(const Lookup &) = delete;

    // Asks for host and port to be looked up; waiter is woken when the answer
    // is there. False when there is no thread to look it up with.
    bool start(const std::string &host, int port, net::Waiter &waiter);
    // Started and its answer not taken yet.
    bool pending() const { return job_ != nullptr; }
    // The answer, once there; the lookup is then over. False while it runs.
    bool take(Answer &out);
    // Stops waiting: once this returns, the waiter is not touched again.
    void cancel();

private:
    std::shared_ptr<Job> job_;
    net::Waiter *waiter_ = nullptr;
};

} // namespace vontra::lookup
