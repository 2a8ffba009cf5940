// What the console state looks like on screen: the source-module keys and
// their voice-track blink, the signal lamps and silence alarm, the silence
// marker on the Program meters, the microphone timer, and the two commands a
// click sends back to the console.
#include <QtTest>

#include <QHostAddress>
#include <QUdpSocket>

#include <memory>

#include "apptestsupport.h"
#include "mainwindowprobe.h"

using namespace eventtest;

Q_DECLARE_METATYPE(QVector<qint32>)

namespace {

struct Lamp
{
    const char *fileWord;
    QWidget *widget;
};

// Records the order in which lamps change their picture.
class StyleOrder : public QObject
{
public:
    QVector<QObject *> changed;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange)
            changed << watched;
        return false;
    }
};

} // namespace

class TestDisplayState : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Source modules
    void colourCodes_data();
    void colourCodes();
    void colourSlotInForce_data();
    void colourSlotInForce();
    void voiceTrackOnlyBlinksChannels1238();
    void voiceTrackAlternatesNormalAndSlot2();
    void voiceTrackWithModuleOffStaysAtSlot2();
    void moduleIndexOutsideRangeIsIgnored();
    void moduleClickSendsRemoteOn();

    // Lamps
    void lampFollowsItsState_data();
    void lampFollowsItsState();
    void everyLampIsSetOnEveryRedraw();
    void silenceAlarmBlinksNonStopLamp();
    void nonStopClickSendsCommand();

    // Silence marker
    void silenceMarker_data();
    void silenceMarker();

    // Microphone timer
    void micTimeText_data();
    void micTimeText();
    void micTimerShowsWhileMicOn_data();
    void micTimerShowsWhileMicOn();
    void micOnRestartsTheTime();

private:
    QVector<Lamp> lamps() const;
    QStringList moduleStyles() const;
    void voicetrackTick();
    void bindConsoleAndOpenWindow();

    std::unique_ptr<apptest::IsolatedSettings> settings;
    std::unique_ptr<QUdpSocket> console;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

void TestDisplayState::init()
{
    settings = std::make_unique<apptest::IsolatedSettings>();
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<MainWindowProbe>(*window);
    // The tests call the timer slots themselves.
    probe->stopBackgroundTimers();
}

void TestDisplayState::cleanup()
{
    probe.reset();
    window.reset();
    console.reset();
    settings.reset();
}

// The window under test, opened to a console socket of the test's own.
void TestDisplayState::bindConsoleAndOpenWindow()
{
    cleanup();
    settings = std::make_unique<apptest::IsolatedSettings>();
    console = std::make_unique<QUdpSocket>();
    QVERIFY(console->bind(QHostAddress::LocalHost, settings->sendPort()));
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<MainWindowProbe>(*window);
    probe->stopBackgroundTimers();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

QVector<Lamp> TestDisplayState::lamps() const
{
    Ui::MainWindow *ui = probe->ui();
    return {{"onair1", ui->label_onair1},        {"onair2", ui->label_onair2},
            {"nonstop", probe->nonStopButton()}, {"silence", ui->label_silence},
            {"micon", ui->label_micon},          {"crmmute", ui->label_crmmute},
            {"phone", ui->label_telring}};
}

QStringList TestDisplayState::moduleStyles() const
{
    QStringList styles;
    for (int i = 0; i < 8; ++i)
        styles << probe->moduleButton(i)->styleSheet();
    return styles;
}

void TestDisplayState::voicetrackTick()
{
    QMetaObject::invokeMethod(window.get(), "onVoicetrack", Qt::DirectConnection);
}

void TestDisplayState::colourCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("colour");
    QTest::newRow("0") << 0 << "grey";
    QTest::newRow("1") << 1 << "red";
    QTest::newRow("2") << 2 << "green";
    QTest::newRow("3") << 3 << "grey";
    QTest::newRow("-1") << -1 << "grey";
    QTest::newRow("258") << 258 << "grey"; // low byte 2: the whole word counts
}

void TestDisplayState::colourCodes()
{
    QFETCH(int, code);
    QFETCH(QString, colour);

    // Modules off: slot 2 is in force for all eight.
    QVector<qint32> colours(24, 7);
    for (int i = 0; i < 8; ++i)
        colours[3 * i + 2] = code;
    sendEvent(*window, 73, colours);

    for (int i = 0; i < 8; ++i)
        QCOMPARE(probe->moduleButton(i)->styleSheet(), moduleStyle(i, qPrintable(colour)));
}

