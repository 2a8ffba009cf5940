// The few things the link needs from the system's sockets, behind one small
// interface: UDP sockets, console addresses, and a wait on a socket that another
// thread can cut short. netio_posix.cpp and netio_winsock.cpp implement it for
// POSIX sockets and Winsock 2; the build picks one. Internal to the library.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

#include <cstddef>
#include <cstdint>
#include <string>

namespace vontra::net {

#if defined(_WIN32)
using Socket = SOCKET;
using AddressLength = int;
constexpr Socket kNoSocket = INVALID_SOCKET;
#else
using Socket = int;
using AddressLength = socklen_t;
constexpr Socket kNoSocket = -1;
#endif

// An IPv4 or IPv6 address with its port.
struct Address
{
    sockaddr_storage storage{};
    AddressLength length = 0;

    int family() const { return storage.ss_family; }
};

// Makes the sockets interface usable in this process; false when it cannot be.
// The first call sets it up and later calls only look; it is released once,
// when the process ends.
bool startUp();

// The console's address: an empty or missing host is this machine (127.0.0.1);
// a name with IPv4 and IPv6 addresses gives the first IPv4 one, which is what
// a console on the local network answers from. A name may take as long as
// the system's name service takes; why says what failed.
bool resolve(const char *host, int port, Address &out, std::string *why = nullptr);
// The same for a host given as a numeric address (or none), without asking
// any name service; false for a name.
bool resolveNumeric(const char *host, int port, Address &out);
// An IPv4 address as the IPv4-mapped IPv6 address that a socket taking both
// families uses for it; any other address as it is.
Address mappedToIpv6(const Address &address);
// Every local address of the family (AF_INET or AF_INET6), with this port.
Address anyAddress(int family, uint16_t port);
uint16_t portOf(const Address &address);
// "192.0.2.1 port 19551".
std::string addressText(const Address &address);
// Same family, address and port.
bool sameEndpoint(const Address &a, const Address &b);

// A UDP socket bound on the local address given (no address reuse: a port
// that is taken fails), not inherited by child processes, on which receive()
// never blocks. With bothFamilies, an IPv6 socket also takes IPv4 (mapped
// addresses). kNoSocket when any step fails.
Socket openUdp(const Address &local, bool bothFamilies = false);
void close(Socket socket);
// The address a socket is bound on (its port, when the system chose it).
bool localAddress(Socket socket, Address &out);

// Sends one datagram; false when it did not leave whole (lastErrorText() says why).
bool sendTo(Socket socket, const void *data, std::size_t size, const Address &to);
std::string lastErrorText();

struct Received
{
    enum Outcome {
        Datagram, // size bytes from `from`; truncated when it did not fit
        Drained,  // nothing more to read now
        Ignored,  // an error that concerns no datagram of ours: keep reading
        Failed,   // an error: read again after the next wait
    };
    Outcome outcome = Failed;
    std::size_t size = 0;
    bool truncated = false;
    Address from;
};

// Takes one datagram without blocking. Errors are classified, never fatal:
// an earlier send's "port unreachable" that some systems report on the next
// receive is Ignored.
Received receive(Socket socket, void *buffer, std::size_t capacity);

// Waits until a socket has something to read, another thread calls wake(), or
// the time is up. One Waiter serves one socket and one waiting thread; wake()
// may come from any thread, also before the wait begins (it is then not lost).
class Waiter
{
public:
    struct Result
    {
        bool readable = false; // receive() has something (data or an error)
        bool woken = false;    // wake() was called; consumed by this wait
        bool failed = false;   // the wait itself failed
    };

    Waiter() = default;
    ~Waiter();
    Waiter(const Waiter &) = delete;
    Waiter &operator=(const Waiter &) = delete;

    bool open(Socket socket);
    // timeoutMs < 0 waits without a limit.
    Result wait(int timeoutMs);
    void wake();

private:
    Socket socket_ = kNoSocket;
#if defined(_WIN32)
    HANDLE readable_ = nullptr;
    HANDLE wake_ = nullptr;
#else
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
#endif
};

// Names the calling thread for the system's tools (top, debuggers), where
// the system has such names.
void nameThisThread(const char *name);

namespace testing {
// Stands in for network errors a test cannot provoke on this machine: when
// set, it is called after each datagram receive() takes, and a non-zero result
// is reported as that system error instead (the datagram is lost).
using ReceiveFault = int (*)();
void setReceiveFault(ReceiveFault fault);
// The error some systems report on the next receive after a datagram was
// refused with "port unreachable" (Winsock: WSAECONNRESET).
extern const int kConnectionReset;
} // namespace testing

namespace detail {
// Shared by the two implementations: the error the test seam wants reported
// next (0: none).
int takeFault();
// Each implementation's own: one non-blocking recvfrom, 0 or the system's
// error code (size is more than capacity when the datagram did not fit), and
// what an error code means for the reader.
int receiveFrom(Socket socket, void *buffer, std::size_t capacity, Address &from,
                std::size_t &size);
Received::Outcome classify(int error);
} // namespace detail

} // namespace vontra::net
