// The sockets layer over POSIX sockets; the wake-up is a pipe.
#include "netio.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vontra::net {

const int testing::kConnectionReset = ECONNREFUSED;

bool startUp()
{
    return true;
}

void nameThisThread(const char *name)
{
#if defined(__linux__)
    ::pthread_setname_np(::pthread_self(), name); // at most 15 characters
#else
    (void)name;
#endif
}

Socket openUdp(const Address &local, bool bothFamilies)
{
    const Socket s = ::socket(local.family(), SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return kNoSocket;
    const int v6Only = bothFamilies ? 0 : 1;
    if (local.family() == AF_INET6 &&
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) != 0) {
        ::close(s);
        return kNoSocket;
    }
    if (::bind(s, reinterpret_cast<const sockaddr *>(&local.storage), local.length) != 0) {
        ::close(s);
        return kNoSocket;
    }
    return s;
}

void close(Socket socket)
{
    if (socket >= 0)
        ::close(socket);
}

bool sendTo(Socket socket, const void *data, std::size_t size, const Address &to)
{
    const ssize_t n =
        ::sendto(socket, data, size, 0, reinterpret_cast<const sockaddr *>(&to.storage), to.length);
    return n == ssize_t(size);
}

std::string lastErrorText()
{
    return std::strerror(errno);
}

int detail::receiveFrom(Socket socket, void *buffer, std::size_t capacity, Address &from,
                        std::size_t &size)
{
    // MSG_TRUNC: the real size even when the datagram did not fit.
    const ssize_t n = ::recvfrom(socket, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr *>(&from.storage), &from.length);
    if (n < 0)
        return errno;
    size = std::size_t(n);
    return 0;
}

Received::Outcome detail::classify(int error)
{
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return Received::Drained;
    case EINTR:
    case ECONNREFUSED:
        return Received::Ignored;
    default:
        return Received::Failed;
    }
}

Waiter::~Waiter()
{
    for (int f : {wakeRead_, wakeWrite_}) {
        if (f >= 0)
            ::close(f);
    }
}

bool Waiter::open(Socket socket)
{
    socket_ = socket;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    return true;
}

Waiter::Result Waiter::wait(int timeoutMs)
{
    Result result;
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready < 0) {
        result.failed = errno != EINTR;
        return result;
    }
    // Any event on the socket counts: a pending socket error is cleared by
    // the next receive instead of waking poll over and over.
    result.readable = fds[0].revents != 0;
    if (fds[1].revents != 0) {
        result.woken = true;
        char drain[64];
        while (::read(wakeRead_, drain, sizeof drain) > 0) {
        }
    }
    return result;
}

void Waiter::wake()
{
    const char byte = 1;
    if (::write(wakeWrite_, &byte, 1) < 0) {
        // Full: a wake-up is already pending, which is all this adds.
    }
}

} // namespace vontra::net
