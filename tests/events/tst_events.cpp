// Console events into the console state: what each id stores, which signals
// it emits and in what order, the diagnostic lines, delivery from the
// library's own thread, and the 10 ms meter drive.
#include <QtTest>

#include <QHostAddress>
#include <QUdpSocket>

#include <cmath>
#include <limits>
#include <memory>
#include <thread>

#include "apptestsupport.h"
#include "mainwindowprobe.h"

using namespace eventtest;

Q_DECLARE_METATYPE(QVector<qint32>)

namespace {

struct NamedSignal
{
    const char *name;
    void (MainWindow::*signal)();
};
const NamedSignal windowSignals[] = {
    {"doRedrawModules", &MainWindow::doRedrawModules},
    {"doRedrawSignals", &MainWindow::doRedrawSignals},
    {"doHandleMicTimer", &MainWindow::doHandleMicTimer},
    {"doKeepAliveTimer", &MainWindow::doKeepAliveTimer},
    {"doConfigSilenceDetection", &MainWindow::doConfigSilenceDetection},
};

// Records the five signals as they are emitted, with what the decoder had
// stored at that moment.
struct Emission
{
    QString name;
    QVector<qint32> state;
    std::array<double, 4> targets;
};

QVector<qint32> sequence(int count, qint32 first)
{
    QVector<qint32> words;
    for (int i = 0; i < count; ++i)
        words << first + i;
    return words;
}

QStringList labelTexts(const MainWindowProbe &probe)
{
    const Ui::MainWindow *ui = probe.ui();
    QStringList texts;
    for (const QLabel *label : {ui->label_src_1, ui->label_src_2, ui->label_src_3, ui->label_src_4,
                                ui->label_src_5, ui->label_src_6, ui->label_src_7, ui->label_src_8})
        texts << label->text();
    return texts;
}

// Debug-channel capture.
struct CapturedLine
{
    QtMsgType type;
    QString category;
    QString text;
    qint32 phoneRingingThen;
};
QVector<CapturedLine> capturedLines;
const MainWindowProbe *captureProbe = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const qint32 phone =
        captureProbe ? captureProbe->consoleState()[MainWindowProbe::PhoneRinging] : 0;
    capturedLines.append({type, QString::fromLatin1(context.category), text, phone});
}

// Collects warnings mentioning threads, such as a timer started from the
// wrong one.
QStringList threadWarnings;
QtMessageHandler previousHandler = nullptr;
void watchThreadWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtDebugMsg && text.contains(QLatin1String("thread"), Qt::CaseInsensitive))
        threadWarnings << text;
    if (previousHandler)
        previousHandler(type, context, text);
}

// Records on which thread a widget's style sheet is changed.
class StyleChangeWatcher : public QObject
{
public:
    QVector<Qt::HANDLE> threads;
    QVector<QObject *> objects;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange) {
            threads << QThread::currentThreadId();
            objects << watched;
        }
        return false;
    }
};

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestEvents : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Decoding
    void storesAndSignals_data();
    void storesAndSignals();
    void meterEventFeedsWatchdogBeforeStoring();
    void ignoredIdsTouchNothing_data();
    void ignoredIdsTouchNothing();
    void sourceTypeTexts_data();
    void sourceTypeTexts();
    void diagnosticLines_data();
    void diagnosticLines();

    // Delivery from other threads
    void eventsFromPlainThreadAreQueuedToGuiThread();
    void eventsThroughTheLibraryOverLoopback();

    // Meter drive
    void fallFromZeroToMinus40TakesAbout301Ticks_data();
    void fallFromZeroToMinus40TakesAbout301Ticks();
    void riseShowsAtNextTick_data();
    void riseShowsAtNextTick();
    void fallIsLimitedUntilTheMeterClampHolds();
    void idleMeterIsNeitherWrittenNorRepainted();
    void nanTargetDoesNotFreezeTheMeter();

private:
    void tick(int count = 1);

    std::unique_ptr<apptest::IsolatedSettings> settings;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

