#include "requesttracker.h"

#include <algorithm>

namespace vontra::link {

void RequestTracker::sent(int id, Clock::time_point now)
{
    for (Waiting &w : waiting_) {
        if (w.id == id) {
            w.resends = 0;
            w.due = now + kResendAfter;
            return;
        }
    }
    if (waiting_.size() < kMaxOutstanding)
        waiting_.push_back({id, 0, now + kResendAfter});
}

void RequestTracker::answered(int id)
{
    waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                  [id](const Waiting &w) { return w.id == id; }),
                   waiting_.end());
}

std::vector<int> RequestTracker::due(Clock::time_point now)
{
    std::vector<int> ids;
    for (Waiting &w : waiting_) {
        if (w.due > now)
            continue;
        ids.push_back(w.id);
        ++w.resends;
        w.due = now + kResendAfter;
    }
    // Sent for the last time now: nothing more to wait for.
    waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                  [](const Waiting &w) { return w.resends >= kMaxResends; }),
                   waiting_.end());
    return ids;
}

bool RequestTracker::nextDue(Clock::time_point &when) const
{
    if (waiting_.empty())
        return false;
    when =
        std::min_element(waiting_.begin(), waiting_.end(), [](const Waiting &a, const Waiting &b) {
            return a.due < b.due;
        })->due;
    return true;
}

} // namespace vontra::link
