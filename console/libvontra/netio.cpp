// The parts of the sockets layer that read the same on every system: names,
// addresses and the test seam.
#include "netio.h"

#if !defined(_WIN32)
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <atomic>
#include <cstring>

namespace vontra::net {

namespace {
std::atomic<testing::ReceiveFault> receiveFault{nullptr};
}

void testing::setReceiveFault(ReceiveFault fault)
{
    receiveFault.store(fault);
}

int detail::takeFault()
{
    const testing::ReceiveFault fault = receiveFault.load();
    return fault != nullptr ? fault() : 0;
}

namespace {

const char *hostOrThisMachine(const char *host)
{
    return (host == nullptr || host[0] == '\0') ? "127.0.0.1" : host;
}

// The first IPv4 address of the list, or else its first IPv6 one.
bool choose(const addrinfo *list, Address &out)
{
    const addrinfo *chosen = nullptr;
    for (const addrinfo *a = list; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen == sizeof(sockaddr_in)) {
            chosen = a;
            break;
        }
        if (chosen == nullptr && a->ai_family == AF_INET6 && a->ai_addrlen == sizeof(sockaddr_in6))
            chosen = a;
    }
    if (chosen == nullptr)
        return false;
    std::memcpy(&out.storage, chosen->ai_addr, chosen->ai_addrlen);
    out.length = AddressLength(chosen->ai_addrlen);
    return true;
}

bool lookUp(const char *host, int port, int flags, Address &out, std::string *why)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    addrinfo *list = nullptr;
    const std::string service = std::to_string(port);
    const int error = ::getaddrinfo(hostOrThisMachine(host), service.c_str(), &hints, &list);
    if (error != 0 || list == nullptr) {
        if (why != nullptr)
            *why = error != 0 ? ::gai_strerror(error) : "no address";
        return false;
    }
    const bool found = choose(list, out);
    ::freeaddrinfo(list);
    if (!found && why != nullptr)
        *why = "no IPv4 or IPv6 address";
    return found;
}

} // namespace

bool resolve(const char *host, int port, Address &out, std::string *why)
{
    return lookUp(host, port, 0, out, why);
}

bool resolveNumeric(const char *host, int port, Address &out)
{
    return lookUp(host, port, AI_NUMERICHOST, out, nullptr);
}

Address mappedToIpv6(const Address &address)
{
    if (address.family() != AF_INET)
        return address;
    const auto &in = reinterpret_cast<const sockaddr_in &>(address.storage);
    Address mapped;
    auto &in6 = reinterpret_cast<sockaddr_in6 &>(mapped.storage);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = in.sin_port;
    // ::ffff:a.b.c.d
    in6.sin6_addr.s6_addr[10] = 0xff;
    in6.sin6_addr.s6_addr[11] = 0xff;
    std::memcpy(&in6.sin6_addr.s6_addr[12], &in.sin_addr, 4);
    mapped.length = sizeof in6;
    return mapped;
}

Address anyAddress(int family, uint16_t port)
{
    Address any;
    if (family == AF_INET) {
        auto &in = reinterpret_cast<sockaddr_in &>(any.storage);
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_ANY);
        in.sin_port = htons(port);
        any.length = sizeof in;
    } else {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(any.storage);
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_any;
        in6.sin6_port = htons(port);
        any.length = sizeof in6;
    }
    return any;
}

uint16_t portOf(const Address &address)
{
    if (address.family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address.storage).sin_port);
    if (address.family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address.storage).sin6_port);
    return 0;
}

std::string addressText(const Address &address)
{
    char host[INET6_ADDRSTRLEN] = "?";
    if (address.family() == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(address.storage);
        ::inet_ntop(AF_INET, &in.sin_addr, host, sizeof host);
    } else if (address.family() == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(address.storage);
        ::inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
    }
    return std::string(host) + " port " + std::to_string(portOf(address));
}

bool localAddress(Socket socket, Address &out)
{
    out.length = sizeof out.storage;
    return ::getsockname(socket, reinterpret_cast<sockaddr *>(&out.storage), &out.length) == 0;
}

bool sameEndpoint(const Address &a, const Address &b)
{
    if (a.family() != b.family())
        return false;
    if (a.family() == AF_INET) {
        if (a.length < AddressLength(sizeof(sockaddr_in)))
            return false;
        const auto &x = reinterpret_cast<const sockaddr_in &>(a.storage);
        const auto &y = reinterpret_cast<const sockaddr_in &>(b.storage);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    if (a.family() == AF_INET6) {
        if (a.length < AddressLength(sizeof(sockaddr_in6)))
            return false;
        const auto &x = reinterpret_cast<const sockaddr_in6 &>(a.storage);
        const auto &y = reinterpret_cast<const sockaddr_in6 &>(b.storage);
        return x.sin6_port == y.sin6_port &&
               std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
    }
    return false;
}

Received receive(Socket socket, void *buffer, std::size_t capacity)
{
    Received r;
    r.from.length = sizeof r.from.storage;
    int error = detail::receiveFrom(socket, buffer, capacity, r.from, r.size);
    if (error == 0)
        error = detail::takeFault();
    if (error != 0) {
        r.outcome = detail::classify(error);
        return r;
    }
    r.outcome = Received::Datagram;
    r.truncated = r.size > capacity;
    return r;
}

} // namespace vontra::net
