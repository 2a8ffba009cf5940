#include "link.h"
#include "logwriter.h"
#include "vontra_wire.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace vontra::link {

namespace {

namespace wire = vontra::wire;
using namespace vontra::receive;
using std::chrono::milliseconds;
using Clock = Link::Clock;
using vontra::log::line;

// Datagrams handled per wake-up before the stop flag is looked at again, so
// that a flood cannot delay closing.
constexpr int kBurst = 64;
// Drop reports printed per second before they are summarised.
constexpr int kDropReportsPerSecond = 5;
// Before the console's name resolves, how often the datagrams dropped for
// that are reported as a count.
constexpr auto kUnknownDropCountEvery = std::chrono::seconds(60);
// A wait that failed (it should not) is not tried again at once: no spinning.
constexpr milliseconds kAfterFailedWait{200};
// A console host name that does not resolve (no network yet, a name server
// that does not answer, a name not known yet) is looked up again after these
// pauses, the last one over and over: quickly at first for a network that is
// just coming up, then every few seconds.
constexpr milliseconds kLookupPauses[] = {milliseconds(500), milliseconds(1000), milliseconds(2000),
                                          milliseconds(3000)};
// Distinct requests that wait for the console's name at most.
constexpr std::size_t kMaxWaitingRequests = 64;
constexpr int32_t kMeterEvent = 128; // never requested: not looked at as an answer

int milliSecondsUntil(Clock::time_point when, Clock::time_point now)
{
    if (when <= now)
        return 0;
    const auto ms = std::chrono::ceil<milliseconds>(when - now).count();
    return ms > INT_MAX ? INT_MAX : int(ms);
}

} // namespace

Link::Link(const char *host, int recvPort, int sendPort)
    : host_(host != nullptr ? host : ""), recvPort_(recvPort), sendPort_(sendPort)
{
}

Link::~Link()
{
    if (thread_.joinable())
        thread_.detach();
    net::close(socket_);
}

// ------------------------------------------------------------ life

bool Link::openSocket(int family, bool bothFamilies)
{
    socket_ = net::openUdp(net::anyAddress(family, uint16_t(recvPort_)), bothFamilies);
    if (socket_ == net::kNoSocket)
        return false;
    socketFamily_ = family;
    if (waiter_.open(socket_))
        return true;
    net::close(socket_);
    socket_ = net::kNoSocket;
    return false;
}

bool Link::openSocket()
{
    if (net::resolveNumeric(host_.c_str(), sendPort_, console_)) {
        known_ = true;
        return openSocket(console_.family(), false);
    }
    // A name: its address, looked up later, may be of either family, so the
    // socket takes both where the system has IPv6.
    return openSocket(AF_INET6, true) || openSocket(AF_INET, false);
}

void Link::start(int handle)
{
    handle_ = handle;
    const std::shared_ptr<Link> self = shared_from_this();
    thread_ = std::thread([self] { self->run(); });
}

void Link::close()
{
    if (isLogging())
        line("link %d: closing", handle_);
    stop_.store(true);
    waiter_.wake();
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Closed from inside its own callback: the thread ends when the
        // callback returns and releases the link itself; it reads no more.
        thread_.detach();
        closeSocket();
        return;
    }
    thread_.join();
    closeSocket();
}

// The receive port is free once close returns, whoever holds the link a little
// longer: a reopen on the same port follows at once.
void Link::closeSocket()
{
    std::lock_guard<std::mutex> lock(socketMutex_);
    net::close(socket_);
    socket_ = net::kNoSocket;
}

void Link::setLogging(bool on)
{
    const bool wasOn = logging_.exchange(on);
    if (!on || wasOn)
        return;
    line("%s", vontra_library_version(0));
    if (consoleKnown())
        line("link %d open: console %s, receiving on port %d", handle_,
             net::addressText(console_).c_str(), recvPort_);
    else
        line("link %d open: console host \"%s\" port %d, looked up in the background, "
             "receiving on port %d",
             handle_, host_.c_str(), sendPort_, recvPort_);
}

void Link::setCallback(vontra_callback callback, void *user)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback_ = callback;
    user_ = user;
}

