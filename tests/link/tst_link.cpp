// The console-link library over loopback UDP. The test plays the console with
// its own socket; datagrams are built by hand here, byte by byte, so that the
// library is checked against the documented format rather than against the
// codec it shares with the simulator (linksupport.h).
#include "linksupport.h"

#include <QtTest>

#if defined(_WIN32)
#include <io.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace linktest;

namespace {

// Open file descriptors (on Windows, handles) of this process.
int openFileDescriptors()
{
#if defined(_WIN32)
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return int(count);
#else
    int count = 0;
    if (DIR *d = ::opendir("/proc/self/fd")) {
        while (::readdir(d) != nullptr)
            ++count;
        ::closedir(d);
    }
    return count;
#endif
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void versionText();
    void handlesAreDistinctAndNeverReused();
    void invalidHandlesDoNothing();
    void failedOpensLeaveNothingOpen();
    void emptyHostMeansThisMachine();
    void eventsReachCallbackOnLibraryThread();
    void eventsBeforeRegistrationAreDropped();
    void requestsAndRemoteCommandsOnTheWire();
    void malformedDatagramsAreDropped();
    void foreignSendersAreDropped();
    void ipv6Link();
    void noCallbackAfterCloseReturns();
    void closeFromInsideCallback();
    void callbackAndUserChangeTogether();
    void loggingIsPrefixedAndRateLimited();
};

void TestLink::versionText()
{
    const char *text = vontra_library_version(0);
    QVERIFY(text != nullptr);
    QVERIFY(QByteArray(text).startsWith("Vontra console link"));
}

void TestLink::handlesAreDistinctAndNeverReused()
{
    Console a, b;
    QVERIFY(a.open());
    QVERIFY(b.open());
    QVERIFY(a.handle != 0 && b.handle != 0);
    QVERIFY(a.handle != b.handle);

    const int old = a.handle;
    QCOMPARE(vontra_close(a.handle), 0);
    a.handle = vontra_open("127.0.0.1", a.recvPort, a.socket.boundPort);
    QVERIFY(a.handle != 0); // the port was released by the close
    QVERIFY(a.handle != old);
    QVERIFY(a.handle != b.handle);
}

void TestLink::invalidHandlesDoNothing()
{
    Console c;
    QVERIFY(c.open());
    const int closed = c.handle;
    QCOMPARE(vontra_close(closed), 0);
    c.handle = 0;

    for (int h : {0, -1, closed, closed + 100000}) {
        QCOMPARE(vontra_logging(h, 1), -1);
        QCOMPARE(vontra_register_callback(h, &Recorder::callback, nullptr), -1);
        QCOMPARE(vontra_request(h, 100), -1);
        QCOMPARE(vontra_remote_on(h, 0, 2), -1);
        QCOMPARE(vontra_remote_non_stop(h, 2), -1);
        QCOMPARE(vontra_close(h), -1);
    }
    // Nothing of the above reached the console.
    Bytes got;
    QVERIFY(!c.socket.receive(got, nullptr, 100));
}

void TestLink::failedOpensLeaveNothingOpen()
{
    Udp console;
    QVERIFY(console.bind("127.0.0.1"));
    Udp taken;
    QVERIFY(taken.bind("0.0.0.0"));
    const int sendPort = console.boundPort;
    const uint16_t free = freePort();

    const int before = openFileDescriptors();
    QCOMPARE(vontra_open("127.0.0.1", taken.boundPort, sendPort), 0);
    QCOMPARE(vontra_open("127.0.0.1", 0, sendPort), 0);
    QCOMPARE(vontra_open("127.0.0.1", 65536, sendPort), 0);
    QCOMPARE(vontra_open("127.0.0.1", -5, sendPort), 0);
    QCOMPARE(vontra_open("127.0.0.1", free, 0), 0);
    QCOMPARE(vontra_open("127.0.0.1", free, 70000), 0);
    QCOMPARE(vontra_open("127.0.0.1 junk", free, sendPort), 0);
    QCOMPARE(openFileDescriptors(), before);

    // A name is looked up on the link's own thread, so even one that never
    // resolves opens a link at once (tests/robustness/tst_host_lookup.cpp).
    const int named = vontra_open("no-such-host.invalid", free, sendPort);
    QVERIFY(named != 0);
    QCOMPARE(vontra_close(named), 0);

    // A port held by another link is just as taken.
    const int h = vontra_open("127.0.0.1", free, sendPort);
    QVERIFY(h != 0);
    QCOMPARE(vontra_open("127.0.0.1", free, sendPort), 0);
    QCOMPARE(vontra_close(h), 0);
}

void TestLink::emptyHostMeansThisMachine()
{
    for (const char *host : {static_cast<const char *>(nullptr), ""}) {
        Console c;
        QVERIFY(c.open("127.0.0.1", host, true));
        QCOMPARE(vontra_request(c.handle, 96), 0);
        Bytes got;
        QVERIFY(c.socket.receive(got));
        QCOMPARE(got, datagram(kRequest, {96}));
    }
}

void TestLink::eventsReachCallbackOnLibraryThread()
{
    Console c;
    QVERIFY(c.open());
    QVERIFY(c.listen());
    Recorder &rec = c.rec;

    const std::vector<int32_t> ids{73, 75, 96, 98, 100, 101, 102, 104, 105, 107, 111, 112};
    std::vector<std::vector<int32_t>> sent;
    for (int32_t id : ids) {
        std::vector<int32_t> words;
        for (int i = 0; i < payloadWords(id); ++i)
            words.push_back(i % 2 ? -(id * 1000 + i) : id * 1000 + i); // sign and byte order
        sent.push_back(words);
        QVERIFY(c.send(eventDatagram(id, words)));
    }
    const std::vector<float> six{-50.0f, -12.5f, 0.0f, 3.25f, -0.001f, 5.0f};
    std::vector<float> many(64);
    for (int i = 0; i < 64; ++i)
        many[i] = float(i) * -0.75f;
    QVERIFY(c.send(meters(six)));
    QVERIFY(c.send(meters(many)));

    QVERIFY(rec.waitFor(ids.size() + 2));
    const auto records = rec.snapshot();
    QCOMPARE(records.size(), ids.size() + 2);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        QCOMPARE(records[i].id, ids[i]);
        QCOMPARE(records[i].words, sent[i]);
    }
    QCOMPARE(records[ids.size()].id, 128);
    QCOMPARE(records[ids.size()].levels, six);
    QCOMPARE(records[ids.size() + 1].levels, many);

