// The console's host stored as a name, and the name service misbehaving: a
// name server that never answers must not hold up the window or its closing,
// a name that resolves only later (the network comes up after the display)
// must bring the display online by itself, and a name that never resolves
// leaves it offline and kept for the next run. The test runs in network and
// mount namespaces of its own, where /etc/hosts and /etc/resolv.conf are its
// own files and the only name server is on loopback.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "robustsupport.h"
#include "vontra.h"
#include "vontra_wire.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>

#include <atomic>
#include <memory>
#include <thread>

#include "mylabel.h"

class MainWindowProbe
{
public:
    static bool online(const MainWindow &w) { return w.online; }
    static int linkHandle(const MainWindow &w) { return w.linkHandle; }
    static QTimer *keepAlive(const MainWindow &w) { return w.keepAliveTimer; }
    static QString remoteHost(const MainWindow &w) { return w.remote_host; }
    static myLabel *moduleButton(const MainWindow &w, int i) { return w.moduleButtons[size_t(i)]; }
};

namespace {

namespace wire = vontra::wire;

const char *const consoleName = "console.studio.test";

// The two files the lookups see, made before the namespaces.
struct LookupFiles
{
    QTemporaryDir dir;
    QString hosts = dir.filePath("hosts");
    QString resolver = dir.filePath("resolv.conf");
};
LookupFiles *files = nullptr;
bool isolated = false;

bool writeFile(const QString &path, const QByteArray &text, QIODevice::OpenMode mode)
{
    // Written in place: the bind mount follows the file, not its name.
    QFile file(path);
    return file.open(mode) && file.write(text) == text.size();
}

// Plays the console on its port: answers and counts requests, counts module
// commands, and sends meter events to the display while asked to.
class Console
{
public:
    Console(quint16 port, quint16 displayPort) : displayPort(displayPort)
    {
        fd = robust::boundUdpSocket(robust::kLoopback, port);
        thread = std::thread([this] { run(); });
    }
    ~Console()
    {
        stop = true;
        thread.join();
        if (fd >= 0)
            ::close(fd);
    }
    bool ok() const { return fd >= 0; }
    std::atomic<bool> metersOn{false};
    std::atomic<int> requests{0};
    std::atomic<int> moduleCommands{0};

private:
    void run()
    {
        const std::vector<uint8_t> meters = robust::meterEvent({-20, -20, -23, -23, -24, -24});
        while (!stop && fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                uint8_t buffer[wire::kMaxDatagram];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                wire::Message m;
                if (n > 0 && wire::decode(buffer, std::size_t(n), m) == wire::DecodeError::None) {
                    if (m.kind == wire::Kind::Request) {
                        ++requests;
                        answer(m.id);
                    } else if (m.kind == wire::Kind::RemoteOn) {
                        ++moduleCommands;
                    }
                }
            }
            if (metersOn)
                robust::sendUdp(fd, robust::kLoopback, displayPort, meters.data(), meters.size());
        }
    }

    void answer(int32_t id)
    {
        const std::vector<uint8_t> event = robust::freshStateEvent(id);
        robust::sendUdp(fd, robust::kLoopback, displayPort, event.data(), event.size());
    }

    int fd = -1;
    quint16 displayPort;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Builds and shows a window for the host; returns how long that took.
qint64 openWindow(std::unique_ptr<MainWindow> &window)
{
    QElapsedTimer clock;
    clock.start();
    window = std::make_unique<MainWindow>();
    window->show();
    QCoreApplication::processEvents();
    return clock.elapsed();
}

} // namespace

class HostLookupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deadNameServerHoldsUpNothing();
    void nameThatResolvesLaterBringsTheDisplayOnline();
    void hostThatNoLongerResolves();
};

void HostLookupTest::initTestCase()
{
    if (!isolated)
        QSKIP("needs network and mount namespaces of its own (root)");
}

void HostLookupTest::init()
{
    // No name in the hosts file; the name server on loopback refuses at once
    // (nothing listens), unless a test makes it silent.
    QVERIFY(writeFile(files->hosts, "127.0.0.1 localhost\n",
                      QIODevice::WriteOnly | QIODevice::Truncate));
}

