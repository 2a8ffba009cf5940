// Stand-in console-link library: the C interface of vontra.h over plain UDP.
//
// Each open link owns one UDP socket, bound on the receive port, which is used
// both to receive the console's events and to send requests and remote
// commands to the console's transmit port. A receive thread per link decodes
// datagrams and calls the registered callback; it also looks up a console
// host given by name, sends again the requests whose answer was lost, and
// otherwise sleeps until a datagram or a wake-up arrives. Nothing here waits
// for the network in the caller's thread, and nothing waits for standard
// error (logwriter.h). docs/protocol.md describes the wire format; netio.h the
// little this needs from the system's sockets.

#include "vontra.h"
#include "datagram.h"
#include "logwriter.h"
#include "netio.h"
#include "requesttracker.h"
#include "vontra_wire.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

namespace wire = vontra::wire;
namespace net = vontra::net;
using namespace vontra::receive;
using vontra::link::RequestTracker;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char kVersionText[] = "Vontra console link (stand-in) 1.0.0";

// Datagrams handled per wake-up before the stop flag is looked at again, so
// that a flood cannot delay closing.
constexpr int kBurst = 64;
// Drop reports printed per second before they are summarised.
constexpr int kDropReportsPerSecond = 5;
// A wait that failed (it should not) is not tried again at once: no spinning.
constexpr milliseconds kAfterFailedWait{200};
// A console host name that does not resolve (no network yet, a name server
// that does not answer, a name not known yet) is looked up again after these
// pauses, the last one over and over: quickly at first for a network that is
// just coming up, then every few seconds.
constexpr milliseconds kLookupPauses[] = {milliseconds(500), milliseconds(1000), milliseconds(2000),
                                          milliseconds(3000)};
// What the program sends before the console's name resolves waits for it:
// requests once per id, remote commands in order, at most this many of each.
constexpr std::size_t kMaxWaitingRequests = 64;
constexpr std::size_t kMaxWaitingCommands = 16;
// A click is meant for its moment: a remote command that could not leave
// within this time is dropped rather than switching the console much later.
constexpr auto kCommandLifetime = std::chrono::seconds(10);
// How long closing waits for the link's last diagnostic lines to be written.
constexpr milliseconds kLogFlushOnClose{100};
constexpr int32_t kMeterEvent = 128; // never requested: not looked at as an answer

void logLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

void logLine(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    try {
        vontra::log::write(text);
    } catch (...) {
        // Out of memory for a diagnostic line: it is lost, nothing else.
    }
}

// A host text that cannot be a name or an address: refused at the open.
bool plainlyNoHost(const char *host)
{
    for (const char *c = host; c != nullptr && *c != '\0'; ++c)
        if (static_cast<unsigned char>(*c) <= ' ' || *c == 0x7f)
            return true;
    return false;
}

int milliSecondsUntil(Clock::time_point when, Clock::time_point now)
{
    if (when <= now)
        return 0;
    const auto ms = std::chrono::ceil<milliseconds>(when - now).count();
    return ms > INT_MAX ? INT_MAX : int(ms);
}

// One lookup of the console's name, shared with the thread that runs it: the
// link may be closed while the lookup still waits for a name server, and that
// thread then finishes on its own.
struct Lookup
{
    std::mutex mutex;
    bool done = false;
    bool found = false;
    net::Address address;
    std::string why;
};

// A datagram kept until the console's name resolves.
struct Waiting
{
    bool request; // else a remote command
    int id;       // the request's id
    std::vector<uint8_t> bytes;
    Clock::time_point since;
};

struct Link : std::enable_shared_from_this<Link>
{
    int handle = 0;
    net::Socket socket = net::kNoSocket;
    int socketFamily = 0;
    net::Waiter waiter; // on the socket; closing and lookups wake the receive thread
    int recvPort = 0;
    int sendPort = 0;
    std::string host;
    std::thread thread;

    std::atomic<bool> stop{false};
    std::atomic<bool> logging{false};

    // The callback and its user pointer change together.
    std::mutex callbackMutex;
    vontra_callback callback = nullptr;
    void *user = nullptr;

    // The console's address, known from the open for a numeric host and
    // otherwise set once by the receive thread when the name resolves, and
    // what waits for it: the datagrams kept until then and the requests
    // whose answer has not come. The receive thread, the only one that
    // changes `known` and `console`, reads them without the lock.
    std::mutex outMutex;
    bool known = false;
    net::Address console;
    std::deque<Waiting> waiting;
    RequestTracker tracker;

