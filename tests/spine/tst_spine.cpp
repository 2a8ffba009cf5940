// The main window's life: it shows at once, offline, and closing it ends the
// event loop with the settings saved and the console link released.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "platformdefaults.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QSettings>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

class MainWindowProbe
{
public:
    static int linkHandle(const MainWindow &w) { return w.linkHandle; }
    static bool online(const MainWindow &w) { return w.online; }
    static Ui::MainWindow *ui(const MainWindow &w) { return w.ui; }
    static const QTimer *meterTimer(const MainWindow &w) { return w.meterReleaseTimer; }
    static const QTimer *keepAlive(const MainWindow &w) { return w.keepAliveTimer; }
    static double target(const MainWindow &w, int i) { return w.meterTargets[i]; }
};

class SpineTest : public QObject
{
    Q_OBJECT

private slots:
    void startsOfflineAtOnceWithoutAConsole();
    void failedOpenLeavesTheWindowWorking();
    void closingEndsTheLoopSavesAndReleasesTheLink();
    void platformDefaultsYieldToTheUsersSettings();
};

void SpineTest::startsOfflineAtOnceWithoutAConsole()
{
    apptest::IsolatedSettings settings;
    QElapsedTimer clock;
    clock.start();
    MainWindow window;
    window.show();
    // Nothing waits for the console: construction and show are immediate.
    QVERIFY(clock.elapsed() < 2000);

    QVERIFY(MainWindowProbe::linkHandle(window) != 0);
    QVERIFY(!MainWindowProbe::online(window));
    QVERIFY(MainWindowProbe::meterTimer(window)->isActive());
    QCOMPARE(MainWindowProbe::meterTimer(window)->interval(), 10);
    QVERIFY(MainWindowProbe::keepAlive(window)->isSingleShot());
    for (int i = 0; i < 4; ++i)
        QCOMPARE(MainWindowProbe::target(window, i), -50.0);
    Ui::MainWindow *ui = MainWindowProbe::ui(window);
    QVERIFY(ui->footerlabel->text().endsWith(QLatin1String(" - version 1.1.269.0")));
    QCOMPARE(ui->ProgLeft->dBPosition(), -50.0);
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Orvendel"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Vontra Meters"));
}

void SpineTest::failedOpenLeavesTheWindowWorking()
{
    apptest::IsolatedSettings settings;
    // Someone else already holds the receive port: the open fails quietly.
    QUdpSocket squatter;
    QVERIFY(squatter.bind(QHostAddress::Any, settings.recvPort()));
    MainWindow window;
    window.show();
    QCOMPARE(MainWindowProbe::linkHandle(window), 0);
    QVERIFY(!MainWindowProbe::online(window));
    QVERIFY(!MainWindowProbe::keepAlive(window)->isActive());
    // The mic timer never started, so its label keeps its start text.
    QTest::qWait(250);
    QCOMPARE(MainWindowProbe::ui(window)->label_mictime->text(), QStringLiteral("time"));
}

void SpineTest::closingEndsTheLoopSavesAndReleasesTheLink()
{
    apptest::IsolatedSettings settings;
    {
        QSettings store;
        store.setValue("udp_send", 40000);
    }
    {
        auto *window = new MainWindow;
        window->show();
        QVERIFY(MainWindowProbe::linkHandle(*window) != 0);
        QTimer::singleShot(100, window, SLOT(close()));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(clock.elapsed() < 5000);
        // While the window lives the link holds the receive port.
        QUdpSocket probe;
        QVERIFY(!probe.bind(QHostAddress::Any, settings.recvPort()));
        delete window;
    }
    QUdpSocket probe;
    QVERIFY2(probe.bind(QHostAddress::Any, settings.recvPort()), "the link was not closed");

    QSettings store;
    const QStringList expected = {"current_screen", "geometry",          "udp_send",
                                  "udp_recv",       "use_default_ports", "remote_host"};
    for (const QString &key : expected)
        QVERIFY2(store.contains(key), qPrintable(key));
    QCOMPARE(store.value("udp_send").toInt(), 40000);
    QCOMPARE(store.value("udp_recv").toInt(), int(settings.recvPort()));
}

void SpineTest::platformDefaultsYieldToTheUsersSettings()
{
#ifndef Q_OS_UNIX
    QSKIP("the defaults are made on Unix only");
#else
    const char *names[] = {"QT_NO_GLIB", "QT_XCB_GL_INTEGRATION"};
    QByteArray saved[2];
    bool wasSet[2];
    for (int i = 0; i < 2; ++i) {
        wasSet[i] = qEnvironmentVariableIsSet(names[i]);
        saved[i] = qgetenv(names[i]);
    }

    qunsetenv("QT_NO_GLIB");
    qunsetenv("QT_XCB_GL_INTEGRATION");
    applyPlatformDefaults();
    const QByteArray noGlib = qgetenv("QT_NO_GLIB");
    const QByteArray glIntegration = qgetenv("QT_XCB_GL_INTEGRATION");

    // A user's choice stands, an empty one too.
    qputenv("QT_NO_GLIB", "");
    qputenv("QT_XCB_GL_INTEGRATION", "xcb_glx");
    applyPlatformDefaults();
    const bool emptyKept =
        qEnvironmentVariableIsSet("QT_NO_GLIB") && qgetenv("QT_NO_GLIB").isEmpty();
    const QByteArray userIntegration = qgetenv("QT_XCB_GL_INTEGRATION");

    for (int i = 0; i < 2; ++i) {
        if (wasSet[i])
            qputenv(names[i], saved[i]);
        else
            qunsetenv(names[i]);
    }
    QCOMPARE(noGlib, QByteArray("1"));
    QCOMPARE(glIntegration, QByteArray("none"));
    QVERIFY(emptyKept);
    QCOMPARE(userIntegration, QByteArray("xcb_glx"));
#endif
}

QTEST_MAIN(SpineTest)
#include "tst_spine.moc"
