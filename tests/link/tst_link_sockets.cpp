// Where the console-link library meets the system's sockets and systems
// differ: the sockets interface started once for the whole process, a wake-up
// that ends a wait without time limit, and the "port unreachable" that Windows
// reports on the next receive after a send to a console that is not running.
// The library's code is linked in, so that the sockets layer's test seam (a
// receive error on demand) is within reach; loopback UDP as in tst_link.
#include "linksupport.h"

#include <QtTest>

#include <future>

using namespace linktest;

namespace {

// Receive errors the seam reports in place of the next datagrams.
std::atomic<int> resetsToReport{0};
int reportReset()
{
    return resetsToReport.fetch_sub(1) > 0 ? net::testing::kConnectionReset : 0;
}

} // namespace

class TestLinkSockets : public QObject
{
    Q_OBJECT

private slots:
    void libraryStartsSocketsItself();
    void socketsOutliveManyLinks();
    void wakeUpEndsAnEndlessWait();
    void drainedSocketDoesNotWakeTheWait();
    void keepsReceivingAfterConsoleWasUnreachable();
    void receiveErrorsDoNotStopTheLink();
};

// First in this process, before any socket of the test's own: nothing else has
// started the sockets interface (Winsock) for the library.
void TestLinkSockets::libraryStartsSocketsItself()
{
    const quint16 base = quint16(41000 + QCoreApplication::applicationPid() % 2000 * 10);
    int handle = 0;
    for (quint16 port = base; port < base + 10 && handle == 0; port += 2)
        handle = vontra_open("127.0.0.1", port, port + 1);
    QVERIFY(handle != 0);
    QCOMPARE(vontra_request(handle, 100), 0);
    QCOMPARE(vontra_close(handle), 0);
}

// Links opening and closing, also overlapping, must neither take the sockets
// interface away from each other nor from the rest of the process.
void TestLinkSockets::socketsOutliveManyLinks()
{
    Udp bystander;
    QVERIFY(bystander.bind("127.0.0.1"));
    for (int round = 0; round < 10; ++round) {
        Console a, b;
        QVERIFY(a.open());
        QVERIFY(b.open());
        QCOMPARE(vontra_close(a.handle), 0);
        a.handle = 0;
        QCOMPARE(vontra_request(b.handle, 96), 0);
        Bytes got;
        QVERIFY(b.socket.receive(got));
        QCOMPARE(got, datagram(kRequest, {96}));
    }
    Console last;
    QVERIFY(last.open());
    QVERIFY(last.listen());
    QVERIFY(last.send(eventDatagram(101, {1})));
    QVERIFY(last.rec.waitFor(1));
    QVERIFY(bystander.sendTo("127.0.0.1", bystander.boundPort, eventDatagram(101, {2})));
    Bytes got;
    QVERIFY(bystander.receive(got));
}

void TestLinkSockets::wakeUpEndsAnEndlessWait()
{
    Udp socket;
    QVERIFY(socket.bind("127.0.0.1"));
    net::Waiter &waiter = *socket.waiter;

    // From another thread, while the wait has no time limit.
    auto waited = std::async(std::launch::async, [&waiter] { return waiter.wait(-1); });
    QVERIFY(waited.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout);
    waiter.wake();
    QVERIFY(waited.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    const net::Waiter::Result first = waited.get();
    QVERIFY(first.woken);
    QVERIFY(!first.readable);
    QVERIFY(!first.failed);

    // Seen once: the next wait runs into its time limit.
    QVERIFY(!waiter.wait(50).woken);

    // Raised before the wait begins: not lost.
    waiter.wake();
    waiter.wake();
    QVERIFY(waiter.wait(-1).woken);
    QVERIFY(!waiter.wait(50).woken);
}

// A wait that kept reporting a socket with nothing left to read would spin
// the receive thread.
void TestLinkSockets::drainedSocketDoesNotWakeTheWait()
{
    Udp socket, peer;
    QVERIFY(socket.bind("127.0.0.1"));
    QVERIFY(peer.bind("127.0.0.1"));
    net::Waiter &waiter = *socket.waiter;
    uint8_t buffer[64];
    for (int32_t round = 0; round < 3; ++round) {
        QVERIFY(peer.sendTo("127.0.0.1", socket.boundPort, eventDatagram(101, {round})));
        QVERIFY(waiter.wait(2000).readable);
        QCOMPARE(net::receive(socket.socket, buffer, sizeof buffer).outcome,
                 net::Received::Datagram);
        QCOMPARE(net::receive(socket.socket, buffer, sizeof buffer).outcome,
                 net::Received::Drained);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!waiter.wait(150).readable);
        QVERIFY(clock.elapsed() >= 100);
    }
}

// The console is not running yet when the display starts: its requests come
// back as "port unreachable". Once the console is up, its events must arrive.
void TestLinkSockets::keepsReceivingAfterConsoleWasUnreachable()
{
    const uint16_t consolePort = freePort("127.0.0.1");
    Recorder rec;
    uint16_t recvPort = 0;
    int handle = 0;
    struct Closer
    {
        int &handle;
        ~Closer() { vontra_close(handle); }
    } closer{handle}; // before rec goes
    for (int attempt = 0; attempt < 5 && handle == 0; ++attempt) {
        recvPort = freePort();
        handle = vontra_open("127.0.0.1", recvPort, consolePort);
    }
    QVERIFY(handle != 0);
    QCOMPARE(vontra_register_callback(handle, &Recorder::callback, &rec), 0);
    for (int id : {100, 96, 98, 73, 75, 111, 104, 101, 105, 102, 107})
        QCOMPARE(vontra_request(handle, id), 0);
    QTest::qWait(100);

    Udp console;
    QVERIFY(console.bind("127.0.0.1", consolePort));
    for (int32_t i = 0; i < 3; ++i)
        QVERIFY(console.sendTo("127.0.0.1", recvPort, eventDatagram(105, {i})));
    QVERIFY(rec.waitFor(3));
}

// The same error on demand, also more of them in a row than the receive
// thread reads at one wake-up: the events after them still arrive.
void TestLinkSockets::receiveErrorsDoNotStopTheLink()
{
    Console c;
    QVERIFY(c.open());
    QVERIFY(c.listen());
    net::testing::setReceiveFault(&reportReset);

    int32_t marker = 0;
    for (int resets : {1, 3, 200}) {
        resetsToReport.store(resets);
        for (int i = 0; i < resets; ++i)
            QVERIFY(c.send(eventDatagram(105, {-1})));
        QVERIFY(c.send(eventDatagram(105, {++marker})));
        QVERIFY2(c.rec.waitFor(std::size_t(marker)), QByteArray::number(resets).constData());
        const auto records = c.rec.snapshot();
        QCOMPARE(records.size(), std::size_t(marker));
        QCOMPARE(records.back().words, std::vector<int32_t>{marker});
    }
    net::testing::setReceiveFault(nullptr);
    QVERIFY(c.send(eventDatagram(105, {++marker})));
    QVERIFY(c.rec.waitFor(std::size_t(marker)));
}

QTEST_GUILESS_MAIN(TestLinkSockets)
#include "tst_link_sockets.moc"
