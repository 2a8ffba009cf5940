// Stand-in console-link library: the C interface of vontra.h over plain UDP.
//
// Each open link owns one UDP socket, bound on the receive port, which is used
// both to receive the console's events and to send requests and remote
// commands to the console's transmit port. A receive thread per link decodes
// datagrams and calls the registered callback. docs/protocol.md describes the
// wire format; netio.h the little this needs from the system's sockets.

#include "vontra.h"
#include "datagram.h"
#include "netio.h"
#include "vontra_wire.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

namespace wire = vontra::wire;
namespace net = vontra::net;
using namespace vontra::receive;
using Clock = std::chrono::steady_clock;

const char kVersionText[] = "Vontra console link (stand-in) 1.0.0";

// How long the receive thread sleeps at most; bounds the latency of the
// once-per-second drop summary (closing wakes it at once).
constexpr int kPollMs = 200;
// Datagrams handled per wake-up before the stop flag is looked at again, so
// that a flood cannot delay closing.
constexpr int kBurst = 64;
// Drop reports printed per second before they are summarised.
constexpr int kDropReportsPerSecond = 5;

void logLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

void logLine(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // One write per line so that lines of concurrent links do not interleave.
    std::fprintf(stderr, "vontra: %s\n", text);
}

struct Link
{
    int handle = 0;
    net::Socket socket = net::kNoSocket;
    net::Waiter waiter; // on the socket; closing wakes the receive thread through it
    int recvPort = 0;
    net::Address console;
    std::thread thread;

    std::atomic<bool> stop{false};
    std::atomic<bool> logging{false};

    // The callback and its user pointer change together.
    std::mutex callbackMutex;
    vontra_callback callback = nullptr;
    void *user = nullptr;

    // Only the receive thread writes these; the totals are read at close.
    std::atomic<unsigned long> received{0};
    std::atomic<unsigned long> delivered{0};
    std::atomic<unsigned long> dropped[DropCount] = {};

    // Drop-report rate limit, used by the receive thread only.
    Clock::time_point windowStart = Clock::now();
    int reportedInWindow = 0;
    unsigned long suppressedInWindow = 0;

    ~Link()
    {
        if (thread.joinable())
            thread.detach();
        net::close(socket);
    }

    void drop(int reason, const net::Address *from)
    {
        dropped[reason].fetch_add(1, std::memory_order_relaxed);
        if (!logging.load(std::memory_order_relaxed))
            return;
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
        if (suppressedInWindow > 0 && logging.load(std::memory_order_relaxed))
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
        if (!logging.load(std::memory_order_relaxed))
            return;
        logLine("link %d: %lu datagrams received, %lu events delivered, %lu dropped", handle,
                received.load(), delivered.load(), droppedTotal());
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
        if (!net::sameEndpoint(from, console)) {
            drop(DropForeignSender, &from);
            return;
        }
        Delivery delivery;
        const int reason = toDelivery(data, size, delivery);
        if (reason != kAccepted) {
            drop(reason, &from);
            return;
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

    void run()
    {
        // One byte more than the largest valid datagram, so that an oversized
        // one is recognised even where the system does not report its size.
        uint8_t buffer[wire::kMaxDatagram + 1];
        while (!stop.load()) {
            const net::Waiter::Result woke = waiter.wait(kPollMs);
            if (stop.load())
                break;
            if (woke.readable) {
                // Errors count towards the burst too, so that even a stream
                // of them cannot keep this loop from the stop flag.
                for (int i = 0; i < kBurst && !stop.load(); ++i) {
                    const net::Received r = net::receive(socket, buffer, sizeof buffer);
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
            } else if (woke.failed) {
                // Should not happen with a valid socket; avoid spinning.
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            }
            flushDropReports(Clock::now());
        }
        flushDropReports(Clock::now() + std::chrono::seconds(1));
        logTotals();
    }

    int send(const uint8_t *data, std::size_t size)
    {
        if (size == 0)
            return -1;
        if (!net::sendTo(socket, data, size, console)) {
            if (logging.load(std::memory_order_relaxed))
                logLine("link %d: sending to %s failed: %s", handle,
                        net::addressText(console).c_str(), net::lastErrorText().c_str());
            return -1;
        }
        return 0;
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

bool openSocket(Link &link, int recvPort)
{
    link.socket = net::openUdp(net::anyAddress(link.console.family(), uint16_t(recvPort)));
    return link.socket != net::kNoSocket && link.waiter.open(link.socket);
}

bool validPort(int port)
{
    return port >= 1 && port <= 65535;
}

int openLink(const char *host, int recvPort, int sendPort)
{
    if (!validPort(recvPort) || !validPort(sendPort) || !net::startUp())
        return 0;
    auto link = std::make_shared<Link>();
    link->recvPort = recvPort;
    if (!net::resolve(host, sendPort, link->console))
        return 0;
    if (!openSocket(*link, recvPort))
        return 0; // the destructor closes what was opened

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
    if (link->logging.load())
        logLine("link %d: closing", handle);
    link->stop.store(true);
    link->waiter.wake();
    if (link->thread.get_id() == std::this_thread::get_id()) {
        // Closed from inside its own callback: the thread ends when the
        // callback returns and releases the link (and its socket) itself.
        link->thread.detach();
    } else {
        link->thread.join();
    }
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
        logLine("link %d open: console %s, receiving on port %d", handle,
                net::addressText(link->console).c_str(), link->recvPort);
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
    const auto link = find(handle);
    if (!link)
        return -1;
    uint8_t buffer[wire::kMaxDatagram];
    return link->send(buffer, wire::encodeRequest(event_id, buffer, sizeof buffer));
}

VONTRA_API int vontra_remote_on(int handle, int module, int value)
{
    const auto link = find(handle);
    if (!link)
        return -1;
    uint8_t buffer[wire::kMaxDatagram];
    return link->send(buffer, wire::encodeRemoteOn(module, value, buffer, sizeof buffer));
}

VONTRA_API int vontra_remote_non_stop(int handle, int value)
{
    const auto link = find(handle);
    if (!link)
        return -1;
    uint8_t buffer[wire::kMaxDatagram];
    return link->send(buffer, wire::encodeRemoteNonStop(value, buffer, sizeof buffer));
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
