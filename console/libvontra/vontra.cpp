// Stand-in console-link library: the C interface of vontra.h over plain UDP.
//
// Each open link owns one UDP socket, bound on the receive port, which is used
// both to receive the console's events and to send requests and remote
// commands to the console's transmit port. A receive thread per link decodes
// datagrams and calls the registered callback. docs/protocol.md describes the
// wire format.

#include "vontra.h"
#include "datagram.h"
#include "vontra_wire.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

namespace wire = vontra::wire;
using namespace vontra::receive;
using Clock = std::chrono::steady_clock;

const char kVersionText[] = "Vontra console link (stand-in) 1.0.0";

// How long the receive thread sleeps at most; bounds the latency of the
// once-per-second drop summary (closing wakes it at once through the pipe).
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

std::string addressText(const sockaddr_storage &address)
{
    char host[INET6_ADDRSTRLEN] = "?";
    unsigned port = 0;
    if (address.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(address);
        inet_ntop(AF_INET, &in.sin_addr, host, sizeof host);
        port = ntohs(in.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(address);
        inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
        port = ntohs(in6.sin6_port);
    }
    return std::string(host) + " port " + std::to_string(port);
}

bool sameSender(const sockaddr_storage &a, socklen_t aLength, const sockaddr_storage &b)
{
    if (a.ss_family != b.ss_family)
        return false;
    if (a.ss_family == AF_INET) {
        if (aLength < socklen_t(sizeof(sockaddr_in)))
            return false;
        const auto &x = reinterpret_cast<const sockaddr_in &>(a);
        const auto &y = reinterpret_cast<const sockaddr_in &>(b);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    if (a.ss_family == AF_INET6) {
        if (aLength < socklen_t(sizeof(sockaddr_in6)))
            return false;
        const auto &x = reinterpret_cast<const sockaddr_in6 &>(a);
        const auto &y = reinterpret_cast<const sockaddr_in6 &>(b);
        return x.sin6_port == y.sin6_port &&
               std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
    }
    return false;
}

struct Link
{
    int handle = 0;
    int fd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    int recvPort = 0;
    sockaddr_storage console{};
    socklen_t consoleLength = 0;
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
        for (int f : {fd, wakeRead, wakeWrite}) {
            if (f >= 0)
                ::close(f);
        }
    }

    void drop(int reason, const sockaddr_storage *from)
    {
        dropped[reason].fetch_add(1, std::memory_order_relaxed);
        if (!logging.load(std::memory_order_relaxed))
            return;
        if (reportedInWindow < kDropReportsPerSecond) {
            ++reportedInWindow;
            if (from != nullptr)
                logLine("link %d: dropped datagram from %s: %s", handle, addressText(*from).c_str(),
                        dropText(reason));
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

    void handleDatagram(const uint8_t *data, std::size_t size, const sockaddr_storage &from,
                        socklen_t fromLength)
    {
        received.fetch_add(1, std::memory_order_relaxed);
        // The sender is checked first: nothing from elsewhere is even decoded.
        if (!sameSender(from, fromLength, console)) {
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
        // one is recognised; MSG_TRUNC reports its real size anyway.
        uint8_t buffer[wire::kMaxDatagram + 1];
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        while (!stop.load()) {
            fds[0].revents = fds[1].revents = 0;
            const int ready = ::poll(fds, 2, kPollMs);
            if (stop.load())
                break;
            // Any event on the socket is read: a pending socket error is
            // cleared by the read instead of waking poll over and over.
            if (ready > 0 && fds[0].revents != 0) {
                for (int i = 0; i < kBurst && !stop.load(); ++i) {
                    sockaddr_storage from{};
                    socklen_t fromLength = sizeof from;
                    const ssize_t n =
                        ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC,
                                   reinterpret_cast<sockaddr *>(&from), &fromLength);
                    if (n < 0)
                        break; // EAGAIN: drained; other errors: try again after poll
                    if (std::size_t(n) > wire::kMaxDatagram) {
                        received.fetch_add(1, std::memory_order_relaxed);
                        drop(DropOversized, &from);
                        continue;
                    }
                    handleDatagram(buffer, std::size_t(n), from, fromLength);
                }
            } else if (ready < 0 && errno != EINTR) {
                // Should not happen with valid descriptors; avoid spinning.
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
        const ssize_t n = ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr *>(&console),
                                   consoleLength);
        if (n != ssize_t(size)) {
            if (logging.load(std::memory_order_relaxed))
                logLine("link %d: sending to %s failed: %s", handle, addressText(console).c_str(),
                        std::strerror(errno));
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

// Resolves the console's address. A name with both an IPv4 and an IPv6
// address uses the IPv4 one, which is what a console on the local network
// answers from.
bool resolve(const char *host, int port, sockaddr_storage &out, socklen_t &outLength)
{
    const char *name = (host == nullptr || host[0] == '\0') ? "127.0.0.1" : host;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *list = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(name, service.c_str(), &hints, &list) != 0 || list == nullptr)
        return false;
    const addrinfo *chosen = nullptr;
    for (const addrinfo *a = list; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen == sizeof(sockaddr_in)) {
            chosen = a;
            break;
        }
        if (chosen == nullptr && a->ai_family == AF_INET6 && a->ai_addrlen == sizeof(sockaddr_in6))
            chosen = a;
    }
    if (chosen != nullptr) {
        std::memcpy(&out, chosen->ai_addr, chosen->ai_addrlen);
        outLength = chosen->ai_addrlen;
    }
    ::freeaddrinfo(list);
    return chosen != nullptr;
}

bool bindSocket(Link &link, int recvPort)
{
    const int family = link.console.ss_family;
    link.fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (link.fd < 0)
        return false;
    // Deliberately no SO_REUSEADDR: a port that is taken must fail the open.
    sockaddr_storage local{};
    socklen_t localLength;
    if (family == AF_INET) {
        auto &in = reinterpret_cast<sockaddr_in &>(local);
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_ANY);
        in.sin_port = htons(uint16_t(recvPort));
        localLength = sizeof in;
    } else {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(local);
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_any;
        in6.sin6_port = htons(uint16_t(recvPort));
        localLength = sizeof in6;
    }
    if (::bind(link.fd, reinterpret_cast<const sockaddr *>(&local), localLength) != 0)
        return false;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    link.wakeRead = pipeFds[0];
    link.wakeWrite = pipeFds[1];
    return true;
}

bool validPort(int port)
{
    return port >= 1 && port <= 65535;
}

int openLink(const char *host, int recvPort, int sendPort)
{
    if (!validPort(recvPort) || !validPort(sendPort))
        return 0;
    auto link = std::make_shared<Link>();
    link->recvPort = recvPort;
    if (!resolve(host, sendPort, link->console, link->consoleLength))
        return 0;
    if (!bindSocket(*link, recvPort))
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
    const char wake = 1;
    if (::write(link->wakeWrite, &wake, 1) < 0) {
        // The pipe is non-blocking and only ever holds this one byte; the
        // poll timeout ends the wait anyway.
    }
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
                addressText(link->console).c_str(), link->recvPort);
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
