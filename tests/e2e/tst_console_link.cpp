// The display working end to end: the real main window, the stand-in
// console-link library and the console simulator, over loopback.
#include "apptestsupport.h"
#include "mainwindow.h"
#include "mylabel.h"
#include "simprocess.h"
#include "ui_mainwindow.h"
#include "watchdogclock.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

#include <atomic>

class MainWindowProbe
{
public:
    static bool online(const MainWindow &w) { return w.online; }
    static int linkHandle(const MainWindow &w) { return w.linkHandle; }
    static QTimer *keepAlive(const MainWindow &w) { return w.keepAliveTimer; }
    static Ui::MainWindow *ui(const MainWindow &w) { return w.ui; }
    static myLabel *module(const MainWindow &w, int i) { return w.moduleButtons[i]; }
    static myLabel *nonStop(const MainWindow &w) { return w.nonStopButton; }
    static QImage background(const MainWindow &w) { return w.background->toImage(); }
    static bool rescalePending(const MainWindow &w) { return w.rescalePending; }
    static void openSettings(MainWindow &w) { w.openSettings(); }
    static quint16 sendPort(const MainWindow &w) { return w.udp_send_port; }
};

namespace {

const QList<int> requestBatch = {100, 96, 98, 73, 75, 111, 104, 101, 105, 102, 107};
constexpr int watchdogMs = 3000;
constexpr int watchdogToleranceMs = 200;

// Request ids in the order the simulator received them.
QList<int> requestsSeen(SimProcess &sim)
{
    sim.waitForOutput(QStringLiteral("\x01"), 50); // collect what has arrived
    QList<int> ids;
    const QRegularExpression line(QStringLiteral("recv request (\\d+) from"));
    auto it = line.globalMatch(sim.output);
    while (it.hasNext())
        ids.append(it.next().captured(1).toInt());
    return ids;
}

QString styleOf(const QWidget *w)
{
    return w->styleSheet();
}

} // namespace

class ConsoleLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void goesOnlineWithOneRequestBatch();
    void consoleGoingAwayAndComingBack();
    void consoleThatNeverAnswers();
    void clicksAreAnsweredByTheConsole();
    void acceptedSettingsReopenTheLink();
    void cancelledSettingsChangeNothing();
    void lossyNetworkStillGivesTheFullState();

private:
    bool startSim(SimProcess &sim, const apptest::IsolatedSettings &settings,
                  QStringList extra = {});
};

bool ConsoleLinkTest::startSim(SimProcess &sim, const apptest::IsolatedSettings &settings,
                               QStringList extra)
{
    extra << "--port" << QString::number(settings.sendPort()) << "--target"
          << QStringLiteral("127.0.0.1:%1").arg(settings.recvPort()) << "--quiet-life"
          << "--verbose"
          << "--seed"
          << "7";
    return sim.start(extra);
}

void ConsoleLinkTest::goesOnlineWithOneRequestBatch()
{
    apptest::IsolatedSettings settings;
    SimProcess sim;
    QVERIFY(startSim(sim, settings, {"--rate", "10"}));
    MainWindow window;
    window.show();
    QVERIFY(MainWindowProbe::linkHandle(window) != 0);
    const QImage offline = MainWindowProbe::background(window);

    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 1000);
    QVERIFY(MainWindowProbe::background(window) != offline);
    QTRY_COMPARE_WITH_TIMEOUT(requestsSeen(sim), requestBatch, 2000);

    // Meter events every 100 ms keep the window online, with no new batch.
    apptest::WatchdogClock watchdog(window, MainWindowProbe::keepAlive(window));
    QTest::qWait(watchdogMs + 1000);
    QVERIFY(MainWindowProbe::online(window));
    QVERIFY(watchdog.resetsMs.isEmpty());
    QCOMPARE(requestsSeen(sim), requestBatch);
    // The console's answers reached the screen.
    QCOMPARE(MainWindowProbe::ui(window)->label_src_1->text(), QStringLiteral("MIC"));
    QCOMPARE(MainWindowProbe::ui(window)->label_src_8->text(), QStringLiteral("VOIP"));
}