    // Looking up the name: receive thread only.
    std::shared_ptr<Lookup> lookup;
    Clock::time_point nextLookup = Clock::now();
    int failedLookups = 0;

    // Only the receive thread writes these; the totals are read at close.
    std::atomic<unsigned long> received{0};
    std::atomic<unsigned long> delivered{0};
    std::atomic<unsigned long> resent{0};
    std::atomic<unsigned long> dropped[DropCount] = {};

    // Drop-report rate limit, used by the receive thread only.
    Clock::time_point windowStart = Clock::now();
    int reportedInWindow = 0;
    unsigned long suppressedInWindow = 0;

    // Send failures are reported at most once a second, from any thread.
    std::mutex sendReportMutex;
    Clock::time_point lastSendReport{};
    unsigned long sendFailuresUnreported = 0;

    ~Link()
    {
        if (thread.joinable())
            thread.detach();
        net::close(socket);
    }

    bool isLogging() const { return logging.load(std::memory_order_relaxed); }

    // ------------------------------------------------------------ receiving

    void drop(int reason, const net::Address *from)
    {
        dropped[reason].fetch_add(1, std::memory_order_relaxed);
        if (!isLogging())
            return;
        flushDropReports(Clock::now());
        if (reportedInWindow < kDropReportsPerSecond) {
            ++reportedInWindow;
            if (from != nullptr)
                logLine("link %d: dropped datagram from %s: %s", handle,
                        net::addressText(*from).c_str(), dropText(reason));
            else
                logLine("link %d: dropped message: %s", handle, dropText(reason));
        } else {
            ++suppressedInWindow;
        }
    }

    void flushDropReports(Clock::time_point now)
    {
        if (now - windowStart < std::chrono::seconds(1))
            return;
        if (suppressedInWindow > 0 && isLogging())
            logLine("link %d: %lu more datagrams dropped in the last second", handle,
                    suppressedInWindow);
        windowStart = now;
        reportedInWindow = 0;
        suppressedInWindow = 0;
    }

    unsigned long droppedTotal() const
    {
        unsigned long total = 0;
        for (const auto &d : dropped)
            total += d.load(std::memory_order_relaxed);
        return total;
    }

    void logTotals()
    {
        if (!isLogging())
            return;
        logLine("link %d: %lu datagrams received, %lu events delivered, %lu dropped, %lu "
                "requests sent again",
                handle, received.load(), delivered.load(), droppedTotal(), resent.load());
        for (int r = 0; r < DropCount; ++r) {
            const unsigned long n = dropped[r].load(std::memory_order_relaxed);
            if (n > 0)
                logLine("link %d:   %lu x %s", handle, n, dropText(r));
        }
    }

    void handleDatagram(const uint8_t *data, std::size_t size, const net::Address &from)
    {
        received.fetch_add(1, std::memory_order_relaxed);
        // The sender is checked first: nothing from elsewhere is even decoded.
        // Before the console's name resolves, nobody is the console.
        if (!known || !net::sameEndpoint(from, console)) {
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
            std::lock_guard<std::mutex> lock(outMutex);
            tracker.answered(delivery.event.id);
        }

        vontra_callback cb;
        void *cbUser;
        {
            std::lock_guard<std::mutex> lock(callbackMutex);
            cb = callback;
            cbUser = user;
        }
        if (cb == nullptr) {
            drop(DropNoCallback, nullptr);
            return;
        }
        // A close from another thread may have begun while this datagram was
        // decoded; close waits for this thread, so checking here suffices.
        if (stop.load())
            return;

        delivered.fetch_add(1, std::memory_order_relaxed);
        cb(&delivery.event, cbUser);
    }

    void readDatagrams(uint8_t *buffer, std::size_t capacity)
    {
        // Errors count towards the burst too, so that even a stream of them
        // cannot keep this loop from the stop flag.
        for (int i = 0; i < kBurst && !stop.load(); ++i) {
            const net::Received r = net::receive(socket, buffer, capacity);
            if (r.outcome == net::Received::Ignored)
                continue;
            if (r.outcome != net::Received::Datagram)
                break; // drained, or try again after the next wait
            if (r.truncated || r.size > wire::kMaxDatagram) {
                received.fetch_add(1, std::memory_order_relaxed);
                drop(DropOversized, &r.from);
                continue;
            }
            handleDatagram(buffer, r.size, r.from);
        }
    }

