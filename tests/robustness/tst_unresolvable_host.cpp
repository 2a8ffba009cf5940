// A console host name that stopped resolving since the last run: the open
// fails, the window stays offline, and the program runs on and saves its
// settings as before. Runs in a network namespace of its own, so the failed
// lookup cannot ask anyone off this machine.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "robustsupport.h"

#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

class MainWindowProbe
{
public:
    static bool online(const MainWindow &w) { return w.online; }
    static int linkHandle(const MainWindow &w) { return w.linkHandle; }
    static QTimer *keepAlive(const MainWindow &w) { return w.keepAliveTimer; }
    static QString remoteHost(const MainWindow &w) { return w.remote_host; }
};

class UnresolvableHostTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!robust::isolateNetwork())
            QSKIP("needs a network namespace of its own (root)");
    }
    void hostThatNoLongerResolves();
};

void UnresolvableHostTest::hostThatNoLongerResolves()
{
    apptest::IsolatedSettings settings;
    QSettings().setValue("remote_host", "no-such-host.invalid");
    const QString storeFile = QSettings().fileName();
    {
        QElapsedTimer clock;
        clock.start();
        MainWindow window;
        window.show();
        qInfo("window built in %lld ms", clock.elapsed());
        QVERIFY2(clock.elapsed() < 5000, "the failed lookup held up start-up");
        QCOMPARE(MainWindowProbe::linkHandle(window), 0);
        QVERIFY(!MainWindowProbe::online(window));
        QVERIFY(!MainWindowProbe::keepAlive(window)->isActive());

        robust::LatenessProbe probe;
        probe.start();
        QSignalSpy resets(MainWindowProbe::keepAlive(window), SIGNAL(timeout()));
        QTest::qWait(3500);
        probe.stop();
        QCOMPARE(resets.count(), 0); // no watchdog without a link
        QVERIFY(!MainWindowProbe::online(window));
        QVERIFY2(probe.worstMs() < 100.0, qPrintable(QString::number(probe.worstMs())));
        QCOMPARE(MainWindowProbe::remoteHost(window), QStringLiteral("no-such-host.invalid"));
        window.close();
    }
    // The name is kept for the next run, when it may resolve again.
    QSettings store(storeFile, QSettings::NativeFormat);
    QCOMPARE(store.value("remote_host").toString(), QStringLiteral("no-such-host.invalid"));
    QCOMPARE(store.value("udp_send").toInt(), int(settings.sendPort()));
}

QTEST_MAIN(UnresolvableHostTest)
#include "tst_unresolvable_host.moc"