void Link::run()
{
    net::nameThisThread("vontra-link");
    // One byte more than the largest valid datagram, so that an oversized
    // one is recognised even where the system does not report its size.
    uint8_t buffer[wire::kMaxDatagram + 1];
    while (!stop_.load()) {
        const net::Waiter::Result woke = waiter_.wait(sleepFor(Clock::now()));
        if (stop_.load())
            break;
        if (woke.readable) {
            readDatagrams(buffer, sizeof buffer);
            if (stop_.load())
                break; // closed by the callback
        } else if (woke.failed) {
            std::this_thread::sleep_for(kAfterFailedWait);
        }
        const Clock::time_point now = Clock::now();
        lookForConsole(now);
        sendDueRequestsAgain(now);
        flushDropReports(now);
    }
    // Nothing of the link is touched by a lookup once it is closed.
    lookup_.cancel();
    reportUnknownDrops(Clock::now());
    flushDropReports(Clock::now() + std::chrono::seconds(1));
    logTotals();
}

// How long the receive thread may sleep: until the next thing it has to do,
// or for as long as nothing arrives (-1) when there is none.
int Link::sleepFor(Clock::time_point now)
{
    Clock::time_point next = Clock::time_point::max();
    {
        std::lock_guard<std::mutex> lock(outMutex_);
        Clock::time_point due;
        if (tracker_.nextDue(due))
            next = std::min(next, due);
        if (!known_ && !lookup_.pending())
            next = std::min(next, nextLookup_);
    }
    if (suppressedInWindow_ > 0)
        next = std::min(next, windowStart_ + std::chrono::seconds(1));
    return next == Clock::time_point::max() ? -1 : milliSecondsUntil(next, now);
}

// ------------------------------------------------------------ receiving

void Link::drop(int reason, const net::Address *from)
{
    dropped_[reason].fetch_add(1, std::memory_order_relaxed);
    if (!isLogging())
        return;
    const Clock::time_point now = Clock::now();
    if (!known_) {
        dropWhileUnknown(reason, from, now);
        return;
    }
    flushDropReports(now);
    if (reportedInWindow_ < kDropReportsPerSecond) {
        ++reportedInWindow_;
        if (from != nullptr)
            line("link %d: dropped datagram from %s: %s", handle_, net::addressText(*from).c_str(),
                 dropText(reason));
        else
            line("link %d: dropped message: %s", handle_, dropText(reason));
    } else {
        ++suppressedInWindow_;
    }
}

void Link::flushDropReports(Clock::time_point now)
{
    if (now - windowStart_ < std::chrono::seconds(1))
        return;
    if (suppressedInWindow_ > 0 && isLogging())
        line("link %d: %lu more datagrams dropped in the last second", handle_,
             suppressedInWindow_);
    windowStart_ = now;
    reportedInWindow_ = 0;
    suppressedInWindow_ = 0;
}

// Before the console's name resolves every datagram is dropped, the console's
// own too, several a second for as long as the name stays unknown: the first
// is reported, the rest are counted and the count reported now and then.
void Link::dropWhileUnknown(int reason, const net::Address *from, Clock::time_point now)
{
    if (unknownDropReported_) {
        ++unknownDrops_;
        if (now >= nextUnknownCount_)
            reportUnknownDrops(now);
        return;
    }
    unknownDropReported_ = true;
    nextUnknownCount_ = now + kUnknownDropCountEvery;
    line("link %d: dropped datagram from %s: %s; until console host \"%s\" is found, such "
         "drops are counted",
         handle_, from != nullptr ? net::addressText(*from).c_str() : "?", dropText(reason),
         host_.c_str());
}

void Link::reportUnknownDrops(Clock::time_point now)
{
    if (unknownDrops_ > 0 && isLogging())
        line("link %d: %lu more datagrams dropped while console host \"%s\" was not found", handle_,
             unknownDrops_, host_.c_str());
    unknownDrops_ = 0;
    nextUnknownCount_ = now + kUnknownDropCountEvery;
}

unsigned long Link::droppedTotal() const
{
    unsigned long total = 0;
    for (const auto &d : dropped_)
        total += d.load(std::memory_order_relaxed);
    return total;
}

