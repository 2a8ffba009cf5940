// Stand-in console-link library: the C interface of vontra.h over plain UDP.
//
// A handle names one open link (link.h): its socket on the receive port and
// the receive thread that reads it. docs/protocol.md describes the wire
// format; netio.h the little this needs from the system's sockets.

#include "vontra.h"
#include "link.h"
#include "logwriter.h"
#include "netio.h"
#include "vontra_wire.h"

#include <chrono>
#include <climits>
#include <map>
#include <memory>
#include <mutex>

namespace {

namespace wire = vontra::wire;
namespace net = vontra::net;
using vontra::link::Link;

const char kVersionText[] = "Vontra console link (stand-in) 1.0.0";

// How long closing waits for the link's last diagnostic lines to be written.
constexpr std::chrono::milliseconds kLogFlushOnClose{100};

// A host text that cannot be a name or an address: refused at the open.
bool plainlyNoHost(const char *host)
{
    for (const char *c = host; c != nullptr && *c != '\0'; ++c)
        if (static_cast<unsigned char>(*c) <= ' ' || *c == 0x7f)
            return true;
    return false;
}

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

bool validPort(int port)
{
    return port >= 1 && port <= 65535;
}

int openLink(const char *host, int recvPort, int sendPort)
{
    if (!validPort(recvPort) || !validPort(sendPort) || plainlyNoHost(host) || !net::startUp())
        return 0;
    auto link = std::make_shared<Link>(host, recvPort, sendPort);
    if (!link->openSocket())
        return 0; // the destructor closes what was opened

    Table &t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.lastHandle == INT_MAX)
        return 0; // handles are never reused
    const int handle = t.lastHandle + 1;
    link->start(handle);
    t.lastHandle = handle;
    t.links.emplace(handle, link);
    return handle;
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
    link->close();
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
    link->setLogging(on != 0);
    return 0;
}

VONTRA_API int vontra_register_callback(int handle, vontra_callback callback, void *user)
{
    const auto link = find(handle);
    if (!link)
        return -1;
    link->setCallback(callback, user);
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
