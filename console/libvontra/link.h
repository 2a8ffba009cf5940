// One open link to the console: the UDP socket bound on the receive port,
// used both to receive the console's events and to send requests and remote
// commands to the console's transmit port, and the receive thread that reads
// it. That thread decodes datagrams and calls the registered callback; it
// also looks up a console host given by name, sends again the requests whose
// answer was lost, and otherwise sleeps until a datagram or a wake-up
// arrives. Nothing here waits for the network in the caller's thread, and
// nothing waits for standard error (logwriter.h). Internal to the library.
#pragma once

#include "datagram.h"
#include "namelookup.h"
#include "netio.h"
#include "requesttracker.h"
#include "vontra.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vontra::link {

class Link : public std::enable_shared_from_this<Link>
{
public:
    using Clock = std::chrono::steady_clock;

    Link(const char *host, int recvPort, int sendPort);
    ~Link();
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // Binds the receive port; false when that fails (a port that is taken).
    bool openSocket();
    // Starts the receive thread of an open socket; handle names the link in
    // its diagnostic lines. Throws std::system_error when there is no thread.
    void start(int handle);
    // Stops the receive thread and closes the socket: the receive port is free
    // once this returns. No callback runs after that, unless it is called from
    // inside the callback, which then finishes on its own.
    void close();

    void setLogging(bool on);
    bool isLogging() const { return logging_.load(std::memory_order_relaxed); }
    void setCallback(vontra_callback callback, void *user);

    // Sends to the console. Before its name resolves a request waits for it
    // and a remote command is dropped (-1). A request is followed until its
    // answer comes (RequestTracker).
    int send(const uint8_t *data, std::size_t size, bool request, int id);

private:
    void run();
    int sleepFor(Clock::time_point now);

    // Receiving.
    void readDatagrams(uint8_t *buffer, std::size_t capacity);
    void handleDatagram(const uint8_t *data, std::size_t size, const net::Address &from);
    void drop(int reason, const net::Address *from);
    void flushDropReports(Clock::time_point now);
    void dropWhileUnknown(int reason, const net::Address *from, Clock::time_point now);
    void reportUnknownDrops(Clock::time_point now);
    unsigned long droppedTotal() const;
    void logTotals();

    // The console's name.
    bool consoleKnown();
    void lookForConsole(Clock::time_point now);
    void lookupFailed(const std::string &why, Clock::time_point now);
    bool becomeKnown(const net::Address &found, Clock::time_point now);

    // Sending.
    int keep(int id);
    bool sendRequest(int id, const net::Address &to);
    bool transmit(const uint8_t *data, std::size_t size, const net::Address &to);
    void sendDueRequestsAgain(Clock::time_point now);

    bool openSocket(int family, bool bothFamilies);
    void closeSocket();

    const std::string host_;
    const int recvPort_;
    const int sendPort_;
    int handle_ = 0;
    // Senders on any thread hold socketMutex_ while they use the socket, and
    // close takes it to end the socket; the receive thread reads it without,
    // as it has ended (or is the closing thread) by then.
    std::mutex socketMutex_;
    net::Socket socket_ = net::kNoSocket;
    int socketFamily_ = 0;
    net::Waiter waiter_; // on the socket; closing and lookups wake the receive thread
    std::thread thread_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> logging_{false};

    // The callback and its user pointer change together.
    std::mutex callbackMutex_;
    vontra_callback callback_ = nullptr;
    void *user_ = nullptr;

    // The console's address, known from the open for a numeric host and
    // otherwise set once by the receive thread when the name resolves, and
    // the requests: the ids that wait for the name and those whose answer
    // has not come. The receive thread, the only one that
    // changes `known_` and `console_`, reads them without the lock.
    std::mutex outMutex_;
    bool known_ = false;
    net::Address console_;
    std::vector<int> waiting_;
    RequestTracker tracker_;

    // Looking up the name: receive thread only.
    lookup::Lookup lookup_;
    Clock::time_point nextLookup_ = Clock::now();
    int failedLookups_ = 0;

    // Only the receive thread writes these; the totals are read at close.
    std::atomic<unsigned long> received_{0};
    std::atomic<unsigned long> delivered_{0};
    std::atomic<unsigned long> resent_{0};
    std::atomic<unsigned long> dropped_[receive::DropCount] = {};

    // Drop-report rate limit, used by the receive thread only.
    Clock::time_point windowStart_ = Clock::now();
    int reportedInWindow_ = 0;
    unsigned long suppressedInWindow_ = 0;
    // The same while the console's name does not resolve.
    bool unknownDropReported_ = false;
    unsigned long unknownDrops_ = 0;
    Clock::time_point nextUnknownCount_;

    // Send failures are reported at most once a second, from any thread.
    std::mutex sendReportMutex_;
    Clock::time_point lastSendReport_{};
    unsigned long sendFailuresUnreported_ = 0;
};

} // namespace vontra::link