    for (const Record &r : records) {
        QVERIFY(r.thread != std::this_thread::get_id());
        QVERIFY(r.thread == records.front().thread);
    }
}

void TestLink::eventsBeforeRegistrationAreDropped()
{
    Console c;
    QVERIFY(c.open());
    QVERIFY(c.send(eventDatagram(101, {7})));
    Recorder &rec = c.rec;
    // Give the early datagram time to be read and dropped before registering.
    QTest::qWait(300);
    QVERIFY(c.listen());
    QVERIFY(c.send(eventDatagram(101, {8})));
    QVERIFY(rec.waitFor(1));
    QTest::qWait(50);
    const auto records = rec.snapshot();
    QCOMPARE(records.size(), std::size_t(1));
    QCOMPARE(records[0].words, std::vector<int32_t>{8});

    // Unregistering stops delivery again.
    QCOMPARE(vontra_register_callback(c.handle, nullptr, nullptr), 0);
    QVERIFY(c.send(eventDatagram(101, {9})));
    QTest::qWait(150);
    QCOMPARE(rec.snapshot().size(), std::size_t(1));
}

void TestLink::requestsAndRemoteCommandsOnTheWire()
{
    Console c;
    QVERIFY(c.open());
    QCOMPARE(vontra_request(c.handle, 100), 0);
    QCOMPARE(vontra_remote_on(c.handle, 7, 2), 0);
    QCOMPARE(vontra_remote_non_stop(c.handle, 2), 0);
    QCOMPARE(vontra_request(c.handle, -1), 0); // the console decides what it answers

    const Bytes expected[] = {
        {'V', 'N', 'T', 'R', 1, kRequest, 0, 12, 0, 0, 0, 100},
        {'V', 'N', 'T', 'R', 1, kRemoteOn, 0, 16, 0, 0, 0, 7, 0, 0, 0, 2},
        {'V', 'N', 'T', 'R', 1, kRemoteNonStop, 0, 12, 0, 0, 0, 2},
        {'V', 'N', 'T', 'R', 1, kRequest, 0, 12, 0xff, 0xff, 0xff, 0xff},
    };
    for (const Bytes &want : expected) {
        Bytes got;
        net::Address from;
        QVERIFY(c.socket.receive(got, &from));
        QCOMPARE(got, want);
        // Sent from the receive port, so that the console's replies come back.
        QCOMPARE(net::portOf(from), c.recvPort);
    }
}