void TestEvents::init()
{
    settings = std::make_unique<apptest::IsolatedSettings>();
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<MainWindowProbe>(*window);
}

void TestEvents::cleanup()
{
    probe.reset();
    window.reset();
    settings.reset();
}

void TestEvents::tick(int count)
{
    for (int i = 0; i < count; ++i)
        QMetaObject::invokeMethod(window.get(), "meterRelease", Qt::DirectConnection);
}

void TestEvents::storesAndSignals_data()
{
    using P = MainWindowProbe;
    QTest::addColumn<int>("id");
    QTest::addColumn<QVector<qint32>>("words");
    QTest::addColumn<QVector<qint32>>("expected"); // whole console state afterwards
    QTest::addColumn<QStringList>("signalOrder");

    const QVector<qint32> zero(P::StateSize, 0);
    auto with = [&](int offset, const QVector<qint32> &values) {
        QVector<qint32> s = zero;
        for (int i = 0; i < values.size(); ++i)
            s[offset + i] = values[i];
        return s;
    };

    const QStringList modules{"doRedrawModules"};
    const QStringList lamps{"doRedrawSignals"};

    QTest::newRow("73 colours") << 73 << sequence(24, 100)
                                << with(P::ModuleColours, sequence(24, 100)) << modules;
    QTest::newRow("75 silence detection")
        << 75 << QVector<qint32>{-40, 7, 2, 1} << with(P::SilenceThreshold, {-40, 7, 2, 1})
        << QStringList{"doConfigSilenceDetection"};
    QTest::newRow("96 module on") << 96 << sequence(8, 200) << with(P::ModuleOn, sequence(8, 200))
                                  << modules;
    QTest::newRow("98 module alt")
        << 98 << sequence(8, 300) << with(P::ModuleAlt, sequence(8, 300)) << modules;
    QTest::newRow("100 source types") << 100 << sequence(8, 1) << zero << QStringList();
    QTest::newRow("101 non-stop") << 101 << QVector<qint32>{5} << with(P::NonStop, {5}) << lamps;
    QTest::newRow("102 mic on") << 102 << QVector<qint32>{1} << with(P::MicOn, {1})
                                << QStringList{"doHandleMicTimer", "doRedrawSignals"};
    QTest::newRow("102 mic off value") << 102 << QVector<qint32>{-3} << with(P::MicOn, {-3})
                                       << QStringList{"doHandleMicTimer", "doRedrawSignals"};
    QTest::newRow("104 on air") << 104 << QVector<qint32>{3, 1} << with(P::OnAir1, {3, 1}) << lamps;
    QTest::newRow("105 silence") << 105 << QVector<qint32>{7} << with(P::SilenceDetected, {7})
                                 << lamps;
    QTest::newRow("107 crm mute") << 107 << QVector<qint32>{-2} << with(P::CrmMute, {-2}) << lamps;
    QTest::newRow("111 voice track")
        << 111 << sequence(8, 11) << with(P::VoiceTrack, sequence(8, 11)) << QStringList();
    QTest::newRow("112 phone") << 112 << QVector<qint32>{9} << with(P::PhoneRinging, {9}) << lamps;
    QTest::newRow("128 meters") << 128 << meterWords(-1, -2, -3, -4) << zero
                                << QStringList{"doKeepAliveTimer"};
}

void TestEvents::storesAndSignals()
{
    QFETCH(int, id);
    QFETCH(QVector<qint32>, words);
    QFETCH(QVector<qint32>, expected);
    QFETCH(QStringList, signalOrder);

    QCOMPARE(probe->consoleState(), QVector<qint32>(MainWindowProbe::StateSize, 0));

    QVector<Emission> emissions;
    for (const NamedSignal &s : windowSignals) {
        const QString signalName = QLatin1String(s.name);
        // Direct: recorded while the decoder is still inside the call.
        connect(
            window.get(), s.signal, window.get(),
            [&, signalName] {
                emissions.append(
                    {signalName,
                     probe->consoleState(),
                     {probe->target(0), probe->target(1), probe->target(2), probe->target(3)}});
            },
            Qt::DirectConnection);
    }

    sendEvent(*window, id, words);

    QStringList order;
    for (const Emission &e : emissions)
        order << e.name;
    QCOMPARE(order, signalOrder);
    QCOMPARE(probe->consoleState(), expected);
    // Every store is done before the first signal leaves.
    for (const Emission &e : emissions)
        QCOMPARE(e.state, expected);
}