    // How long the receive thread may sleep: until the next thing it has to
    // do, or for as long as nothing arrives (-1) when there is none.
    int sleepFor(Clock::time_point now)
    {
        Clock::time_point next = Clock::time_point::max();
        {
            std::lock_guard<std::mutex> lock(outMutex);
            Clock::time_point due;
            if (tracker.nextDue(due))
                next = std::min(next, due);
            if (!known && !lookup)
                next = std::min(next, nextLookup);
        }
        if (suppressedInWindow > 0)
            next = std::min(next, windowStart + std::chrono::seconds(1));
        return next == Clock::time_point::max() ? -1 : milliSecondsUntil(next, now);
    }

    void run()
    {
        net::nameThisThread("vontra-link");
        // One byte more than the largest valid datagram, so that an oversized
        // one is recognised even where the system does not report its size.
        uint8_t buffer[wire::kMaxDatagram + 1];
        while (!stop.load()) {
            const net::Waiter::Result woke = waiter.wait(sleepFor(Clock::now()));
            if (stop.load())
                break;
            if (woke.readable)
                readDatagrams(buffer, sizeof buffer);
            else if (woke.failed)
                std::this_thread::sleep_for(kAfterFailedWait);
            const Clock::time_point now = Clock::now();
            lookForConsole(now);
            sendDueRequestsAgain(now);
            flushDropReports(now);
        }
        flushDropReports(Clock::now() + std::chrono::seconds(1));
        logTotals();
    }

    // ------------------------------------------------------------ the console's name

    bool consoleKnown()
    {
        std::lock_guard<std::mutex> lock(outMutex);
        return known;
    }

    void lookForConsole(Clock::time_point now)
    {
        if (known)
            return;
        if (lookup) {
            bool found = false;
            net::Address address;
            std::string why;
            {
                std::lock_guard<std::mutex> lock(lookup->mutex);
                if (!lookup->done)
                    return;
                found = lookup->found;
                address = lookup->address;
                why = lookup->why;
            }
            lookup.reset();
            if (found && becomeKnown(address, now))
                return;
            lookupFailed(why.empty() ? "IPv6 is not available for its address" : why, now);
        }
        if (now >= nextLookup)
            startLookup(now);
    }

    void startLookup(Clock::time_point now)
    {
        auto job = std::make_shared<Lookup>();
        const std::weak_ptr<Link> self = weak_from_this();
        const std::string name = host;
        const int port = sendPort;
        try {
            std::thread([job, self, name, port] {
                net::nameThisThread("vontra-lookup");
                net::Address address;
                std::string why;
                const bool found = net::resolve(name.c_str(), port, address, &why);
                {
                    std::lock_guard<std::mutex> lock(job->mutex);
                    job->done = true;
                    job->found = found;
                    job->address = address;
                    job->why = why;
                }
                if (const auto link = self.lock())
                    link->waiter.wake();
            }).detach();
            lookup = job;
        } catch (const std::system_error &) {
            lookupFailed("no thread to look it up with", now);
        }
    }

    void lookupFailed(const std::string &why, Clock::time_point now)
    {
        ++failedLookups;
        const std::size_t last = std::size(kLookupPauses) - 1;
        const milliseconds pause = kLookupPauses[std::min(std::size_t(failedLookups - 1), last)];
        nextLookup = now + pause;
        // The first failures, then every time their number doubles: a name
        // that stays unknown for hours does not fill the log.
        if (isLogging() && (failedLookups & (failedLookups - 1)) == 0)
            logLine("link %d: console host \"%s\" not found (%s) after %d %s; trying again "
                    "every %.1f s",
                    handle, host.c_str(), why.c_str(), failedLookups,
                    failedLookups == 1 ? "try" : "tries", double(pause.count()) / 1000.0);
    }

    // The name resolved: the console is known from now on, and what waited
    // for it leaves. False when the address cannot be used on this socket.
    bool becomeKnown(const net::Address &found, Clock::time_point now)
    {
        net::Address address = found;
        if (socketFamily == AF_INET6)
            address = net::mappedToIpv6(found);
        else if (found.family() != socketFamily)
            return false;
        std::deque<Waiting> kept;
        {
            std::lock_guard<std::mutex> lock(outMutex);
            console = address;
            known = true;
            kept.swap(waiting);
        }
        if (isLogging())
            logLine("link %d: console host \"%s\" is %s (after %d failed %s); sending the %lu "
                    "messages kept for it",
                    handle, host.c_str(), net::addressText(found).c_str(), failedLookups,
                    failedLookups == 1 ? "try" : "tries", static_cast<unsigned long>(kept.size()));
        for (const Waiting &w : kept) {
            if (!w.request && now - w.since > kCommandLifetime) {
                if (isLogging())
                    logLine("link %d: a remote command waited too long for the console's "
                            "address and was dropped",
                            handle);
                continue;
            }
            if (w.request) {
                std::lock_guard<std::mutex> lock(outMutex);
                tracker.sent(w.id, now);
            }
            transmit(w.bytes.data(), w.bytes.size(), address);
        }
        return true;
    }