void Link::logTotals()
{
    if (!isLogging())
        return;
    line("link %d: %lu datagrams received, %lu events delivered, %lu dropped, %lu "
         "requests sent again",
         handle_, received_.load(), delivered_.load(), droppedTotal(), resent_.load());
    for (int r = 0; r < DropCount; ++r) {
        const unsigned long n = dropped_[r].load(std::memory_order_relaxed);
        if (n > 0)
            line("link %d:   %lu x %s", handle_, n, dropText(r));
    }
}

void Link::handleDatagram(const uint8_t *data, std::size_t size, const net::Address &from)
{
    received_.fetch_add(1, std::memory_order_relaxed);
    // The sender is checked first: nothing from elsewhere is even decoded.
    // Before the console's name resolves, nobody is the console.
    if (!known_ || !net::sameEndpoint(from, console_)) {
        drop(DropForeignSender, &from);
        return;
    }
    Delivery delivery;
    const int reason = toDelivery(data, size, delivery);
    if (reason != kAccepted) {
        drop(reason, &from);
        return;
    }
    // Whatever the console sends of an id answers a request for it.
    if (delivery.event.id != kMeterEvent) {
        std::lock_guard<std::mutex> lock(outMutex_);
        tracker_.answered(delivery.event.id);
    }

    vontra_callback cb;
    void *cbUser;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        cb = callback_;
        cbUser = user_;
    }
    if (cb == nullptr) {
        drop(DropNoCallback, nullptr);
        return;
    }
    // A close from another thread may have begun while this datagram was
    // decoded; close waits for this thread, so checking here suffices.
    if (stop_.load())
        return;

    delivered_.fetch_add(1, std::memory_order_relaxed);
    cb(&delivery.event, cbUser);
}

void Link::readDatagrams(uint8_t *buffer, std::size_t capacity)
{
    // Errors count towards the burst too, so that even a stream of them
    // cannot keep this loop from the stop flag.
    for (int i = 0; i < kBurst && !stop_.load(); ++i) {
        const net::Received r = net::receive(socket_, buffer, capacity);
        if (r.outcome == net::Received::Ignored)
            continue;
        if (r.outcome != net::Received::Datagram)
            break; // drained, or try again after the next wait
        if (r.truncated || r.size > wire::kMaxDatagram) {
            received_.fetch_add(1, std::memory_order_relaxed);
            drop(DropOversized, &r.from);
            continue;
        }
        handleDatagram(buffer, r.size, r.from);
    }
}

// ------------------------------------------------------------ the console's name

bool Link::consoleKnown()
{
    std::lock_guard<std::mutex> lock(outMutex_);
    return known_;
}

void Link::lookForConsole(Clock::time_point now)
{
    if (known_)
        return;
    if (lookup_.pending()) {
        lookup::Answer answer;
        if (!lookup_.take(answer))
            return;
        if (answer.found && becomeKnown(answer.address, now))
            return;
        lookupFailed(answer.why.empty() ? "IPv6 is not available for its address" : answer.why,
                     now);
    }
    if (now >= nextLookup_ && !lookup_.start(host_, sendPort_, waiter_))
        lookupFailed("no thread to look it up with", now);
}

void Link::lookupFailed(const std::string &why, Clock::time_point now)
{
    ++failedLookups_;
    const std::size_t last = std::size(kLookupPauses) - 1;
    const milliseconds pause = kLookupPauses[std::min(std::size_t(failedLookups_ - 1), last)];
    nextLookup_ = now + pause;
    // The first failures, then every time their number doubles: a name that
    // stays unknown for hours does not fill the log.
    if (isLogging() && (failedLookups_ & (failedLookups_ - 1)) == 0)
        line("link %d: console host \"%s\" not found (%s) after %d %s; trying again every "
             "%.1f s",
             handle_, host_.c_str(), why.c_str(), failedLookups_,
             failedLookups_ == 1 ? "try" : "tries", double(pause.count()) / 1000.0);
}