void TestEvents::meterEventFeedsWatchdogBeforeStoring()
{
    const std::array<double, 4> before{-50.0, -50.0, -50.0, -50.0};
    std::array<double, 4> atSignal{};
    int emitted = 0;
    connect(window.get(), &MainWindow::doKeepAliveTimer, window.get(), [&] {
        ++emitted;
        for (int m = 0; m < 4; ++m)
            atSignal[size_t(m)] = probe->target(m);
    });

    // Ten floats: a bigger console's further buses are not read; floats 2 and
    // 3 are never shown. Values that single precision cannot hold exactly.
    QVector<qint32> words = meterWords(-12.3f, 4.7f, -0.1f, -49.99f);
    words << floatBits(1.0f) << floatBits(2.0f) << floatBits(3.0f) << floatBits(4.0f);
    sendEvent(*window, 128, words);

    QCOMPARE(emitted, 1);
    QCOMPARE(atSignal, before);
    QCOMPARE(probe->target(0), double(-12.3f));
    QCOMPARE(probe->target(1), double(4.7f));
    QCOMPARE(probe->target(2), double(-0.1f));
    QCOMPARE(probe->target(3), double(-49.99f));
    QCOMPARE(probe->consoleState(), QVector<qint32>(MainWindowProbe::StateSize, 0));
}

void TestEvents::ignoredIdsTouchNothing_data()
{
    QTest::addColumn<int>("id");
    for (int id : {74, 99, 127, 200, 0, -1, 129, 113, 72})
        QTest::addRow("%d", id) << id;
}

void TestEvents::ignoredIdsTouchNothing()
{
    QFETCH(int, id);
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const NamedSignal &s : windowSignals)
        spies.push_back(std::make_unique<QSignalSpy>(window.get(), s.signal));
    const QStringList textsBefore = labelTexts(*probe);

    // A null payload: an ignored event must not even look at it.
    vontra_event event{};
    event.id = id;
    event.payload = nullptr;
    window->consoleEvent(&event);
    QCoreApplication::processEvents();

    for (const auto &spy : spies)
        QCOMPARE(spy->count(), 0);
    QCOMPARE(probe->consoleState(), QVector<qint32>(MainWindowProbe::StateSize, 0));
    for (int m = 0; m < 4; ++m)
        QCOMPARE(probe->target(m), -50.0);
    QCOMPARE(labelTexts(*probe), textsBefore);
}

void TestEvents::sourceTypeTexts_data()
{
    QTest::addColumn<QVector<qint32>>("words");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("mixed") << QVector<qint32>{1, 0, 5, 1, 0, 0, 0, 2}
                           << QStringList{"MIC",  "LINE", "MIC",  "USB",
                                          "LINE", "LINE", "LINE", "VOIP"};
    QTest::newRow("any non-zero counts")
        << QVector<qint32>{-1, 2, std::numeric_limits<qint32>::min(), 7, 100, -5, 3, -9}
        << QStringList{"MIC", "MIC", "MIC", "USB", "USB", "USB", "USB", "VOIP"};
    QTest::newRow("all line") << QVector<qint32>(8, 0)
                              << QStringList(QVector<QString>(8, "LINE").toList());
}

