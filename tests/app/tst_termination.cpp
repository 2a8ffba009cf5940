// The real program as a child process, with a settings store of its own.
// Ended by a termination request (SIGTERM from a shutdown or a service
// manager, SIGINT, SIGHUP at a logout), it ends as if the window had been
// closed: the settings are written and the link is closed. It ends also when
// its X display does not answer, and when it was started without standard
// error. One display runs per receive port, and it keeps the screen awake.
#include "processsignals.h"

#include <QDBusConnection>
#include <QHostAddress>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

namespace {

quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress(QHostAddress::LocalHost), 0) ? probe.localPort() : 0;
}

// The program, its store holding what an accepted settings dialog left (the
// placement keys come only with a normal end).
struct Run
{
    Run()
    {
        QSettings store(storeFile, QSettings::IniFormat);
        store.setValue("udp_send", int(sendPort));
        store.setValue("udp_recv", int(recvPort));
        store.setValue("use_default_ports", false);
        store.setValue("remote_host", "127.0.0.1");
    }
    ~Run()
    {
        if (program.state() == QProcess::Running && (signal(SIGTERM), true))
            program.waitForFinished(5000);
    }
    // Through the shell when a command is given, with the program as $0.
    void start(const QString &display = QString(), const QString &shellCommand = QString(),
               const QStringList &arguments = QStringList())
    {
        environment.insert("XDG_CONFIG_HOME", home.path());
        environment.insert("QT_QPA_PLATFORM", display.isEmpty() ? "offscreen" : "xcb");
        environment.insert("DISPLAY", display);
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        if (shellCommand.isEmpty())
            program.start(QStringLiteral(METERS_PATH), arguments);
        else
            program.start("/bin/sh", {"-c", shellCommand, QStringLiteral(METERS_PATH)});
        program.waitForStarted(5000);
    }
    bool waitFor(const QString &text)
    {
        QElapsedTimer clock;
        clock.start();
        while (!output.contains(text) && clock.elapsed() < 10000 &&
               program.state() == QProcess::Running) {
            program.waitForReadyRead(100);
            output += QString::fromLocal8Bit(program.readAll());
        }
        return output.contains(text);
    }
    void signal(int number) { ::kill(pid_t(program.processId()), number); }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QTemporaryDir home;
    const QString storeFile = home.path() + "/Orvendel/Vontra Meters.conf";
    const quint16 sendPort = freeUdpPort();
    const quint16 recvPort = freeUdpPort();
    QProcess program;
    QString output;
};

// An X server or session bus that prints where it is; stopped, it answers none.
struct Server
{
    Server(const QString &command, const QStringList &arguments)
    {
        process.start(command, arguments);
        if (process.waitForReadyRead(10000))
            address = QString::fromLatin1(process.readLine()).trimmed();
    }
    ~Server()
    {
        ::kill(pid_t(process.processId()), SIGCONT);
        process.kill();
        process.waitForFinished();
    }
    QProcess process;
    QString address;
};

// The desktop's screen saver on the session bus; records the calls.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList calls;
public slots:
    uint Inhibit(const QString &application, const QString &) { return calls << application, 4711; }
    void UnInhibit(uint cookie) { calls << QStringLiteral("UnInhibit %1").arg(cookie); }
};

} // namespace

class TerminationTest : public QObject
{
    Q_OBJECT

private slots:
    void requestEndsLikeClosing_data();
    void requestEndsLikeClosing();
    void endsWhateverTheDisplay_data();
    void endsWhateverTheDisplay();
    void oneDisplayPerPort();
    void keepsTheScreenAwake_data();
    void keepsTheScreenAwake();
};

void TerminationTest::requestEndsLikeClosing_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("hangUpIgnored");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    // Started under nohup: a hang-up leaves it running, SIGTERM still ends it.
    QTest::newRow("SIGTERM after an ignored SIGHUP") << int(SIGTERM) << true;
}