void HostLookupTest::deadNameServerHoldsUpNothing()
{
    apptest::IsolatedSettings settings;
    // The time a window takes here with a numeric host, once warm.
    std::unique_ptr<MainWindow> window;
    openWindow(window);
    window.reset();
    const qint64 normalMs = openWindow(window);
    window.reset();

    // A name server that takes the question and never answers.
    const int silent = robust::boundUdpSocket(robust::kLoopback, 53);
    QVERIFY(silent >= 0);
    QSettings().setValue("remote_host", consoleName);
    const qint64 withNameMs = openWindow(window);
    qInfo("window shown after %lld ms with the host %s, %lld ms with 127.0.0.1", withNameMs,
          consoleName, normalMs);
    QVERIFY2(withNameMs <= normalMs + 300, "the name lookup held up the window");
    QVERIFY(MainWindowProbe::linkHandle(*window) != 0);
    QVERIFY(!MainWindowProbe::online(*window));

    // Closed while the lookup still waits for the silent server.
    QTest::qWait(1000);
    QElapsedTimer closing;
    closing.start();
    window.reset();
    qInfo("window closed in %lld ms during the lookup", closing.elapsed());
    QVERIFY2(closing.elapsed() < 300, "closing waited for the name lookup");

    // Opened and closed over and over while the server stays silent: the
    // lookups wait for it one at a time, not one thread and socket per link.
    const int descriptors = robust::openDescriptors();
    for (int i = 0; i < 500; ++i) {
        const int handle = vontra_open(consoleName, settings.recvPort(), settings.sendPort());
        QVERIFY(handle != 0);
        QThread::usleep(2000); // its lookup has begun
        vontra_close(handle);
    }
    qInfo("%d descriptors before 500 opens and closes, %d after, %d lookup threads", descriptors,
          robust::openDescriptors(), robust::threadsNamed("vontra-lookup"));
    QVERIFY(robust::threadsNamed("vontra-lookup") <= 1);
    QVERIFY(robust::openDescriptors() <= descriptors + 1);
    // Once the server is gone the lookup gives up, and nothing of it is left
    // to hold up the next test's lookups.
    ::close(silent);
    QTRY_COMPARE_WITH_TIMEOUT(robust::threadsNamed("vontra-lookup"), 0, 15000);
}

void HostLookupTest::nameThatResolvesLaterBringsTheDisplayOnline()
{
    apptest::IsolatedSettings settings;
    QSettings().setValue("remote_host", consoleName);
    Console console(settings.sendPort(), settings.recvPort());
    QVERIFY(console.ok());
    console.metersOn = true; // the console is there; only its name is not known yet

    std::unique_ptr<MainWindow> window;
    openWindow(window);
    QVERIFY(MainWindowProbe::linkHandle(*window) != 0);
    QTest::qWait(1500);
    // Clicked on an offline display while the name does not resolve.
    QTest::mouseClick(MainWindowProbe::moduleButton(*window, 2), Qt::LeftButton);
    QTest::qWait(500);
    QVERIFY(!MainWindowProbe::online(*window));
    QCOMPARE(console.requests.load(), 0);
    QCOMPARE(console.moduleCommands.load(), 0);

    // The name becomes known, as when the network comes up.
    QVERIFY(writeFile(files->hosts, QByteArray("127.0.0.1 ") + consoleName + "\n",
                      QIODevice::WriteOnly | QIODevice::Append));
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(*window), 5000);
    qInfo("online %lld ms after the name resolved", clock.elapsed());
    // The batch kept since the open, and the one the first meter event sends
    // after the watchdog ran out meanwhile; the click is not carried out now.
    QTRY_COMPARE_WITH_TIMEOUT(console.requests.load(), 22, 1000);
    QCOMPARE(console.moduleCommands.load(), 0);
}

void HostLookupTest::hostThatNoLongerResolves()
{
    apptest::IsolatedSettings settings;
    QSettings().setValue("remote_host", "no-such-host.invalid");
    const QString storeFile = QSettings().fileName();
    {
        std::unique_ptr<MainWindow> window;
        openWindow(window);
        // The link is open and keeps trying the name; the window shows what
        // it shows without a console: offline.
        QVERIFY(MainWindowProbe::linkHandle(*window) != 0);
        robust::LatenessProbe probe;
        probe.start();
        QSignalSpy resets(MainWindowProbe::keepAlive(*window), SIGNAL(timeout()));
        QTest::qWait(3500);
        probe.stop();
        QCOMPARE(resets.count(), 1); // once, 3 s after the open, on a window already offline
        QVERIFY(!MainWindowProbe::online(*window));
        QVERIFY2(probe.worstMs() < 100.0, qPrintable(QString::number(probe.worstMs())));
        QCOMPARE(MainWindowProbe::remoteHost(*window), QStringLiteral("no-such-host.invalid"));
        window->close();
    }
    // The name is kept for the next run, when it may resolve again.
    QSettings store(storeFile, QSettings::NativeFormat);
    QCOMPARE(store.value("remote_host").toString(), QStringLiteral("no-such-host.invalid"));
    QCOMPARE(store.value("udp_send").toInt(), int(settings.sendPort()));
}

int main(int argc, char *argv[])
{
    // The namespaces must come before any thread does.
    files = new LookupFiles;
    isolated = files->dir.isValid() &&
               writeFile(files->hosts, "127.0.0.1 localhost\n", QIODevice::WriteOnly) &&
               writeFile(files->resolver, "nameserver 127.0.0.1\noptions timeout:5 attempts:2\n",
                         QIODevice::WriteOnly) &&
               robust::isolateLookups(qPrintable(files->hosts), qPrintable(files->resolver));
    QApplication app(argc, argv);
    HostLookupTest test;
    const int result = QTest::qExec(&test, argc, argv);
    delete files;
    return result;
}

#include "tst_host_lookup.moc"