void TestEvents::sourceTypeTexts()
{
    QFETCH(QVector<qint32>, words);
    QFETCH(QStringList, texts);

    // Start from the opposite so that every label has to change.
    QVector<qint32> opposite(8);
    for (int i = 0; i < 8; ++i)
        opposite[i] = words[i] == 0 ? 1 : 0;
    sendEvent(*window, 100, opposite);

    QSignalSpy redrawModules(window.get(), &MainWindow::doRedrawModules);
    sendEvent(*window, 100, words);
    // On the GUI thread the texts are set during the call, without a detour
    // through the event loop.
    QCOMPARE(labelTexts(*probe), texts);
    QCOMPARE(redrawModules.count(), 0);
}

void TestEvents::diagnosticLines_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QVector<qint32>>("words");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("111 counting") << 111 << sequence(8, 1)
                                  << QStringList{"STATE_VT Ch.1:  1 Ch.2:  2 Ch.3:  3 Ch.8:  8"};
    QTest::newRow("111 extremes")
        << 111 << QVector<qint32>{-1, 0, 12345, 44, 55, 66, 77, std::numeric_limits<qint32>::min()}
        << QStringList{"STATE_VT Ch.1:  -1 Ch.2:  0 Ch.3:  12345 Ch.8:  -2147483648"};
    QTest::newRow("112 ringing") << 112 << QVector<qint32>{1}
                                 << QStringList{"STATE_PHONE_RINGING state:  1"};
    QTest::newRow("112 negative") << 112 << QVector<qint32>{-7}
                                  << QStringList{"STATE_PHONE_RINGING state:  -7"};
    QTest::newRow("104 writes none") << 104 << QVector<qint32>{1, 1} << QStringList();
    QTest::newRow("128 writes none") << 128 << meterWords(0, 0, 0, 0) << QStringList();
}

void TestEvents::diagnosticLines()
{
    QFETCH(int, id);
    QFETCH(QVector<qint32>, words);
    QFETCH(QStringList, lines);

    capturedLines.clear();
    captureProbe = probe.get();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    sendEvent(*window, id, words);
    qInstallMessageHandler(previous);
    captureProbe = nullptr;

    QStringList texts;
    for (const CapturedLine &line : qAsConst(capturedLines)) {
        texts << line.text;
        QCOMPARE(line.type, QtDebugMsg);
        QCOMPARE(line.category, QStringLiteral("default"));
    }
    QCOMPARE(texts, lines);
    // The phone line is written before the new state is stored.
    if (id == 112) {
        QCOMPARE(capturedLines.first().phoneRingingThen, 0);
        QCOMPARE(probe->consoleState()[MainWindowProbe::PhoneRinging], words[0]);
    }
}