void TestDisplayState::colourSlotInForce_data()
{
    QTest::addColumn<int>("on");
    QTest::addColumn<int>("alt");
    QTest::addColumn<QString>("colour"); // slot 0 red, slot 1 green, slot 2 grey

    QTest::newRow("off") << 0 << 0 << "grey";
    QTest::newRow("off, alt") << 0 << 1 << "grey";
    QTest::newRow("on 2 counts as off") << 2 << 1 << "grey";
    QTest::newRow("on -1 counts as off") << -1 << 1 << "grey";
    QTest::newRow("on") << 1 << 0 << "red";
    QTest::newRow("on, alt 2 counts as not alt") << 1 << 2 << "red";
    QTest::newRow("on, alt") << 1 << 1 << "green";
}

void TestDisplayState::colourSlotInForce()
{
    QFETCH(int, on);
    QFETCH(int, alt);
    QFETCH(QString, colour);

    QVector<qint32> colours;
    for (int i = 0; i < 8; ++i)
        colours << 1 << 2 << 0;
    sendEvent(*window, 73, colours);
    // Each event redraws with the state stored so far; the last one counts.
    sendEvent(*window, 98, QVector<qint32>(8, alt));
    sendEvent(*window, 96, QVector<qint32>(8, on));

    for (int i = 0; i < 8; ++i)
        QCOMPARE(probe->moduleButton(i)->styleSheet(), moduleStyle(i, qPrintable(colour)));
}

void TestDisplayState::voiceTrackOnlyBlinksChannels1238()
{
    QVector<qint32> colours;
    for (int i = 0; i < 8; ++i)
        colours << 1 << 2 << 0;
    sendEvent(*window, 73, colours);
    sendEvent(*window, 96, QVector<qint32>(8, 1)); // all on, normal colour red
    // Voice-track reported for channel 5 only.
    sendEvent(*window, 111, {0, 0, 0, 0, 1, 0, 0, 0});

    for (int t = 0; t < 4; ++t) {
        voicetrackTick();
        for (int i = 0; i < 8; ++i)
            QCOMPARE(probe->moduleButton(i)->styleSheet(), moduleStyle(i, "red"));
    }
    // A module redraw draws channel 5 too.
    sendEvent(*window, 73, QVector<qint32>(24, 2));
    QCOMPARE(probe->moduleButton(4)->styleSheet(), moduleStyle(4, "green"));
}

void TestDisplayState::voiceTrackAlternatesNormalAndSlot2()
{
    // Channel 2: codes 1, 2, 0 and both flags on, so its normal colour is
    // slot 1, green; slot 2 is grey.
    QVector<qint32> colours(24, 0);
    colours[3] = 1;
    colours[4] = 2;
    colours[5] = 0;
    sendEvent(*window, 73, colours);
    sendEvent(*window, 98, {0, 1, 0, 0, 0, 0, 0, 0});
    sendEvent(*window, 96, {0, 1, 0, 0, 0, 0, 0, 0});
    QCOMPARE(probe->moduleButton(1)->styleSheet(), moduleStyle(1, "green"));

    // Voice-track alone changes no picture.
    sendEvent(*window, 111, {0, 1, 0, 0, 0, 0, 0, 0});
    QCOMPARE(probe->moduleButton(1)->styleSheet(), moduleStyle(1, "green"));

    // The first tick after start shows the normal colour, then they alternate.
    const char *const expected[] = {"green", "grey", "green", "grey", "green"};
    for (const char *colour : expected) {
        voicetrackTick();
        QCOMPARE(probe->moduleButton(1)->styleSheet(), moduleStyle(1, colour));
        QCOMPARE(probe->moduleButton(0)->styleSheet(), moduleStyle(0, "grey"));
    }
    // Between ticks a module redraw leaves the blinking key alone.
    sendEvent(*window, 96, {0, 1, 0, 0, 0, 0, 0, 0});
    QCOMPARE(probe->moduleButton(1)->styleSheet(), moduleStyle(1, "green"));
    voicetrackTick();
    QCOMPARE(probe->moduleButton(1)->styleSheet(), moduleStyle(1, "grey"));

    // Voice-track off: the ordinary redraw owns the key again.
    sendEvent(*window, 111, QVector<qint32>(8, 0));
    sendEvent(*window, 96, {0, 1, 0, 0, 0, 0, 0, 0});
    QCOMPARE(probe->moduleButton(1)->styleSheet(), moduleStyle(1, "green"));
}

