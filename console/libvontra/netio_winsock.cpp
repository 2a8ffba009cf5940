// The sockets layer over Winsock 2. The wait is on two kernel events: one that
// Winsock sets when the socket has something to read (WSAEventSelect), and one
// that wake() sets.
#include "netio.h"

#include <mswsock.h>

namespace vontra::net {

const int testing::kConnectionReset = WSAECONNRESET;

namespace {

// Winsock counts start-ups per process; the library takes exactly one, on first
// use, and gives it back when it is unloaded, however many links came and went.
class Session
{
public:
    Session()
    {
        WSADATA data;
        ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Session()
    {
        if (ok)
            ::WSACleanup();
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool ok = false;
};

Socket newSocket(int family)
{
    Socket s = ::WSASocketW(family, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
        // Systems without the flag: clear the inheritance afterwards.
        s = ::WSASocketW(family, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        if (s != INVALID_SOCKET)
            ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    }
    return s;
}

} // namespace

bool startUp()
{
    static Session session;
    return session.ok;
}

void nameThisThread(const char *)
{
    // Thread descriptions exist only from Windows 10 on; not worth the lookup.
}

Socket openUdp(const Address &local, bool bothFamilies)
{
    const Socket s = newSocket(local.family());
    if (s == INVALID_SOCKET)
        return kNoSocket;
    // Windows makes IPv6 sockets IPv6-only unless told otherwise.
    const DWORD v6Only = bothFamilies ? 0 : 1;
    if (local.family() == AF_INET6 &&
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char *>(&v6Only),
                     sizeof v6Only) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    // Nobody else may bind the port while the link has it, not even with
    // SO_REUSEADDR.
    const BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&on),
                 sizeof on);
    // Without this, a "port unreachable" for an earlier send (the console not
    // yet running) fails the next receive with WSAECONNRESET. receive() takes
    // that error in its stride anyway, for systems that ignore the option.
    BOOL reportResets = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &reportResets, sizeof reportResets, nullptr, 0, &returned,
               nullptr, nullptr);
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr *>(&local.storage), local.length) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    return s;
}

void close(Socket socket)
{
    if (socket != kNoSocket)
        ::closesocket(socket);
}

bool sendTo(Socket socket, const void *data, std::size_t size, const Address &to)
{
    const int n = ::sendto(socket, static_cast<const char *>(data), int(size), 0,
                           reinterpret_cast<const sockaddr *>(&to.storage), to.length);
    return n == int(size);
}

std::string lastErrorText()
{
    return "Winsock error " + std::to_string(::WSAGetLastError());
}

int detail::receiveFrom(Socket socket, void *buffer, std::size_t capacity, Address &from,
                        std::size_t &size)
{
    const int n = ::recvfrom(socket, static_cast<char *>(buffer), int(capacity), 0,
                             reinterpret_cast<sockaddr *>(&from.storage), &from.length);
    if (n != SOCKET_ERROR) {
        size = std::size_t(n);
        return 0;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEMSGSIZE) {
        // Winsock keeps what fits and discards the rest without telling its size.
        size = capacity + 1;
        return 0;
    }
    return error;
}

Received::Outcome detail::classify(int error)
{
    switch (error) {
    case WSAEWOULDBLOCK:
        return Received::Drained;
    case WSAECONNRESET: // "port unreachable" for an earlier send
    case WSAENETRESET:  // "time to live expired" for an earlier send
    case WSAEINTR:
        return Received::Ignored;
    default:
        return Received::Failed;
    }
}

Waiter::~Waiter()
{
    // The socket's association with the event ends when the socket is closed.
    if (readable_ != nullptr)
        ::WSACloseEvent(readable_);
    if (wake_ != nullptr)
        ::CloseHandle(wake_);
}

bool Waiter::open(Socket socket)
{
    socket_ = socket;
    readable_ = ::WSACreateEvent();
    if (readable_ == WSA_INVALID_EVENT) {
        readable_ = nullptr;
        return false;
    }
    // Auto-reset: a wake-up is consumed by the wait that sees it.
    wake_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return wake_ != nullptr && ::WSAEventSelect(socket, readable_, FD_READ) == 0;
}

Waiter::Result Waiter::wait(int timeoutMs)
{
    Result result;
    const HANDLE events[2] = {readable_, wake_};
    const DWORD which =
        ::WaitForMultipleObjects(2, events, FALSE, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    if (which == WAIT_TIMEOUT)
        return result;
    if (which != WAIT_OBJECT_0 && which != WAIT_OBJECT_0 + 1) {
        result.failed = true;
        return result;
    }
    // Satisfying the wait reset the wake-up event already; look at the other.
    result.woken = which == WAIT_OBJECT_0 + 1 || ::WaitForSingleObject(wake_, 0) == WAIT_OBJECT_0;
    result.readable = ::WaitForSingleObject(readable_, 0) == WAIT_OBJECT_0;
    if (result.readable) {
        // Reset before the reads: each recvfrom re-arms the event while data
        // is left, so nothing that arrives from now on is missed.
        ::WSAResetEvent(readable_);
    }
    return result;
}

void Waiter::wake()
{
    ::SetEvent(wake_);
}

} // namespace vontra::net