void ConsoleLinkTest::consoleGoingAwayAndComingBack()
{
    apptest::IsolatedSettings settings;
    QTemporaryFile scenario;
    QVERIFY(scenario.open());
    // The ring comes a second in: the window must have opened its link by
    // then, which a slow (sanitizer) build on a busy machine may take a while.
    scenario.write("at 1.0 set phoneringing 1\n"
                   "at 2.5 meters stop\n"
                   "at 7.0 meters start\n");
    scenario.close();

    SimProcess sim;
    QVERIFY(startSim(sim, settings, {"--rate", "50", "--scenario", scenario.fileName()}));
    MainWindow window;
    window.show();
    apptest::WatchdogClock watchdog(window, MainWindowProbe::keepAlive(window));
    Ui::MainWindow *ui = MainWindowProbe::ui(window);
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(styleOf(ui->label_telring).contains("phone-active"), 2000);

    // Meters stop: exactly one offline reset, 3 s after the last meter event.
    QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::online(window), 6000);
    QCOMPARE(watchdog.resetsMs.size(), 1);
    const qint64 gap = watchdog.resetsMs[0] - watchdog.lastMeterAtReset[0];
    QVERIFY2(qAbs(gap - watchdogMs) <= watchdogToleranceMs, qPrintable(QString::number(gap)));
    QVERIFY(styleOf(ui->label_telring).contains("phone-active"));
    QVERIFY(ui->label_mictime->isHidden());
    for (int i = 0; i < 8; ++i)
        QVERIFY(styleOf(MainWindowProbe::module(window, i)).contains("-grey.png"));
    QVERIFY(MainWindowProbe::rescalePending(window) || window.isVisible());

    // Meters return: one new batch, online background again.
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 5000);
    QList<int> twice = requestBatch;
    twice += requestBatch;
    QTRY_COMPARE_WITH_TIMEOUT(requestsSeen(sim), twice, 2000);
    QCOMPARE(watchdog.resetsMs.size(), 1);
    QCOMPARE(MainWindowProbe::background(window),
             QImage(QString::fromLatin1(":/resources/png/background_online.png"))
                 .convertToFormat(MainWindowProbe::background(window).format()));
}

void ConsoleLinkTest::consoleThatNeverAnswers()
{
    apptest::IsolatedSettings settings;
    QElapsedTimer clock;
    clock.start();
    MainWindow window;
    window.show();
    QVERIFY(MainWindowProbe::linkHandle(window) != 0);
    QSignalSpy resets(MainWindowProbe::keepAlive(window), SIGNAL(timeout()));
    QVERIFY(resets.wait(watchdogMs + 1000));
    QVERIFY(qAbs(clock.elapsed() - watchdogMs) <= watchdogToleranceMs + 100);
    QTest::qWait(watchdogMs + 500);
    QCOMPARE(resets.count(), 1);
    QVERIFY(!MainWindowProbe::online(window));
}

void ConsoleLinkTest::clicksAreAnsweredByTheConsole()
{
    apptest::IsolatedSettings settings;
    SimProcess sim;
    QVERIFY(startSim(sim, settings, {"--rate", "20"}));
    MainWindow window;
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 1000);

    myLabel *key = MainWindowProbe::module(window, 2);
    QTRY_VERIFY_WITH_TIMEOUT(styleOf(key).contains("3-grey.png"), 2000);
    QTest::mouseClick(key, Qt::LeftButton);
    // The key changes only when the console reports module 3 on (slot 0 red).
    QVERIFY(styleOf(key).contains("3-grey.png"));
    QTRY_VERIFY_WITH_TIMEOUT(styleOf(key).contains("3-red.png"), 2000);
    QVERIFY(sim.waitForOutput(QStringLiteral("recv remote-on module 2 value 2"), 1000));

    myLabel *nonStop = MainWindowProbe::nonStop(window);
    QVERIFY(styleOf(nonStop).contains("nonstop-inactive"));
    QTest::mouseClick(nonStop, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(styleOf(nonStop).contains("nonstop-active"), 2000);
    QVERIFY(sim.waitForOutput(QStringLiteral("recv remote-non-stop value 2"), 1000));
}

namespace {

// Presses a button of the settings dialog once it is up.
void pressInDialog(QDialogButtonBox::StandardButton which)
{
    QTimer::singleShot(200, [which] {
        QWidget *dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        auto *box = dialog->findChild<QDialogButtonBox *>("buttonBox");
        QVERIFY(box);
        box->button(which)->click();
    });
}

} // namespace