void TestDisplayState::voiceTrackWithModuleOffStaysAtSlot2()
{
    // Channel 8 in voice-track mode with its module off: slot 2 on every tick.
    QVector<qint32> colours(24, 0);
    colours[21] = 1;
    colours[22] = 1;
    colours[23] = 2;
    sendEvent(*window, 73, colours);
    sendEvent(*window, 111, {0, 0, 0, 0, 0, 0, 0, 3}); // any non-zero word
    for (int t = 0; t < 4; ++t) {
        voicetrackTick();
        QCOMPARE(probe->moduleButton(7)->styleSheet(), moduleStyle(7, "green"));
    }
}

void TestDisplayState::moduleIndexOutsideRangeIsIgnored()
{
    sendEvent(*window, 73, QVector<qint32>(24, 1));
    const QStringList before = moduleStyles();
    for (int index : {-1, 8, 100, -100}) {
        probe->setModuleIcon(index, 2);
        QCOMPARE(moduleStyles(), before);
    }
    probe->setModuleIcon(7, 2);
    QCOMPARE(probe->moduleButton(7)->styleSheet(), moduleStyle(7, "green"));
}

void TestDisplayState::moduleClickSendsRemoteOn()
{
    bindConsoleAndOpenWindow();
    QVector<qint32> colours;
    for (int i = 0; i < 24; ++i)
        colours << (i % 3 == 2 ? 1 : 0);
    sendEvent(*window, 73, colours); // all red
    const QStringList before = moduleStyles();

    for (int i = 0; i < 8; ++i) {
        QTest::mouseClick(probe->moduleButton(i), Qt::LeftButton);
        vontra::wire::Message command;
        QVERIFY2(nextCommand(*console, vontra::wire::Kind::RemoteOn, command),
                 qPrintable(QString("module %1").arg(i)));
        QCOMPARE(command.count, 2);
        QCOMPARE(command.words[0], i);
        QCOMPARE(command.words[1], 2);
    }
    // The picture waits for the console's answer.
    QCoreApplication::processEvents();
    QCOMPARE(moduleStyles(), before);
}

void TestDisplayState::lampFollowsItsState_data()
{
    QTest::addColumn<int>("lamp"); // index into lamps()
    QTest::addColumn<int>("id");
    QTest::addColumn<QVector<qint32>>("words");
    QTest::addColumn<bool>("active");

    struct Source
    {
        int lamp;
        int id;
        int words;
        int word;
    };
    const Source sources[] = {{0, 104, 2, 0}, {1, 104, 2, 1}, {2, 101, 1, 0}, {3, 105, 1, 0},
                              {4, 102, 1, 0}, {5, 107, 1, 0}, {6, 112, 1, 0}};
    const char *const names[] = {"onair1", "onair2",  "nonstop", "silence",
                                 "micon",  "crmmute", "phone"};
    for (const Source &s : sources) {
        for (int value : {1, 0, 2, -1, 257}) {
            QVector<qint32> words(s.words, 0);
            words[s.word] = value;
            QTest::addRow("%s %d", names[s.lamp], value) << s.lamp << s.id << words << (value == 1);
        }
    }
}

void TestDisplayState::lampFollowsItsState()
{
    QFETCH(int, lamp);
    QFETCH(int, id);
    QFETCH(QVector<qint32>, words);
    QFETCH(bool, active);

    const QVector<Lamp> all = lamps();
    // From the opposite picture, so that the event has to set it.
    all[lamp].widget->setStyleSheet(lampStyle(all[lamp].fileWord, !active));
    sendEvent(*window, id, words);
    QCOMPARE(all[lamp].widget->styleSheet(), lampStyle(all[lamp].fileWord, active));
    for (int other = 0; other < all.size(); ++other)
        if (other != lamp)
            QCOMPARE(all[other].widget->styleSheet(), lampStyle(all[other].fileWord, false));
}

