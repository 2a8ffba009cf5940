// Shared by the console-link library's tests: datagrams built by hand, byte by
// byte, from the documented format; UDP sockets of the test's own through the
// library's sockets layer (netio.h), so that the tests run wherever the
// library does; a recorder of callbacks; and the test as the console, with a
// link opened towards it.
#pragma once

#include "netio.h"
#include "vontra.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace linktest {

namespace net = vontra::net;

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMagic = 0x564E5452;
constexpr uint8_t kEvent = 1, kRequest = 2, kRemoteOn = 3, kRemoteNonStop = 4;

// Payload words per event id, as the display reads them.
inline int payloadWords(int32_t id)
{
    switch (id) {
    case 73:
        return 24;
    case 75:
        return 4;
    case 96:
    case 98:
    case 100:
    case 111:
        return 8;
    case 104:
        return 2;
    case 101:
    case 102:
    case 105:
    case 107:
    case 112:
        return 1;
    default:
        return -1;
    }
}

inline void put32(Bytes &b, uint32_t v)
{
    b.push_back(uint8_t(v >> 24));
    b.push_back(uint8_t(v >> 16));
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

struct Header
{
    uint32_t magic = kMagic;
    uint8_t version = 1;
    int lengthAdjust = 0; // added to the true length in the length field
};

inline Bytes datagram(uint8_t kind, const std::vector<uint32_t> &body, Header h = {})
{
    Bytes b;
    put32(b, h.magic);
    b.push_back(h.version);
    b.push_back(kind);
    const int length = int(8 + 4 * body.size()) + h.lengthAdjust;
    b.push_back(uint8_t(length >> 8));
    b.push_back(uint8_t(length));
    for (uint32_t w : body)
        put32(b, w);
    return b;
}

inline uint32_t floatBits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

inline Bytes eventDatagram(int32_t id, const std::vector<int32_t> &words)
{
    std::vector<uint32_t> body{uint32_t(id)};
    for (int32_t w : words)
        body.push_back(uint32_t(w));
    return datagram(kEvent, body);
}

inline Bytes meters(const std::vector<float> &levels)
{
    std::vector<uint32_t> body{128};
    for (float f : levels)
        body.push_back(floatBits(f));
    return datagram(kEvent, body);
}

inline bool isV6(const char *address)
{
    return std::strchr(address, ':') != nullptr;
}

inline net::Address makeAddress(const char *address, uint16_t port)
{
    net::Address a;
    if (net::startUp())
        net::resolve(address, port, a);
    return a;
}

// A plain UDP socket of the test's own.
class Udp
{
public:
    Udp() = default;
    Udp(const Udp &) = delete;
    Udp &operator=(const Udp &) = delete;
    ~Udp() { reset(); }

    bool bind(const char *address, uint16_t port = 0)
    {
        reset();
        socket = net::openUdp(makeAddress(address, port));
        net::Address local;
        if (socket == net::kNoSocket || !net::localAddress(socket, local) ||
            !waiter->open(socket)) {
            reset();
            return false;
        }
        boundPort = net::portOf(local);
        return true;
    }

    void reset()
    {
        net::close(socket);
        socket = net::kNoSocket;
        waiter = std::make_unique<net::Waiter>();
    }

    bool sendTo(const char *address, uint16_t port, const Bytes &data) const
    {
        return net::sendTo(socket, data.data(), data.size(), makeAddress(address, port));
    }

    // One datagram, or false after timeoutMs.
    bool receive(Bytes &out, net::Address *from = nullptr, int timeoutMs = 2000) const
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        uint8_t buffer[2048];
        for (;;) {
            const net::Received r = net::receive(socket, buffer, sizeof buffer);
            if (r.outcome == net::Received::Datagram) {
                out.assign(buffer, buffer + std::min(r.size, sizeof buffer));
                if (from != nullptr)
                    *from = r.from;
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            waiter->wait(int(left.count()));
        }
    }

    net::Socket socket = net::kNoSocket;
    std::unique_ptr<net::Waiter> waiter = std::make_unique<net::Waiter>();
    uint16_t boundPort = 0;
};

// A port that was free a moment ago, for the library to bind.
inline uint16_t freePort(const char *any = "0.0.0.0")
{
    Udp probe;
    return probe.bind(any) ? probe.boundPort : 0;
}

struct Record
{
    int32_t id = 0;
    std::vector<int32_t> words;
    std::vector<float> levels;
    std::thread::id thread;
};

// Collects the callbacks of one link.
struct Recorder
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Record> records;
    std::atomic<bool> closed{false};
    std::atomic<int> lateCalls{0};
    std::atomic<int> closeFromCallback{0}; // handle to close on the first event
    std::atomic<int> closeResult{1};
    std::atomic<int> portAfterClose{0}; // bound again right after that close
    std::atomic<bool> portFreeAfterClose{false};

    static void callback(const vontra_event *e, void *user)
    {
        auto *self = static_cast<Recorder *>(user);
        if (self->closed.load())
            self->lateCalls.fetch_add(1);
        Record r;
        r.id = e->id;
        r.thread = std::this_thread::get_id();
        if (e->id == 128) {
            const auto *f = static_cast<const float *>(e->payload);
            r.levels.assign(f, f + std::min<uint32_t>(e->reserved, 64));
        } else if (payloadWords(e->id) > 0) {
            const auto *w = static_cast<const int32_t *>(e->payload);
            r.words.assign(w, w + payloadWords(e->id));
        }
        if (const int h = self->closeFromCallback.exchange(0)) {
            self->closeResult.store(vontra_close(h));
            Udp again;
            self->portFreeAfterClose.store(again.bind("0.0.0.0", uint16_t(self->portAfterClose)));
        }
        std::lock_guard<std::mutex> lock(self->mutex);
        self->records.push_back(std::move(r));
        self->changed.notify_all();
    }

    bool waitFor(std::size_t count, int timeoutMs = 2000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return records.size() >= count; });
    }

    std::vector<Record> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return records;
    }
};

// The test as the console: its socket is the console's transmit port, and the
// library under test is opened towards it.
struct Console
{
    Recorder rec; // outlives the link, which is closed first
    Udp socket;
    uint16_t recvPort = 0;
    int handle = 0;
    const char *address = "127.0.0.1";

    bool open(const char *consoleAddress = "127.0.0.1", const char *hostArgument = nullptr,
              bool useHostArgument = false)
    {
        address = consoleAddress;
        if (!socket.bind(address))
            return false;
        // The free port may be taken between probing and binding; try again.
        for (int attempt = 0; attempt < 5 && handle == 0; ++attempt) {
            recvPort = freePort(isV6(address) ? "::" : "0.0.0.0");
            handle =
                vontra_open(useHostArgument ? hostArgument : address, recvPort, socket.boundPort);
        }
        return handle != 0;
    }

    ~Console() { vontra_close(handle); }

    bool send(const Bytes &data) const { return socket.sendTo(address, recvPort, data); }

    bool listen() { return vontra_register_callback(handle, &Recorder::callback, &rec) == 0; }
};

} // namespace linktest