    // ------------------------------------------------------------ sending

    // Sends to the console, or keeps the datagram until its name resolves.
    // A request is followed until its answer comes (RequestTracker).
    int send(const uint8_t *data, std::size_t size, bool request, int id)
    {
        if (size == 0)
            return -1;
        std::unique_lock<std::mutex> lock(outMutex);
        if (!known)
            return keep(data, size, request, id);
        const net::Address to = console;
        bool firstAwaited = false;
        if (request) {
            firstAwaited = tracker.outstanding() == 0;
            tracker.sent(id, Clock::now());
        }
        lock.unlock();
        // The receive thread sleeps for as long as nothing is due; now
        // something is.
        if (firstAwaited)
            waiter.wake();
        return transmit(data, size, to) ? 0 : -1;
    }

    // outMutex is held.
    int keep(const uint8_t *data, std::size_t size, bool request, int id)
    {
        const Clock::time_point now = Clock::now();
        if (request) {
            std::size_t requests = 0;
            for (const Waiting &w : waiting) {
                if (w.request && w.id == id)
                    return 0; // asked already: one answer will do
                requests += w.request ? 1 : 0;
            }
            if (requests >= kMaxWaitingRequests)
                return dropUnsent("a request");
        } else {
            // Stale clicks make room first.
            waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                         [&](const Waiting &w) {
                                             return !w.request && now - w.since > kCommandLifetime;
                                         }),
                          waiting.end());
            if (std::size_t(std::count_if(waiting.begin(), waiting.end(), [](const Waiting &w) {
                    return !w.request;
                })) >= kMaxWaitingCommands)
                return dropUnsent("a remote command");
        }
        waiting.push_back({request, id, std::vector<uint8_t>(data, data + size), now});
        return 0;
    }

    int dropUnsent(const char *what)
    {
        if (isLogging())
            logLine("link %d: console host \"%s\" not found yet and too much waiting for it: %s "
                    "dropped",
                    handle, host.c_str(), what);
        return -1;
    }

    bool transmit(const uint8_t *data, std::size_t size, const net::Address &to)
    {
        if (net::sendTo(socket, data, size, to))
            return true;
        if (isLogging()) {
            std::lock_guard<std::mutex> lock(sendReportMutex);
            const Clock::time_point now = Clock::now();
            if (now - lastSendReport < std::chrono::seconds(1)) {
                ++sendFailuresUnreported;
            } else {
                logLine("link %d: sending to %s failed: %s (%lu more failures unreported)", handle,
                        net::addressText(to).c_str(), net::lastErrorText().c_str(),
                        sendFailuresUnreported);
                lastSendReport = now;
                sendFailuresUnreported = 0;
            }
        }
        return false;
    }

    void sendDueRequestsAgain(Clock::time_point now)
    {
        std::vector<int> ids;
        net::Address to;
        {
            std::lock_guard<std::mutex> lock(outMutex);
            if (!known || tracker.outstanding() == 0)
                return;
            ids = tracker.due(now);
            to = console;
        }
        for (int id : ids) {
            uint8_t buffer[wire::kMaxDatagram];
            const std::size_t size = wire::encodeRequest(id, buffer, sizeof buffer);
            if (size > 0 && transmit(buffer, size, to))
                resent.fetch_add(1, std::memory_order_relaxed);
        }
    }
};

struct Table
{
    std::mutex mutex;
    std::map<int, std::shared_ptr<Link>> links;
    int lastHandle = 0;
};

// Never destroyed: links may outlive static destruction when a program exits
// without closing them.
Table &table()
{
    static Table *t = new Table;
    return *t;
}

std::shared_ptr<Link> find(int handle)
{
    if (handle <= 0)
        return nullptr;
    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.links.find(handle);
    return it == t.links.end() ? nullptr : it->second;
}

// The datagram `encode` writes, sent on a link; -1 for an unknown handle.
template <typename Encode> int sendOn(int handle, bool request, int id, Encode encode)
{
    try {
        const auto link = find(handle);
        if (!link)
            return -1;
        uint8_t buffer[wire::kMaxDatagram];
        return link->send(buffer, encode(buffer, sizeof buffer), request, id);
    } catch (...) {
        return -1;
    }
}

