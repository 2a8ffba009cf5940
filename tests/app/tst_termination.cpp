// The program ended by a termination request (SIGTERM from a shutdown or a
// service manager, SIGINT, SIGHUP at a logout) ends as if the window had been
// closed: the settings are written and the link is closed. The real program
// runs as a child process with a settings store of its own.
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

} // namespace

class TerminationTest : public QObject
{
    Q_OBJECT

private slots:
    void requestEndsLikeClosing_data();
    void requestEndsLikeClosing();
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
    QTemporaryDir home;
    const QString storeFile = home.path() + "/Orvendel/Vontra Meters.conf";
    const quint16 sendPort = freeUdpPort();
    const quint16 recvPort = freeUdpPort();
    {
        // What an accepted settings dialog left; the placement keys are not
        // there yet, only a normal end writes them.
        QSettings store(storeFile, QSettings::IniFormat);
        store.setValue("udp_send", int(sendPort));
        store.setValue("udp_recv", int(recvPort));
        store.setValue("use_default_ports", false);
        store.setValue("remote_host", "127.0.0.1");
    }

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    if (hangUpIgnored)
        program.start("/bin/sh", {"-c", "trap '' HUP; exec \"$0\"", QStringLiteral(METERS_PATH)});
    else
        program.start(QStringLiteral(METERS_PATH), QStringList());
    QVERIFY(program.waitForStarted(5000));
    QString output;
    auto waitFor = [&](const QString &text) {
        QElapsedTimer clock;
        clock.start();
        while (!output.contains(text) && clock.elapsed() < 10000 &&
               program.state() == QProcess::Running) {
            program.waitForReadyRead(100);
            output += QString::fromLocal8Bit(program.readAll());
        }
        return output.contains(text);
    };
    QVERIFY2(waitFor("link 1 open"), qPrintable(output));
    QTest::qWait(300); // the event loop runs by now

    if (hangUpIgnored) {
        ::kill(pid_t(program.processId()), SIGHUP);
        QVERIFY(!program.waitForFinished(500));
    }
    ::kill(pid_t(program.processId()), signal);
    QVERIFY2(program.waitForFinished(5000), "the program did not end");
    output += QString::fromLocal8Bit(program.readAll());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(output.contains("link 1: closing"), qPrintable(output));

    QSettings store(storeFile, QSettings::IniFormat);
    for (const char *key :
         {"current_screen", "geometry", "udp_send", "udp_recv", "use_default_ports", "remote_host"})
        QVERIFY2(store.contains(key), key);
    QCOMPARE(store.value("udp_send").toInt(), int(sendPort));
    QCOMPARE(store.value("udp_recv").toInt(), int(recvPort));
    QCOMPARE(store.value("use_default_ports").toBool(), false);
    QCOMPARE(store.value("remote_host").toString(), QStringLiteral("127.0.0.1"));
}

QTEST_GUILESS_MAIN(TerminationTest)
#include "tst_termination.moc"