void TestEvents::eventsFromPlainThreadAreQueuedToGuiThread()
{
    Ui::MainWindow *ui = probe->ui();
    const Qt::HANDLE guiThread = QThread::currentThreadId();

    StyleChangeWatcher styles;
    ui->label_onair1->installEventFilter(&styles);
    probe->nonStopButton()->installEventFilter(&styles);
    probe->moduleButton(0)->installEventFilter(&styles);

    // The window's own connections are automatic; so is this one, which
    // records the order and thread in which the queued signals arrive.
    QStringList arrived;
    QVector<Qt::HANDLE> arrivalThreads;
    for (const NamedSignal &s : windowSignals) {
        const QString signalName = QLatin1String(s.name);
        connect(window.get(), s.signal, window.get(), [&, signalName] {
            arrived << signalName;
            arrivalThreads << QThread::currentThreadId();
        });
    }

    threadWarnings.clear();
    previousHandler = qInstallMessageHandler(watchThreadWarnings);

    QVector<qint32> colours(24, 0);
    colours[2] = 1; // module 1, slot 2: red while the module is off
    std::thread console([&] {
        sendEvent(*window, 100, {1, 0, 5, 1, 0, 0, 0, 2});
        sendEvent(*window, 73, colours);
        sendEvent(*window, 102, {1});
        sendEvent(*window, 104, {1, 0});
        sendEvent(*window, 101, {1});
        sendEvent(*window, 75, {-30, 0, 2, 1});
        sendEvent(*window, 128, meterWords(-6.5f, -7.5f, -8.5f, -9.5f));
    });
    console.join();

    // The stores are done, but nothing visible has changed yet: every widget
    // change waits for the GUI thread's event loop.
    QCOMPARE(probe->consoleState()[MainWindowProbe::OnAir1], 1);
    QCOMPARE(probe->consoleState()[MainWindowProbe::ModuleColours + 2], 1);
    QCOMPARE(probe->target(3), -9.5);
    QCOMPARE(ui->label_src_1->text(), QStringLiteral("LINE"));
    QCOMPARE(ui->label_onair1->styleSheet(), lampStyle("onair1", false));
    QCOMPARE(probe->moduleButton(0)->styleSheet(), moduleStyle(0, "grey"));
    QVERIFY(!ui->ProgLeft->silenceMarker());
    QVERIFY(!probe->isOnline());
    QVERIFY(arrived.isEmpty());
    QVERIFY(styles.threads.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(arrived.size(), 5, 5000);
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;

    // One call of each kind waits for the GUI thread at a time: the lamp
    // events 104 and 101 found the redraw raised by 102 still waiting, and
    // that one redraw shows all three.
    QCOMPARE(arrived, (QStringList{"doRedrawModules", "doHandleMicTimer", "doRedrawSignals",
                                   "doConfigSilenceDetection", "doKeepAliveTimer"}));
    for (Qt::HANDLE thread : qAsConst(arrivalThreads))
        QCOMPARE(thread, guiThread);

    QCOMPARE(labelTexts(*probe),
             (QStringList{"MIC", "LINE", "MIC", "USB", "LINE", "LINE", "LINE", "VOIP"}));
    QCOMPARE(ui->label_onair1->styleSheet(), lampStyle("onair1", true));
    QCOMPARE(probe->nonStopButton()->styleSheet(), lampStyle("nonstop", true));
    QCOMPARE(ui->label_micon->styleSheet(), lampStyle("micon", true));
    QCOMPARE(probe->moduleButton(0)->styleSheet(), moduleStyle(0, "red"));
    QVERIFY(ui->ProgLeft->silenceMarker());
    QVERIFY(ui->ProgRight->silenceMarker());
    QCOMPARE(ui->ProgLeft->silenceLevel(), -30.0);
    QVERIFY(probe->isOnline());
    QVERIFY(probe->keepAliveTimer()->isActive());
    QVERIFY(probe->voicetrackTimer()->isActive());

    QVERIFY(!styles.threads.isEmpty());
    for (Qt::HANDLE thread : qAsConst(styles.threads))
        QCOMPARE(thread, guiThread);
    QVERIFY2(threadWarnings.isEmpty(), qPrintable(threadWarnings.join('\n')));
}

void TestEvents::eventsThroughTheLibraryOverLoopback()
{
    // Play the console: bind its port before a window opens the link to it.
    cleanup();
    settings = std::make_unique<apptest::IsolatedSettings>();
    QUdpSocket consoleSocket;
    QVERIFY(consoleSocket.bind(QHostAddress::LocalHost, settings->sendPort()));
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<MainWindowProbe>(*window);
    Ui::MainWindow *ui = probe->ui();

    // The link is open once its request batch arrives.
    vontra::wire::Message request;
    QVERIFY(nextCommand(consoleSocket, vontra::wire::Kind::Request, request));

    const Qt::HANDLE guiThread = QThread::currentThreadId();
    std::atomic<int> decoderCalls{0};
    std::atomic<bool> decodedOnGuiThread{false};
    connect(
        window.get(), &MainWindow::doRedrawSignals, window.get(),
        [&] {
            ++decoderCalls;
            if (QThread::currentThreadId() == guiThread)
                decodedOnGuiThread = true;
        },
        Qt::DirectConnection);
    StyleChangeWatcher styles;
    ui->label_onair1->installEventFilter(&styles);
    // A new link thread starts after the connection above, so that a thread
    // sanitizer sees the connection made before any event is decoded.
    probe->reopenLink();
    bool newBatch = false;
    for (int i = 0; i < 30 && !newBatch; ++i) {
        QVERIFY(nextCommand(consoleSocket, vontra::wire::Kind::Request, request));
        newBatch = request.id == 100;
    }
    QVERIFY(newBatch);

    auto send = [&](qint32 id, const QVector<qint32> &words) {
        uint8_t buffer[vontra::wire::kMaxDatagram];
        const size_t size =
            vontra::wire::encodeEvent(id, words.constData(), words.size(), buffer, sizeof buffer);
        QVERIFY(size > 0);
        QCOMPARE(consoleSocket.writeDatagram(reinterpret_cast<const char *>(buffer), qint64(size),
                                             QHostAddress::LocalHost, settings->recvPort()),
                 qint64(size));
    };
    QVector<qint32> colours(24, 0);
    colours[3 * 4 + 2] = 2; // module 5, slot 2: green while the module is off
    send(100, {1, 0, 5, 1, 0, 0, 0, 2});
    send(104, {1, 0});
    send(73, colours);
    send(128, meterWords(-6.5f, -7.5f, 2.25f, -48.0f));

    QTRY_COMPARE_WITH_TIMEOUT(
        labelTexts(*probe),
        (QStringList{"MIC", "LINE", "MIC", "USB", "LINE", "LINE", "LINE", "VOIP"}), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_onair1->styleSheet(), lampStyle("onair1", true), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(probe->moduleButton(4)->styleSheet(), moduleStyle(4, "green"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(probe->isOnline(), 5000);
    QCOMPARE(probe->target(0), -6.5);
    QCOMPARE(probe->target(1), -7.5);
    QCOMPARE(probe->target(2), 2.25);
    QCOMPARE(probe->target(3), -48.0);
    QCOMPARE(probe->consoleState()[MainWindowProbe::OnAir1], 1);

    // The library decodes on its own thread; the lamp changed on ours.
    QCOMPARE(decoderCalls.load(), 1);
    QVERIFY(!decodedOnGuiThread);
    QVERIFY(!styles.threads.isEmpty());
    for (Qt::HANDLE thread : qAsConst(styles.threads))
        QCOMPARE(thread, guiThread);
}

void TestEvents::fallFromZeroToMinus40TakesAbout301Ticks_data()
{
    QTest::addColumn<int>("meter");
    const char *const names[] = {"ProgLeft", "ProgRight", "CrmLeft", "CrmRight"};
    for (int m = 0; m < 4; ++m)
        QTest::newRow(names[m]) << m;
}

void TestEvents::fallFromZeroToMinus40TakesAbout301Ticks()
{
    QFETCH(int, meter);
    probe->stopBackgroundTimers();
    TVKPPMMeter *driven = probe->meter(meter);
    driven->setLevelWithoutRepaint(0.0);
    driven->calculatePosition();
    probe->setTarget(meter, -40.0);

    const double step = double(0.133f);
    int ticks = 0;
    double previous = driven->dBPosition();
    while (std::abs(driven->dBPosition() + 40.0) > 1e-6 && ticks < 1000) {
        tick();
        ++ticks;
        const double fall = previous - driven->dBPosition();
        QVERIFY2(fall > 0 && fall <= step + 1e-9, qPrintable(QString::number(fall)));
        previous = driven->dBPosition();
        // Only the meter whose target moved follows it.
        for (int other = 0; other < 4; ++other)
            if (other != meter)
                QCOMPARE(probe->meter(other)->dBPosition(), -50.0);
    }
    QCOMPARE(ticks, 301);

    // It stops at the target, not below, and then stays.
    tick(3);
    QCOMPARE(driven->dBPosition(), -40.0);
}

void TestEvents::riseShowsAtNextTick_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("shown");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("-20 to +3") << -20.0 << 3.0 << 3.0;
    QTest::newRow("above the meter's max") << -20.0 << 12.0 << 5.0;
    QTest::newRow("infinite") << -20.0 << inf << 5.0;
    QTest::newRow("from the floor") << -50.0 << 0.0 << 0.0;
    QTest::newRow("small") << -30.0 << -29.75 << -29.75;
}

void TestEvents::riseShowsAtNextTick()
{
    QFETCH(double, level);
    QFETCH(double, target);
    QFETCH(double, shown);
    probe->stopBackgroundTimers();
    for (int m = 0; m < 4; ++m) {
        probe->meter(m)->setLevelWithoutRepaint(level);
        probe->meter(m)->calculatePosition();
        probe->setTarget(m, target);
    }
    tick();
    for (int m = 0; m < 4; ++m)
        QCOMPARE(probe->meter(m)->dBPosition(), shown);
    tick(5);
    for (int m = 0; m < 4; ++m)
        QCOMPARE(probe->meter(m)->dBPosition(), shown);
}

void TestEvents::fallIsLimitedUntilTheMeterClampHolds()
{
    probe->stopBackgroundTimers();
    TVKPPMMeter *meter = probe->meter(1);
    meter->setLevelWithoutRepaint(-10.0);
    meter->calculatePosition();
    probe->setTarget(1, -70.0);

    const double step = double(0.133f);
    int ticks = 0;
    while (meter->dBPosition() > -50.0 && ticks < 1000) {
        const double before = meter->dBPosition();
        tick();
        ++ticks;
        QVERIFY(meter->dBPosition() >= -50.0);
        if (before - step > -50.0)
            QVERIFY(qAbs(meter->dBPosition() - (before - step)) < 1e-9);
    }
    QCOMPARE(ticks, 301); // 40 dB at 0.133 dB per tick
    QCOMPARE(meter->dBPosition(), -50.0);
    tick(10);
    QCOMPARE(meter->dBPosition(), -50.0);
}

void TestEvents::idleMeterIsNeitherWrittenNorRepainted()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    probe->stopBackgroundTimers();
    QTest::qWait(100); // the first paints after showing

    PaintCounter paints;
    TVKPPMMeter *meter = probe->meter(0);
    meter->installEventFilter(&paints);

    // Level and target both at or below the floor: the level is not even
    // written (a level below the floor written unclamped stays as it is).
    probe->meter(2)->setLevelWithoutRepaint(-60.0);
    probe->setTarget(2, -50.0);
    probe->setTarget(0, -80.0);
    for (int i = 0; i < 30; ++i) {
        tick();
        QCoreApplication::processEvents();
    }
    QCOMPARE(paints.paints, 0);
    QCOMPARE(meter->dBPosition(), -50.0);
    QCOMPARE(probe->meter(2)->dBPosition(), -60.0);

    // A level above the floor is drawn at once.
    probe->setTarget(0, -10.0);
    tick();
    QCOMPARE(meter->dBPosition(), -10.0);
    QTRY_VERIFY_WITH_TIMEOUT(paints.paints > 0, 2000);
}

void TestEvents::nanTargetDoesNotFreezeTheMeter()
{
    probe->stopBackgroundTimers();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TVKPPMMeter *meter = probe->meter(0);
    meter->setLevelWithoutRepaint(-10.0);
    meter->calculatePosition();

    sendEvent(*window, 128, meterWords(nan, nan, nan, nan));
    tick(20);
    // The meter keeps a number, one that does not rise.
    QVERIFY(!std::isnan(meter->dBPosition()));
    QVERIFY(meter->dBPosition() < -10.0);
    QVERIFY(meter->dBPosition() >= -50.0);

    // And follows the next real level.
    sendEvent(*window, 128, meterWords(-3.5f, nan, nan, nan));
    tick();
    QVERIFY(qAbs(meter->dBPosition() + 3.5) < 1e-5); // a rise lands to single precision
    for (int m = 1; m < 4; ++m)
        QVERIFY(!std::isnan(probe->meter(m)->dBPosition()));
}

QTEST_MAIN(TestEvents)
#include "tst_events.moc"