void TestDisplayState::everyLampIsSetOnEveryRedraw()
{
    sendEvent(*window, 104, {1, 0});
    sendEvent(*window, 101, {1});
    sendEvent(*window, 112, {1});
    sendEvent(*window, 102, {1});

    const QVector<Lamp> all = lamps();
    const bool expected[] = {true, false, true, false, true, false, true};
    StyleOrder order;
    for (const Lamp &lamp : all) {
        lamp.widget->setStyleSheet(QString()); // forget what was shown
        lamp.widget->installEventFilter(&order);
    }

    sendEvent(*window, 107, {0}); // an unrelated change redraws them all
    QVector<QObject *> expectedOrder;
    for (int i = 0; i < all.size(); ++i) {
        QCOMPARE(all[i].widget->styleSheet(), lampStyle(all[i].fileWord, expected[i]));
        expectedOrder << all[i].widget;
    }
    QCOMPARE(order.changed, expectedOrder);
}

void TestDisplayState::silenceAlarmBlinksNonStopLamp()
{
    QWidget *nonStopLamp = probe->nonStopButton();
    QWidget *silenceLamp = probe->ui()->label_silence;
    auto alarmTick = [&] {
        QMetaObject::invokeMethod(window.get(), "onSilenceAlarm", Qt::DirectConnection);
    };

    sendEvent(*window, 101, {1});
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", true));

    sendEvent(*window, 105, {1});
    QCOMPARE(silenceLamp->styleSheet(), lampStyle("silence", true));
    QVERIFY(probe->silenceAlarmTimer()->isActive());
    QCOMPARE(probe->silenceAlarmTimer()->interval(), 400);

    // The first alarm after start shows the lamp off first.
    alarmTick();
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", false));
    alarmTick();
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", true));
    alarmTick();
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", false));

    // A redraw during the alarm shows the reported state; the alarm goes on.
    sendEvent(*window, 104, {0, 0});
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", true));
    QVERIFY(probe->silenceAlarmTimer()->isActive());

    // Silence over: the alarm stops and the lamp shows the non-stop state.
    sendEvent(*window, 105, {2});
    QVERIFY(!probe->silenceAlarmTimer()->isActive());
    QCOMPARE(silenceLamp->styleSheet(), lampStyle("silence", false));
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", true));

    // The next alarm goes on from the phase where the last one stopped.
    sendEvent(*window, 105, {1});
    alarmTick();
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", true));
    alarmTick();
    QCOMPARE(nonStopLamp->styleSheet(), lampStyle("nonstop", false));

    // And the real timer drives it.
    sendEvent(*window, 101, {0});
    QTRY_COMPARE_WITH_TIMEOUT(nonStopLamp->styleSheet(), lampStyle("nonstop", true), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(nonStopLamp->styleSheet(), lampStyle("nonstop", false), 2000);
}

void TestDisplayState::nonStopClickSendsCommand()
{
    bindConsoleAndOpenWindow();
    sendEvent(*window, 101, {1});
    QTest::mouseClick(probe->nonStopButton(), Qt::LeftButton);
    vontra::wire::Message command;
    QVERIFY(nextCommand(*console, vontra::wire::Kind::RemoteNonStop, command));
    QCOMPARE(command.count, 1);
    QCOMPARE(command.words[0], 2);
    QCoreApplication::processEvents();
    QCOMPARE(probe->nonStopButton()->styleSheet(), lampStyle("nonstop", true));
}

void TestDisplayState::silenceMarker_data()
{
    QTest::addColumn<QVector<qint32>>("before"); // an earlier id-75 payload, or none
    QTest::addColumn<QVector<qint32>>("words");
    QTest::addColumn<double>("level");
    QTest::addColumn<bool>("left");
    QTest::addColumn<bool>("right");

    const QVector<qint32> none;
    QTest::newRow("-40 both") << none << QVector<qint32>{-40, 0, 2, 1} << -40.0 << true << true;
    QTest::newRow("216 is -40") << none << QVector<qint32>{216, 0, 2, 1} << -40.0 << true << true;
    QTest::newRow("low byte only")
        << none << QVector<qint32>{0x12345600 | 0xd8, 9, 2, 1} << -40.0 << true << true;
    QTest::newRow("127") << none << QVector<qint32>{127, 0, 2, 1} << 127.0 << true << true;
    QTest::newRow("128 is -128") << none << QVector<qint32>{128, 0, 2, 1} << -128.0 << true << true;
    QTest::newRow("-1") << none << QVector<qint32>{-1, 0, 2, 1} << -1.0 << true << true;
    QTest::newRow("left") << none << QVector<qint32>{-30, 0, 0, 1} << -30.0 << true << false;
    QTest::newRow("right") << none << QVector<qint32>{-30, 0, 1, 1} << -30.0 << false << true;
    QTest::newRow("both to left") << QVector<qint32>{-20, 0, 2, 1} << QVector<qint32>{-30, 0, 0, 1}
                                  << -30.0 << true << false;
    QTest::newRow("channels 5 keeps right")
        << QVector<qint32>{-20, 0, 1, 1} << QVector<qint32>{-35, 0, 5, 1} << -35.0 << false << true;
    QTest::newRow("channels -1 keeps both")
        << QVector<qint32>{-20, 0, 2, 1} << QVector<qint32>{-35, 0, -1, 1} << -35.0 << true << true;
    QTest::newRow("channels 3 keeps none")
        << none << QVector<qint32>{-35, 0, 3, 1} << -35.0 << false << false;
    QTest::newRow("disabled hides") << QVector<qint32>{-20, 0, 2, 1}
                                    << QVector<qint32>{-25, 0, 2, 0} << -25.0 << false << false;
    QTest::newRow("enabled 2 hides") << QVector<qint32>{-20, 0, 2, 1}
                                     << QVector<qint32>{-25, 0, 0, 2} << -25.0 << false << false;
}

void TestDisplayState::silenceMarker()
{
    QFETCH(QVector<qint32>, before);
    QFETCH(QVector<qint32>, words);
    QFETCH(double, level);
    QFETCH(bool, left);
    QFETCH(bool, right);

    Ui::MainWindow *ui = probe->ui();
    if (!before.isEmpty())
        sendEvent(*window, 75, before);
    sendEvent(*window, 75, words);

    QCOMPARE(ui->ProgLeft->silenceLevel(), level);
    QCOMPARE(ui->ProgRight->silenceLevel(), level);
    QCOMPARE(ui->ProgLeft->silenceMarker(), left);
    QCOMPARE(ui->ProgRight->silenceMarker(), right);
    // The monitor meters never show it.
    for (TVKPPMMeter *crm : {ui->CrmLeft, ui->CrmRight}) {
        QVERIFY(!crm->silenceMarker());
        QCOMPARE(crm->silenceLevel(), -50.0);
    }
}

void TestDisplayState::micTimeText_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << qint64(0) << "00:00:00";
    QTest::newRow("just under a second") << qint64(999) << "00:00:00";
    QTest::newRow("307 s") << qint64(307000) << "00:05:07";
    QTest::newRow("last of the day") << qint64(86399999) << "23:59:59";
    QTest::newRow("24 h wraps") << qint64(86400000) << "00:00:00";
    QTest::newRow("25 h") << qint64(90000000) << "01:00:00";
}

