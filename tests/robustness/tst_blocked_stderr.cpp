// The program's standard error a pipe that nobody reads, as when its output
// is piped into a log reader that hangs: the diagnostic lines (the library's
// and the decoder's for ids 111 and 112) soon fill the pipe, and still the
// link must keep delivering and the program must end promptly when asked.
// With the reader gone, a line must not end the program. The real program
// runs as a child process; the test plays the console.
#include "robustsupport.h"
#include "vontra_wire.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <thread>

extern char **environ;

namespace {

namespace wire = vontra::wire;

std::vector<uint8_t> event(int32_t id, std::vector<int32_t> words)
{
    std::vector<uint8_t> out(wire::kMaxDatagram);
    out.resize(wire::encodeEvent(id, words.data(), int(words.size()), out.data(), out.size()));
    return out;
}

// The console: meters at 50 a second while asked, phone-ringing events (each
// one a diagnostic line of the display's decoder) at 1000 a second, and a
// count of the requests that arrive. Beside it a stranger sends the same
// events from another port, which the library drops and reports.
class Console
{
public:
    Console(int fd, quint16 displayPort) : fd(fd), displayPort(displayPort)
    {
        stranger = robust::boundUdpSocket(robust::kLoopback, 0);
        thread = std::thread([this] { run(); });
    }
    ~Console()
    {
        stop = true;
        thread.join();
        ::close(fd);
        ::close(stranger);
    }
    std::atomic<bool> metersOn{true};
    std::atomic<int> requests{0};
    std::atomic<long> lines{0};

private:
    void run()
    {
        const auto meters = robust::meterEvent({-20, -20, -23, -23, -24, -24});
        QElapsedTimer clock;
        clock.start();
        qint64 nextMeter = 0;
        int32_t ringing = 0;
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1) > 0) {
                uint8_t buffer[wire::kMaxDatagram];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                wire::Message m;
                if (n > 0 && wire::decode(buffer, std::size_t(n), m) == wire::DecodeError::None &&
                    m.kind == wire::Kind::Request)
                    ++requests;
            }
            ringing = 1 - ringing;
            const auto phone = event(112, {ringing});
            robust::sendUdp(fd, robust::kLoopback, displayPort, phone.data(), phone.size());
            robust::sendUdp(stranger, robust::kLoopback, displayPort, phone.data(), phone.size());
            ++lines;
            if (metersOn && clock.elapsed() >= nextMeter) {
                robust::sendUdp(fd, robust::kLoopback, displayPort, meters.data(), meters.size());
                nextMeter = clock.elapsed() + 20;
            }
        }
    }

    int fd;
    int stranger;
    quint16 displayPort;
    std::atomic<bool> stop{false};
    std::thread thread;
};

class Program
{
public:
    // Starts the program with its standard error the write end of a pipe.
    bool start(const QString &configHome)
    {
        if (::pipe2(errPipe, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        const QByteArray config = "XDG_CONFIG_HOME=" + configHome.toLocal8Bit();
        std::vector<char *> env;
        for (char **e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0 &&
                std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
                env.push_back(*e);
        char platform[] = "QT_QPA_PLATFORM=offscreen";
        env.push_back(const_cast<char *>(config.constData()));
        env.push_back(platform);
        env.push_back(nullptr);
        char path[] = METERS_PATH;
        char *argv[] = {path, nullptr};
        const int failed = posix_spawn(&pid, path, &actions, nullptr, argv, env.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(errPipe[1]);
        return failed == 0;
    }
    ~Program()
    {
        if (pid > 0 && !ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (errPipe[0] >= 0)
            ::close(errPipe[0]);
    }
    // Bytes waiting unread in the pipe.
    int unread() const
    {
        int n = 0;
        return ::ioctl(errPipe[0], FIONREAD, &n) == 0 ? n : -1;
    }
    void closeReader()
    {
        ::close(errPipe[0]);
        errPipe[0] = -1;
    }
    bool running() { return !ended && ::waitpid(pid, &status, WNOHANG) == 0; }
    // Asks it to end and waits; the time it took, or -1.
    qint64 terminate(int limitMs)
    {
        QElapsedTimer clock;
        clock.start();
        ::kill(pid, SIGTERM);
        while (clock.elapsed() < limitMs) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                ended = true;
                return clock.elapsed();
            }
            QThread::msleep(10);
        }
        return -1;
    }
    int status = 0;

private:
    pid_t pid = -1;
    int errPipe[2] = {-1, -1};
    bool ended = false;
};

} // namespace

class BlockedStderrTest : public QObject
{
    Q_OBJECT

private slots:
    void linkKeepsGoingWithStderrUnread_data();
    void linkKeepsGoingWithStderrUnread();
};

void BlockedStderrTest::linkKeepsGoingWithStderrUnread_data()
{
    QTest::addColumn<bool>("readerGoes");
    QTest::newRow("reader never reads") << false;
    QTest::newRow("reader goes away") << true;
}

void BlockedStderrTest::linkKeepsGoingWithStderrUnread()
{
    QFETCH(bool, readerGoes);
    const int seconds = qEnvironmentVariableIntValue("VM_BLOCKED_STDERR_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("VM_BLOCKED_STDERR_SECONDS")
                            : 10;
    QTemporaryDir home;
    const int consoleFd = robust::boundUdpSocket(robust::kLoopback, 0);
    QVERIFY(consoleFd >= 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(consoleFd, reinterpret_cast<sockaddr *>(&bound), &length);
    const quint16 consolePort = ntohs(bound.sin_port);
    const int probeFd = robust::boundUdpSocket(robust::kLoopback, 0);
    ::getsockname(probeFd, reinterpret_cast<sockaddr *>(&bound), &length);
    const quint16 displayPort = ntohs(bound.sin_port);
    ::close(probeFd);
    {
        QSettings store(home.path() + "/Orvendel/Vontra Meters.conf", QSettings::IniFormat);
        store.setValue("udp_send", int(consolePort));
        store.setValue("udp_recv", int(displayPort));
        store.setValue("remote_host", "127.0.0.1");
    }

    Program program;
    QVERIFY(program.start(home.path()));
    Console console(consoleFd, displayPort);
    QTRY_VERIFY_WITH_TIMEOUT(console.requests.load() >= 11, 5000);

    // Long enough for the pipe (64 KiB) to be full many times over.
    QTest::qWait(seconds * 1000);
    qInfo("%ld diagnostic lines caused in %d s; %d bytes wait unread in the pipe",
          console.lines.load(), seconds, program.unread());
    QVERIFY(program.unread() >= 60000);

    // Still delivering: a gap in the meters turns the display offline, and
    // their return brings a new request batch.
    console.metersOn = false;
    QTest::qWait(3500);
    const int before = console.requests.load();
    console.metersOn = true;
    QTRY_VERIFY_WITH_TIMEOUT(console.requests.load() >= before + 11, 2000);

    if (readerGoes) {
        // The next lines go to a pipe without a reader: they must not end the
        // program.
        program.closeReader();
        QTest::qWait(1000);
        QVERIFY(program.running());
    }

    const qint64 endMs = program.terminate(3000);
    qInfo("ended %lld ms after SIGTERM", endMs);
    QVERIFY2(endMs >= 0, "the program did not end");
    QVERIFY(WIFEXITED(program.status));
    QCOMPARE(WEXITSTATUS(program.status), 0);
}

QTEST_GUILESS_MAIN(BlockedStderrTest)
#include "tst_blocked_stderr.moc"