void TestLink::malformedDatagramsAreDropped()
{
    Console c;
    QVERIFY(c.open());
    QVERIFY(c.listen());
    Recorder &rec = c.rec;

    Header badMagic;
    badMagic.magic = 0x564E5453;
    Header badVersion;
    badVersion.version = 2;
    Header longer;
    longer.lengthAdjust = 4;
    Header shorter;
    shorter.lengthAdjust = -4;

    std::vector<uint32_t> tooManyLevels{128};
    for (int i = 0; i < 65; ++i)
        tooManyLevels.push_back(floatBits(-10.0f));
    Bytes oversized(2000, 0);
    std::memcpy(oversized.data(), datagram(kEvent, {101, 1}).data(), 12);
    const Bytes colours = eventDatagram(73, std::vector<int32_t>(24, 1));
    const Bytes cutShort(colours.begin(), colours.begin() + 50);
    Bytes unaligned = eventDatagram(101, {1});
    unaligned.push_back(0);
    unaligned[7] = uint8_t(unaligned.size());

    const std::vector<std::pair<const char *, Bytes>> cases = {
        {"empty", {}},
        {"shorter than a header", {'V', 'N', 'T', 'R', 1, 1, 0}},
        {"header only", datagram(kEvent, {})},
        {"event cut short", cutShort},
        {"oversized", oversized},
        {"too many levels", datagram(kEvent, tooManyLevels)},
        {"bad magic", datagram(kEvent, {101, 1}, badMagic)},
        {"bad version", datagram(kEvent, {101, 1}, badVersion)},
        {"length field too big", datagram(kEvent, {101, 1}, longer)},
        {"length field too small", datagram(kEvent, {101, 1}, shorter)},
        {"length not whole words", unaligned},
        {"kind 0", datagram(0, {101, 1})},
        {"kind 5", datagram(5, {101, 1})},
        {"kind 255", datagram(255, {101, 1})},
        {"unknown id 74", eventDatagram(74, {1})},
        {"unknown id 0", eventDatagram(0, {})},
        {"unknown id 200", eventDatagram(200, {1, 2, 3, 4, 5, 6, 7, 8})},
        {"too few words", eventDatagram(104, {1})},
        {"too many words", eventDatagram(101, {1, 1})},
        {"module colours one short", eventDatagram(73, std::vector<int32_t>(23, 1))},
        {"five levels", meters({1, 2, 3, 4, 5})},
        {"request from console", datagram(kRequest, {100})},
        {"remote on from console", datagram(kRemoteOn, {1, 2})},
        {"non-stop from console", datagram(kRemoteNonStop, {2})},
    };

    // Each bad datagram is followed by a good one carrying its index; the
    // good ones must arrive, and nothing else.
    for (std::size_t i = 0; i < cases.size(); ++i) {
        QVERIFY2(c.send(cases[i].second), cases[i].first);
        QVERIFY(c.send(eventDatagram(105, {int32_t(i)})));
        QVERIFY2(rec.waitFor(i + 1), cases[i].first);
        const Record last = rec.snapshot().back();
        QVERIFY2(last.id == 105 && last.words == std::vector<int32_t>{int32_t(i)}, cases[i].first);
    }
    QTest::qWait(50);
    QCOMPARE(rec.snapshot().size(), cases.size());
}