// The name resolved: the console is known from now on, and the requests that
// waited for it leave. False when the address cannot be used on this socket.
bool Link::becomeKnown(const net::Address &found, Clock::time_point now)
{
    net::Address address = found;
    if (socketFamily_ == AF_INET6)
        address = net::mappedToIpv6(found);
    else if (found.family() != socketFamily_)
        return false;
    reportUnknownDrops(now);
    std::vector<int> kept;
    {
        std::lock_guard<std::mutex> lock(outMutex_);
        console_ = address;
        known_ = true;
        kept.swap(waiting_);
        for (int id : kept)
            tracker_.sent(id, now);
    }
    if (isLogging())
        line("link %d: console host \"%s\" is %s (after %d failed %s); sending the %lu requests "
             "kept for it",
             handle_, host_.c_str(), net::addressText(found).c_str(), failedLookups_,
             failedLookups_ == 1 ? "try" : "tries", static_cast<unsigned long>(kept.size()));
    for (int id : kept)
        sendRequest(id, address);
    return true;
}

// ------------------------------------------------------------ sending

int Link::send(const uint8_t *data, std::size_t size, bool request, int id)
{
    if (size == 0)
        return -1;
    std::unique_lock<std::mutex> lock(outMutex_);
    if (!known_) {
        if (request)
            return keep(id);
        lock.unlock();
        // A click is meant for its moment and for a display that shows the
        // console: carried out once the name resolves, it would switch the
        // console by itself, long after the operator saw the display offline.
        if (isLogging())
            line("link %d: remote command dropped: console host \"%s\" not found yet", handle_,
                 host_.c_str());
        return -1;
    }
    const net::Address to = console_;
    bool firstAwaited = false;
    if (request) {
        firstAwaited = tracker_.outstanding() == 0;
        tracker_.sent(id, Clock::now());
    }
    lock.unlock();
    // The receive thread sleeps for as long as nothing is due; now something
    // is.
    if (firstAwaited)
        waiter_.wake();
    return transmit(data, size, to) ? 0 : -1;
}

// A request made before the console's name resolves asks for state that is
// still wanted when it does: it waits, once per id. outMutex_ is held.
int Link::keep(int id)
{
    if (std::find(waiting_.begin(), waiting_.end(), id) != waiting_.end())
        return 0; // asked already: one answer will do
    if (waiting_.size() >= kMaxWaitingRequests) {
        if (isLogging())
            line("link %d: console host \"%s\" not found yet and too many requests waiting for "
                 "it: a request dropped",
                 handle_, host_.c_str());
        return -1;
    }
    waiting_.push_back(id);
    return 0;
}

bool Link::sendRequest(int id, const net::Address &to)
{
    uint8_t buffer[wire::kMaxDatagram];
    const std::size_t size = wire::encodeRequest(id, buffer, sizeof buffer);
    return size > 0 && transmit(buffer, size, to);
}

bool Link::transmit(const uint8_t *data, std::size_t size, const net::Address &to)
{
    std::string error;
    {
        std::lock_guard<std::mutex> lock(socketMutex_);
        if (socket_ == net::kNoSocket)
            return false; // closed while this was on its way
        if (net::sendTo(socket_, data, size, to))
            return true;
        error = net::lastErrorText();
    }
    if (isLogging()) {
        std::lock_guard<std::mutex> lock(sendReportMutex_);
        const Clock::time_point now = Clock::now();
        if (now - lastSendReport_ < std::chrono::seconds(1)) {
            ++sendFailuresUnreported_;
        } else {
            line("link %d: sending to %s failed: %s (%lu more failures unreported)", handle_,
                 net::addressText(to).c_str(), error.c_str(), sendFailuresUnreported_);
            lastSendReport_ = now;
            sendFailuresUnreported_ = 0;
        }
    }
    return false;
}

void Link::sendDueRequestsAgain(Clock::time_point now)
{
    std::vector<int> ids;
    net::Address to;
    {
        std::lock_guard<std::mutex> lock(outMutex_);
        if (!known_ || tracker_.outstanding() == 0)
            return;
        ids = tracker_.due(now);
        to = console_;
    }
    for (int id : ids) {
        if (sendRequest(id, to))
            resent_.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace vontra::link
