// Requests whose answer has not come yet. UDP may lose the request or its
// answer; the console answers a request with the event of the same id and
// answers it again as often as it is asked, so a request without an answer
// after a short time is simply sent again, a bounded number of times. Any
// event of the id counts as the answer: it carries the state the request
// asked for. Internal to the library; not thread-safe on its own.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

namespace vontra::link {

class RequestTracker
{
public:
    using Clock = std::chrono::steady_clock;
    // Well above a console's answer time on a local network.
    static constexpr std::chrono::milliseconds kResendAfter{250};
    // Sent again at most this often: 17 tries over about 4 s. With 30% of the
    // datagrams lost each way a try succeeds about half the time, and all
    // eleven requests of a batch then come through with odds of 99.99%.
    static constexpr int kMaxResends = 16;
    // Distinct ids followed at once; a request beyond that is sent once.
    static constexpr std::size_t kMaxOutstanding = 64;

    // A request for id went out at now (again, if it was waiting already).
    void sent(int id, Clock::time_point now);
    // An event of id arrived.
    void answered(int id);
    // The ids to send again at now; each is then due again later, or
    // forgotten when it has had all its tries.
    std::vector<int> due(Clock::time_point now);
    // When the next re-send is due; false when nothing waits.
    bool nextDue(Clock::time_point &when) const;
    std::size_t outstanding() const { return waiting_.size(); }

private:
    struct Waiting
    {
        int id;
        int resends;
        Clock::time_point due;
    };
    std::vector<Waiting> waiting_;
};

} // namespace vontra::link