void TestLink::foreignSendersAreDropped()
{
    Console c;
    QVERIFY(c.open());
    QVERIFY(c.listen());
    Recorder &rec = c.rec;

    // Same port as the console, other address; same address, other port.
    Udp otherAddress, otherPort;
    if (!otherAddress.bind("127.0.0.2", c.socket.boundPort))
        QVERIFY(otherAddress.bind("127.0.0.2"));
    QVERIFY(otherPort.bind("127.0.0.1"));

    QVERIFY(otherAddress.sendTo("127.0.0.1", c.recvPort, eventDatagram(101, {1})));
    QVERIFY(otherPort.sendTo("127.0.0.1", c.recvPort, eventDatagram(101, {2})));
    QVERIFY(c.send(eventDatagram(101, {3})));
    QVERIFY(rec.waitFor(1));
    QTest::qWait(50);
    const auto records = rec.snapshot();
    QCOMPARE(records.size(), std::size_t(1));
    QCOMPARE(records[0].words, std::vector<int32_t>{3});
}

void TestLink::ipv6Link()
{
    Udp probe;
    if (!probe.bind("::1"))
        QSKIP("no IPv6 loopback here");
    probe.reset();

    Console c;
    QVERIFY(c.open("::1"));
    QVERIFY(c.listen());
    Recorder &rec = c.rec;
    QCOMPARE(vontra_remote_non_stop(c.handle, 2), 0);
    Bytes got;
    QVERIFY(c.socket.receive(got));
    QCOMPARE(got, datagram(kRemoteNonStop, {2}));

    // An IPv4 sender on the same port number is still a foreign one.
    Udp v4;
    if (v4.bind("127.0.0.1", c.socket.boundPort))
        v4.sendTo("127.0.0.1", c.recvPort, eventDatagram(101, {1}));
    QVERIFY(c.send(eventDatagram(101, {4})));
    QVERIFY(rec.waitFor(1));
    QTest::qWait(50);
    const auto records = rec.snapshot();
    QCOMPARE(records.size(), std::size_t(1));
    QCOMPARE(records[0].words, std::vector<int32_t>{4});
}