bool openSocket(Link &link, int family, bool bothFamilies)
{
    link.socket = net::openUdp(net::anyAddress(family, uint16_t(link.recvPort)), bothFamilies);
    if (link.socket == net::kNoSocket)
        return false;
    link.socketFamily = family;
    if (link.waiter.open(link.socket))
        return true;
    net::close(link.socket);
    link.socket = net::kNoSocket;
    return false;
}

bool validPort(int port)
{
    return port >= 1 && port <= 65535;
}

int openLink(const char *host, int recvPort, int sendPort)
{
    if (!validPort(recvPort) || !validPort(sendPort) || plainlyNoHost(host) || !net::startUp())
        return 0;
    auto link = std::make_shared<Link>();
    link->recvPort = recvPort;
    link->sendPort = sendPort;
    link->host = host != nullptr ? host : "";
    if (net::resolveNumeric(host, sendPort, link->console)) {
        link->known = true;
        if (!openSocket(*link, link->console.family(), false))
            return 0; // the destructor closes what was opened
    } else if (!openSocket(*link, AF_INET6, true) && !openSocket(*link, AF_INET, false)) {
        // A name: its address, looked up later, may be of either family, so
        // the socket takes both where the system has IPv6.
        return 0;
    }

    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.lastHandle == INT_MAX)
        return 0; // handles are never reused
    link->handle = ++t.lastHandle;
    link->thread = std::thread([link] { link->run(); });
    t.links.emplace(link->handle, link);
    return link->handle;
}

int closeLink(int handle)
{
    std::shared_ptr<Link> link;
    {
        Table &t = table();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.links.find(handle);
        if (it == t.links.end())
            return -1;
        link = std::move(it->second);
        t.links.erase(it);
    }
    if (link->isLogging())
        logLine("link %d: closing", handle);
    link->stop.store(true);
    link->waiter.wake();
    if (link->thread.get_id() == std::this_thread::get_id()) {
        // Closed from inside its own callback: the thread ends when the
        // callback returns and releases the link (and its socket) itself.
        link->thread.detach();
        return 0;
    }
    link->thread.join();
    // Its last lines, unless standard error does not take them: the program
    // may end right after this.
    if (link->isLogging())
        vontra::log::flush(kLogFlushOnClose);
    return 0;
}

} // namespace

extern "C" {

VONTRA_API int vontra_open(const char *host, int recv_port, int send_port)
{
    try {
        return openLink(host, recv_port, send_port);
    } catch (...) {
        return 0; // out of memory or no thread: nothing stays open
    }
}

VONTRA_API int vontra_logging(int handle, int on)
{
    const auto link = find(handle);
    if (!link)
        return -1;
    const bool wasOn = link->logging.exchange(on != 0);
    if (on != 0 && !wasOn) {
        logLine("%s", kVersionText);
        if (link->consoleKnown())
            logLine("link %d open: console %s, receiving on port %d", handle,
                    net::addressText(link->console).c_str(), link->recvPort);
        else
            logLine("link %d open: console host \"%s\" port %d, looked up in the background, "
                    "receiving on port %d",
                    handle, link->host.c_str(), link->sendPort, link->recvPort);
    }
    return 0;
}

VONTRA_API int vontra_register_callback(int handle, vontra_callback callback, void *user)
{
    const auto link = find(handle);
    if (!link)
        return -1;
    std::lock_guard<std::mutex> lock(link->callbackMutex);
    link->callback = callback;
    link->user = user;
    return 0;
}

VONTRA_API int vontra_request(int handle, int event_id)
{
    return sendOn(handle, true, event_id, [&](uint8_t *buffer, std::size_t size) {
        return wire::encodeRequest(event_id, buffer, size);
    });
}

VONTRA_API int vontra_remote_on(int handle, int module, int value)
{
    return sendOn(handle, false, 0, [&](uint8_t *buffer, std::size_t size) {
        return wire::encodeRemoteOn(module, value, buffer, size);
    });
}

VONTRA_API int vontra_remote_non_stop(int handle, int value)
{
    return sendOn(handle, false, 0, [&](uint8_t *buffer, std::size_t size) {
        return wire::encodeRemoteNonStop(value, buffer, size);
    });
}

VONTRA_API int vontra_close(int handle)
{
    try {
        return closeLink(handle);
    } catch (...) {
        return -1;
    }
}

VONTRA_API const char *vontra_library_version(int reserved)
{
    (void)reserved;
    return kVersionText;
}

} // extern "C"