void TestDisplayState::micTimeText()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(MainWindowProbe::micTimeText(ms), text);
}

void TestDisplayState::micTimerShowsWhileMicOn_data()
{
    QTest::addColumn<int>("micOn");
    QTest::addColumn<bool>("shown");
    QTest::newRow("1") << 1 << true;
    QTest::newRow("0") << 0 << false;
    QTest::newRow("2") << 2 << false;
    QTest::newRow("-1") << -1 << false;
}

void TestDisplayState::micTimerShowsWhileMicOn()
{
    QFETCH(int, micOn);
    QFETCH(bool, shown);
    QLabel *timer = probe->ui()->label_mictime;

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    timer->setText(QStringLiteral("time"));
    timer->setVisible(!shown);

    sendEvent(*window, 102, {micOn});
    QMetaObject::invokeMethod(window.get(), "onShowMicTimer", Qt::DirectConnection);
    QCOMPARE(timer->isVisible(), shown);
    // The text is refreshed also while hidden: some time since the last start.
    QVERIFY2(QRegularExpression("^00:00:0\\d$").match(timer->text()).hasMatch(),
             qPrintable(timer->text()));
}

void TestDisplayState::micOnRestartsTheTime()
{
    sendEvent(*window, 102, {1});
    QTest::qWait(120);
    QVERIFY(probe->micElapsedMs() >= 100);

    // Reported on again while already on: the time starts over.
    sendEvent(*window, 102, {1});
    QVERIFY(probe->micElapsedMs() < 100);

    // Reported off: the time is left alone.
    QTest::qWait(120);
    sendEvent(*window, 102, {0});
    QVERIFY(probe->micElapsedMs() >= 100);
}

QTEST_MAIN(TestDisplayState)
#include "tst_display_state.moc"
