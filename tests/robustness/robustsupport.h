// Shared tools of the robustness tests: memory and responsiveness probes,
// a sender that plays any loopback address and port, and the pictures the
// display is expected to show for a console state.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QTimer>

#include "vontra_wire.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace robust {

// Resident memory of this process in kilobytes, or -1.
inline long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QString text = QString::fromLatin1(status.readAll());
    const QRegularExpression line(QStringLiteral("VmRSS:\\s+(\\d+) kB"));
    const auto match = line.match(text);
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}

// Open descriptors of this process, or -1.
inline int openDescriptors()
{
    const QDir dir(QStringLiteral("/proc/self/fd"));
    return dir.exists() ? int(dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()) : -1;
}

// Threads of this process with this name.
inline int threadsNamed(const QByteArray &name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    int count = 0;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        count += comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name ? 1 : 0;
    }
    return count;
}

// A 10 ms timer on the GUI thread that records how late it ever fired: a
// busy or flooded GUI thread shows up as lateness.
class LatenessProbe : public QObject
{
public:
    static constexpr int kIntervalMs = 10;

    LatenessProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(kIntervalMs);
        connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = clock.nsecsElapsed();
            const qint64 lateNs = now - last - qint64(kIntervalMs) * 1000000;
            if (lateNs > worstNs)
                worstNs = lateNs;
            last = now;
            ++ticks;
        });
    }
    void start()
    {
        worstNs = 0;
        ticks = 0;
        clock.start();
        last = clock.nsecsElapsed();
        timer.start();
    }
    void stop() { timer.stop(); }
    double worstMs() const { return double(worstNs) / 1e6; }

    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worstNs = 0;
    int ticks = 0;
};

// Sends UDP datagrams to a loopback port from any loopback address and port,
// including one that another socket already owns: the datagrams are built
// with their own IP header on a raw socket. Needs root (CAP_NET_RAW).
class ForgedSender
{
public:
    ForgedSender() { fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW); }
    ~ForgedSender()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ForgedSender(const ForgedSender &) = delete;
    ForgedSender &operator=(const ForgedSender &) = delete;

    bool ok() const { return fd >= 0; }

    // from and to are host-order IPv4 addresses, which must be loopback.
    bool send(uint32_t from, uint16_t fromPort, uint32_t to, uint16_t toPort, const uint8_t *data,
              std::size_t size)
    {
        if (fd < 0 || (from >> 24) != 127 || (to >> 24) != 127 || size > 1400)
            return false;
        uint8_t packet[1500];
        auto *ip = reinterpret_cast<iphdr *>(packet);
        auto *udp = reinterpret_cast<udphdr *>(packet + sizeof(iphdr));
        std::memset(packet, 0, sizeof(iphdr) + sizeof(udphdr));
        const std::size_t total = sizeof(iphdr) + sizeof(udphdr) + size;
        ip->version = 4;
        ip->ihl = 5;
        ip->ttl = 8;
        ip->protocol = IPPROTO_UDP;
        ip->tot_len = htons(uint16_t(total));
        ip->saddr = htonl(from);
        ip->daddr = htonl(to);
        // The kernel fills in the IP checksum and id; a UDP checksum of 0
        // means "none" on IPv4.
        udp->source = htons(fromPort);
        udp->dest = htons(toPort);
        udp->len = htons(uint16_t(sizeof(udphdr) + size));
        std::memcpy(packet + sizeof(iphdr) + sizeof(udphdr), data, size);
        sockaddr_in dest{};
        dest.sin_family = AF_INET;
        dest.sin_addr.s_addr = htonl(to);
        return ::sendto(fd, packet, total, 0, reinterpret_cast<const sockaddr *>(&dest),
                        sizeof dest) == ssize_t(total);
    }

private:
    int fd = -1;
};

// Brings up the loopback interface of a fresh network namespace.
inline bool loopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = short(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

// Moves the calling thread, and every thread it starts from now on, into a
// network namespace of its own with only a loopback interface: a host name
// to look up then cannot send a query off this machine. Needs root; false
// when not possible.
inline bool isolateNetwork()
{
    return ::unshare(CLONE_NEWNET) == 0 && loopbackUp();
}

// Moves this process into a network namespace with only a loopback interface
// and a mount namespace in which /etc/hosts and /etc/resolv.conf are the two
// files given, so that a test decides what a host name lookup finds and how
// the name servers answer. Must run before the process starts any thread.
// Needs root; false when not possible.
inline bool isolateLookups(const char *hostsFile, const char *resolverFile)
{
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        return false;
    // Mounts made here stay here.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    return ::mount(hostsFile, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(resolverFile, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0 &&
           loopbackUp();
}

constexpr uint32_t kLoopback = 0x7f000001;  // 127.0.0.1
constexpr uint32_t kLoopback2 = 0x7f000002; // 127.0.0.2

// A plain UDP socket bound to a loopback address and port (0: any free one).
inline int boundUdpSocket(uint32_t address, uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool sendUdp(int fd, uint32_t to, uint16_t toPort, const uint8_t *data, std::size_t size)
{
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_addr.s_addr = htonl(to);
    dest.sin_port = htons(toPort);
    return ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr *>(&dest), sizeof dest) ==
           ssize_t(size);
}

// The answer of a console that has just started to a request for id: the
// event of that id with every word zero. An answered request is not asked
// again.
inline std::vector<uint8_t> freshStateEvent(int32_t id)
{
    const int32_t zeros[vontra::wire::kMaxWords] = {};
    std::vector<uint8_t> out(vontra::wire::kMaxDatagram);
    out.resize(
        vontra::wire::encodeEvent(id, zeros, vontra::wire::eventWords(id), out.data(), out.size()));
    return out;
}

// A meter event with these six levels (dB).
inline std::vector<uint8_t> meterEvent(const float (&levels)[6])
{
    int32_t words[6];
    std::memcpy(words, levels, sizeof words);
    std::vector<uint8_t> out(vontra::wire::kMaxDatagram);
    out.resize(vontra::wire::encodeEvent(128, words, 6, out.data(), out.size()));
    return out;
}

// Style sheet of a module key and of a lamp, as the display sets them.
inline QString moduleStyle(int index, int code)
{
    const char *colour = code == 1 ? "red" : code == 2 ? "green" : "grey";
    return QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/sunken/%1-%2.png);")
        .arg(index + 1)
        .arg(QLatin1String(colour));
}

inline QString lampStyle(const char *word, bool active)
{
    return QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/signals/%1-%2.png);")
        .arg(QLatin1String(word), QLatin1String(active ? "active" : "inactive"));
}

} // namespace robust