void TestLink::noCallbackAfterCloseReturns()
{
    for (int round = 0; round < 5; ++round) {
        Console c;
        QVERIFY(c.open());
        QVERIFY(c.listen());
        Recorder &rec = c.rec;

        std::atomic<bool> stopFlood{false};
        std::thread flood([&] {
            const auto end = Clock::now() + std::chrono::seconds(3);
            while (!stopFlood.load() && Clock::now() < end) {
                c.send(meters({-1, -2, -3, -4, -5, -6}));
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        const bool gotSome = rec.waitFor(20);
        QCOMPARE(vontra_close(c.handle), 0);
        rec.closed.store(true);
        c.handle = 0;
        QTest::qWait(100); // the flood goes on against the closed link
        stopFlood.store(true);
        flood.join();
        QVERIFY(gotSome);
        QCOMPARE(rec.lateCalls.load(), 0);
    }
}

void TestLink::closeFromInsideCallback()
{
    Console c;
    QVERIFY(c.open());
    Recorder &rec = c.rec;
    rec.closeFromCallback.store(c.handle);
    rec.portAfterClose.store(c.recvPort);
    QVERIFY(c.listen());
    QVERIFY(c.send(eventDatagram(102, {1})));
    QVERIFY(rec.waitFor(1));
    QCOMPARE(rec.closeResult.load(), 0);
    QCOMPARE(vontra_request(c.handle, 100), -1); // the handle is gone
    QVERIFY(c.send(eventDatagram(102, {0})));
    QTest::qWait(100);
    QCOMPARE(rec.snapshot().size(), std::size_t(1));

    // The port is free as soon as the close returns, though the link's own
    // thread still runs the callback.
    QVERIFY(rec.portFreeAfterClose.load());
    c.handle = 0;
}

namespace {
struct Tagged
{
    std::atomic<int> calls{0};
    std::atomic<int> wrongUser{0};
};
Tagged tagA, tagB;
void callbackA(const vontra_event *, void *user)
{
    tagA.calls.fetch_add(1);
    if (user != &tagA)
        tagA.wrongUser.fetch_add(1);
}
void callbackB(const vontra_event *, void *user)
{
    tagB.calls.fetch_add(1);
    if (user != &tagB)
        tagB.wrongUser.fetch_add(1);
}
} // namespace

void TestLink::callbackAndUserChangeTogether()
{
    Console c;
    QVERIFY(c.open());
    std::atomic<bool> stopFlood{false};
    std::thread flood([&] {
        const auto end = Clock::now() + std::chrono::seconds(3);
        while (!stopFlood.load() && Clock::now() < end) {
            c.send(eventDatagram(107, {1}));
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    const auto end = Clock::now() + std::chrono::milliseconds(600);
    while (Clock::now() < end) {
        vontra_register_callback(c.handle, &callbackA, &tagA);
        vontra_register_callback(c.handle, &callbackB, &tagB);
    }
    stopFlood.store(true);
    flood.join();
    QCOMPARE(vontra_close(c.handle), 0);
    c.handle = 0;
    QVERIFY(tagA.calls.load() + tagB.calls.load() > 0);
    QCOMPARE(tagA.wrongUser.load(), 0);
    QCOMPARE(tagB.wrongUser.load(), 0);
}

void TestLink::loggingIsPrefixedAndRateLimited()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile capture(dir.filePath("stderr.txt"));
    std::FILE *sink = std::fopen(QFile::encodeName(capture.fileName()).constData(), "wb");
    QVERIFY(sink != nullptr);
    std::fflush(stderr);
    const int savedStderr = ::dup(2);
    QVERIFY(savedStderr >= 0);
    QVERIFY(::dup2(fileno(sink), 2) >= 0);

    int bad = 0;
    {
        Console c;
        if (c.open()) {
            vontra_logging(c.handle, 1);
            Recorder &rec = c.rec;
            c.listen();
            for (; bad < 100; ++bad)
                c.send(eventDatagram(74, {1}));
            c.send(eventDatagram(101, {1}));
            rec.waitFor(1);
            vontra_close(c.handle);
            c.handle = 0;
        }
    }
    std::fflush(stderr);
    ::dup2(savedStderr, 2);
    ::close(savedStderr);
    std::fclose(sink);

    QVERIFY(capture.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> lines = capture.readAll().split('\n');
    QVERIFY(bad == 100);
    int dropLines = 0;
    bool totals = false, opened = false, closing = false;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        QVERIFY2(line.startsWith("vontra: "), line.constData());
        dropLines += line.contains("dropped datagram") ? 1 : 0;
        opened = opened || line.contains("open");
        closing = closing || line.contains("closing");
        totals = totals || line.contains("1 events delivered, 100 dropped");
    }
    QVERIFY(opened);
    QVERIFY(closing);
    QVERIFY(totals);
    QVERIFY(dropLines >= 1);
    QVERIFY2(dropLines <= 10, QByteArray::number(dropLines).constData());
    QVERIFY(lines.size() < 30);
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