void ConsoleLinkTest::acceptedSettingsReopenTheLink()
{
    apptest::IsolatedSettings settings;
    // The test's own ports are not the defaults: keep them through the dialog.
    QSettings().setValue("use_default_ports", false);
    SimProcess sim;
    QVERIFY(startSim(sim, settings, {"--rate", "20"}));
    MainWindow window;
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(requestsSeen(sim), requestBatch, 2000);
    const int before = MainWindowProbe::linkHandle(window);

    pressInDialog(QDialogButtonBox::Ok);
    MainWindowProbe::openSettings(window);

    QVERIFY(MainWindowProbe::linkHandle(window) != before);
    QVERIFY(MainWindowProbe::linkHandle(window) != 0);
    QCOMPARE(MainWindowProbe::sendPort(window), settings.sendPort());
    QList<int> twice = requestBatch;
    twice += requestBatch;
    QTRY_COMPARE_WITH_TIMEOUT(requestsSeen(sim), twice, 2000);
    QVERIFY(MainWindowProbe::online(window));
}

void ConsoleLinkTest::cancelledSettingsChangeNothing()
{
    apptest::IsolatedSettings settings;
    SimProcess sim;
    QVERIFY(startSim(sim, settings, {"--rate", "20"}));
    MainWindow window;
    window.show();
    QTRY_COMPARE_WITH_TIMEOUT(requestsSeen(sim), requestBatch, 2000);
    const int before = MainWindowProbe::linkHandle(window);

    pressInDialog(QDialogButtonBox::Cancel);
    MainWindowProbe::openSettings(window);

    QCOMPARE(MainWindowProbe::linkHandle(window), before);
    QTest::qWait(300);
    QCOMPARE(requestsSeen(sim), requestBatch);
}

// A bad network loses 30% of the datagrams each way, requests and answers
// among them: the library asks again for what did not come, so soon after
// going online the display shows all of the console's state, not a part.
void ConsoleLinkTest::lossyNetworkStillGivesTheFullState()
{
    apptest::IsolatedSettings settings;
    QTemporaryFile scenario;
    QVERIFY(scenario.open());
    scenario.write("at 0 set onair1 1\n"
                   "at 0 set crmmute 1\n"
                   "at 0 set nonstop 1\n"
                   "at 0 set moduleon 0 1\n"
                   "at 0 set moduleon 5 1\n"
                   "at 0 set modulealt 5 1\n"
                   "at 0 set sourcetype 2 1\n"
                   "at 0 set silenceenabled 0\n");
    scenario.close();
    SimProcess sim;
    QVERIFY(startSim(sim, settings, {"--loss", "30", "--scenario", scenario.fileName()}));
    MainWindow window;
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::online(window), 2000);

    Ui::MainWindow *ui = MainWindowProbe::ui(window);
    const auto differences = [&] {
        QStringList wrong;
        const auto expect = [&](bool ok, const char *what) {
            if (!ok)
                wrong << QLatin1String(what);
        };
        // Module 1 on (slot 0, red), module 6 on its alternative (slot 1,
        // green), the others off (slot 2, grey).
        for (int i = 0; i < 8; ++i) {
            const QString colour = i == 0 ? "red" : i == 5 ? "green" : "grey";
            expect(styleOf(MainWindowProbe::module(window, i))
                       .contains(QStringLiteral("/%1-%2.png").arg(i + 1).arg(colour)),
                   "module colours");
        }
        expect(styleOf(ui->label_onair1).contains("onair1-active"), "on air 1");
        expect(styleOf(ui->label_crmmute).contains("crmmute-active"), "CRM mute");
        expect(styleOf(MainWindowProbe::nonStop(window)).contains("nonstop-active"), "non-stop");
        expect(ui->label_src_3->text() == QLatin1String("MIC"), "source types");
        expect(ui->label_src_8->text() == QLatin1String("VOIP"), "source types");
        expect(!ui->ProgLeft->silenceMarker() && !ui->ProgRight->silenceMarker(),
               "silence detection");
        wrong.removeDuplicates();
        return wrong;
    };
    QTRY_COMPARE_WITH_TIMEOUT(differences(), QStringList(), 5000);
    QVERIFY2(sim.waitForOutput(QStringLiteral("lost"), 1000), "the simulator lost nothing");
}

QTEST_MAIN(ConsoleLinkTest)
#include "tst_console_link.moc"