void TerminationTest::requestEndsLikeClosing()
{
    QFETCH(int, signal);
    QFETCH(bool, hangUpIgnored);
    Run run;
    run.start(QString(), hangUpIgnored ? "trap '' HUP; exec \"$0\"" : QString());
    QVERIFY2(run.waitFor("link 1 open"), qPrintable(run.output));
    QTest::qWait(300); // the event loop runs by now

    if (hangUpIgnored) {
        run.signal(SIGHUP);
        QVERIFY(!run.program.waitForFinished(500));
    }
    run.signal(signal);
    QVERIFY2(run.program.waitForFinished(5000), "the program did not end");
    run.output += QString::fromLocal8Bit(run.program.readAll());
    QCOMPARE(run.program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.program.exitCode(), 0);
    QVERIFY2(run.output.contains("link 1: closing"), qPrintable(run.output));

    QSettings store(run.storeFile, QSettings::IniFormat);
    for (const char *key :
         {"current_screen", "geometry", "udp_send", "udp_recv", "use_default_ports", "remote_host"})
        QVERIFY2(store.contains(key), key);
    QCOMPARE(store.value("udp_send").toInt(), int(run.sendPort));
    QCOMPARE(store.value("udp_recv").toInt(), int(run.recvPort));
    QCOMPARE(store.value("use_default_ports").toBool(), false);
    QCOMPARE(store.value("remote_host").toString(), QStringLiteral("127.0.0.1"));
}

// Standard error closed must not hand the X connection descriptor 2; an X
// server that answers nothing must not keep the program from ending.
void TerminationTest::endsWhateverTheDisplay_data()
{
    QTest::addColumn<bool>("xStopped");
    QTest::newRow("standard error closed") << false;
    QTest::newRow("X server stopped") << true;
}

void TerminationTest::endsWhateverTheDisplay()
{
    QFETCH(bool, xStopped);
    Server x("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    Run run;
    run.start(":" + x.address, xStopped ? "exec \"$0\"" : "exec \"$0\" 2>&-");
    QTest::qWait(2000); // up, link open, event loop running
    if (xStopped)
        ::kill(pid_t(x.process.processId()), SIGSTOP);
    run.signal(SIGTERM);
    QVERIFY2(run.program.waitForFinished(int(orderlyEndSeconds) * 1000 + 3000), "did not end");
    if (!xStopped)
        QVERIFY(QSettings(run.storeFile, QSettings::IniFormat).contains("geometry"));
}

// A second start for the same receive port brings the first window forward
// and ends at once, touching nothing; one with other ports starts as usual.
void TerminationTest::oneDisplayPerPort()
{
    Run first;
    first.start();
    QVERIFY2(first.waitFor("link 1 open"), qPrintable(first.output));
    QProcess second;
    second.setProcessEnvironment(first.program.processEnvironment());
    second.start(QStringLiteral(METERS_PATH), QStringList());
    QVERIFY(second.waitForFinished(5000) && second.exitStatus() == QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(first.waitFor("window brought to the front"), qPrintable(first.output));
    QVERIFY(!QSettings(first.storeFile, QSettings::IniFormat).contains("geometry"));

    Run other;
    other.start();
    QVERIFY2(other.waitFor("link 1 open"), qPrintable(other.output));
}

void TerminationTest::keepsTheScreenAwake_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("service");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("kept awake") << QStringList() << true
                                << QStringList{"Vontra Meters", "UnInhibit 4711"};
    QTest::newRow("switched off, an unknown argument beside")
        << QStringList{"--no-keep-awake", "--bogus"} << true << QStringList();
    QTest::newRow("no screen saver on the bus") << QStringList() << false << QStringList();
}

void TerminationTest::keepsTheScreenAwake()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, service);
    QFETCH(QStringList, calls);
    Server bus("dbus-daemon", {"--session", "--nofork", "--print-address"});
    if (bus.address.isEmpty())
        QSKIP("no dbus-daemon");
    FakeScreenSaver saver;
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address, "screensaver");
    QVERIFY(!service || connection.registerService("org.freedesktop.ScreenSaver"));
    connection.registerObject("/org/freedesktop/ScreenSaver", &saver,
                              QDBusConnection::ExportAllSlots);
    Run run;
    run.environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address);
    run.start(QString(), QString(), arguments);
    QVERIFY2(run.waitFor("link 1 open"), qPrintable(run.output));
    QTest::qWait(500); // the fake answers
    run.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(run.program.state(), QProcess::NotRunning, 5000);
    run.output += QString::fromLocal8Bit(run.program.readAll());
    QDBusConnection::disconnectFromBus("screensaver");
    QCOMPARE(saver.calls, calls);
    QCOMPARE(run.output.count("The screen may sleep"), service ? 0 : 1);
}

QTEST_GUILESS_MAIN(TerminationTest)
#include "tst_termination.moc"
