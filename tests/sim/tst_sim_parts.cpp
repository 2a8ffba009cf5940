// The simulator's parts in-process: the state's payloads and fields, the
// scenario parser, the silence detector and the programme levels.
#include "consolestate.h"
#include "programmegenerator.h"
#include "scenario.h"
#include "silencedetector.h"
#include "vontra_wire.h"

#include <QBuffer>
#include <QtTest>

class TestSimParts : public QObject
{
    Q_OBJECT

private slots:
    void payloadsFitTheWire();
    void fieldsAddressTheirWords_data();
    void fieldsAddressTheirWords();

    void scenarioParsesAndOrdersSteps();
    void badScenarioLinesAreNamed_data();
    void badScenarioLinesAreNamed();

    void silenceNeedsTheHoldTime();
    void silenceFollowsChannelsAndEnable();

    void levelsStayInRangeAndRepeat();
    void quietStretchesAndForcedSilence();
    void crmFollowsProgrammeUnlessMuted();
};

void TestSimParts::payloadsFitTheWire()
{
    const ConsoleState state;
    for (int id : ConsoleState::stateIds()) {
        const QVector<qint32> words = state.payload(id);
        QCOMPARE(words.size(), vontra::wire::eventWords(id));
        uint8_t buf[vontra::wire::kMaxDatagram];
        QVERIFY2(vontra::wire::encodeEvent(id, words.constData(), words.size(), buf, sizeof buf),
                 qPrintable(QString::number(id)));
    }
    QVERIFY(!ConsoleState::isStateId(128));
    QVERIFY(!ConsoleState::isStateId(99));
}

void TestSimParts::fieldsAddressTheirWords_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVector<int>>("indices");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("word"); // -1: the indices do not fit
    QTest::newRow("colour 2 1") << "colour" << QVector<int>{2, 1} << 73 << 7;
    QTest::newRow("colour 7 2") << "Colour" << QVector<int>{7, 2} << 73 << 23;
    QTest::newRow("colour slot 3") << "colour" << QVector<int>{0, 3} << 73 << -1;
    QTest::newRow("colour one index") << "colour" << QVector<int>{2} << 73 << -1;
    QTest::newRow("onair2") << "onair2" << QVector<int>{} << 104 << 1;
    QTest::newRow("onair2 indexed") << "onair2" << QVector<int>{0} << 104 << -1;
    QTest::newRow("silencechannels") << "silenceChannels" << QVector<int>{} << 75 << 2;
    QTest::newRow("voicetrack 7") << "voicetrack" << QVector<int>{7} << 111 << 7;
    QTest::newRow("moduleon 8") << "moduleon" << QVector<int>{8} << 96 << -1;
    QTest::newRow("moduleon -1") << "moduleon" << QVector<int>{-1} << 96 << -1;
}

void TestSimParts::fieldsAddressTheirWords()
{
    QFETCH(QString, name);
    QFETCH(QVector<int>, indices);
    QFETCH(int, id);
    QFETCH(int, word);
    const ConsoleState::Field *field = ConsoleState::field(name);
    QVERIFY(field);
    QCOMPARE(field->id, id);
    QCOMPARE(ConsoleState::wordIndex(*field, indices), word);
}

void TestSimParts::scenarioParsesAndOrdersSteps()
{
    QByteArray text = "# demo\n"
                      "at 2 quit\n"
                      "  at 0.5   set colour 2 1 0x2   # hex values too\n"
                      "\n"
                      "at 0.5 send 128\n"
                      "at 1 meters stop\n"
                      "at 1.5 silence\n"
                      "at 1.5 silence off\n";
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVector<ScenarioStep> steps;
    QString error;
    QVERIFY2(Scenario::parse(&buffer, "demo.scn", &steps, &error), qPrintable(error));
    QCOMPARE(steps.size(), 6);

    using A = ScenarioStep::Action;
    // Ordered by time, same times in file order.
    QCOMPARE(steps[0].action, A::Set);
    QCOMPARE(steps[0].id, 73);
    QCOMPARE(steps[0].index, 7);
    QCOMPARE(steps[0].value, 2);
    QCOMPARE(steps[0].line, 3);
    QCOMPARE(steps[1].action, A::Send);
    QCOMPARE(steps[1].id, 128);
    QCOMPARE(steps[2].action, A::MetersStop);
    QCOMPARE(steps[3].action, A::SilenceOn);
    QCOMPARE(steps[4].action, A::SilenceOff);
    QCOMPARE(steps[5].action, A::Quit);
    QCOMPARE(steps[5].at, 2.0);
}

void TestSimParts::badScenarioLinesAreNamed_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no at") << QByteArray("set onair1 1") << "expected";
    QTest::newRow("bad time") << QByteArray("at soon quit") << "bad time";
    QTest::newRow("negative time") << QByteArray("at -1 quit") << "bad time";
    QTest::newRow("unknown step") << QByteArray("at 1 jump") << "unknown step";
    QTest::newRow("unknown field") << QByteArray("at 1 set volume 3") << "unknown field";
    QTest::newRow("no value") << QByteArray("at 1 set onair1") << "value";
    QTest::newRow("value not a number") << QByteArray("at 1 set onair1 yes") << "value";
    QTest::newRow("index out of range") << QByteArray("at 1 set moduleon 8 1") << "0..7";
    QTest::newRow("colour without slot") << QByteArray("at 1 set colour 2 1") << "slot";
    QTest::newRow("send unknown id") << QByteArray("at 1 send 99") << "event id";
    QTest::newRow("meters pause") << QByteArray("at 1 meters pause") << "stop";
    QTest::newRow("silence maybe") << QByteArray("at 1 silence maybe") << "on";
    QTest::newRow("quit now") << QByteArray("at 1 quit now") << "quit";
}

void TestSimParts::badScenarioLinesAreNamed()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, problem);
    QByteArray text = "at 0 set onair1 1\n# fine so far\n" + line + "\nat 9 quit\n";
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVector<ScenarioStep> steps;
    QString error;
    QVERIFY(!Scenario::parse(&buffer, "s.scn", &steps, &error));
    QVERIFY2(error.startsWith("s.scn:3: "), qPrintable(error));
    QVERIFY2(error.contains(problem), qPrintable(error));
}

void TestSimParts::silenceNeedsTheHoldTime()
{
    SilenceDetector detector;
    SilenceDetector::Config config; // -40 dB, 3 s, both channels, enabled
    QVERIFY(!detector.update(0.0, -45.0f, -45.0f, config));
    QVERIFY(!detector.update(2.9, -45.0f, -45.0f, config));
    QVERIFY(detector.update(3.0, -45.0f, -45.0f, config));
    QVERIFY(detector.isSilent());
    QVERIFY(!detector.update(3.1, -45.0f, -45.0f, config));
    // Back at once when the programme returns; the hold starts over.
    QVERIFY(detector.update(3.2, -20.0f, -45.0f, config));
    QVERIFY(!detector.isSilent());
    QVERIFY(!detector.update(3.3, -45.0f, -45.0f, config));
    QVERIFY(!detector.update(6.2, -45.0f, -45.0f, config));
    QVERIFY(detector.update(6.3, -45.0f, -45.0f, config));

    // Only the low eight bits count: 216 is -40 dB. An absurd hold time
    // falls back to the default.
    SilenceDetector other;
    config.threshold = 216;
    config.holdSeconds = 0;
    QVERIFY(!other.update(0.0, -39.0f, -39.0f, config));
    QVERIFY(!other.update(5.0, -39.0f, -39.0f, config));
    QVERIFY(!other.update(5.1, -41.0f, -41.0f, config));
    QVERIFY(other.update(5.1 + SilenceDetector::kDefaultHoldSeconds, -41.0f, -41.0f, config));
}

void TestSimParts::silenceFollowsChannelsAndEnable()
{
    SilenceDetector::Config config;
    config.holdSeconds = 1;

    config.channels = 0; // left only: a loud right channel does not matter
    SilenceDetector left;
    left.update(0.0, -45.0f, -10.0f, config);
    QVERIFY(left.update(1.0, -45.0f, -10.0f, config));

    config.channels = 1; // right only
    SilenceDetector right;
    right.update(0.0, -45.0f, -10.0f, config);
    QVERIFY(!right.update(1.0, -45.0f, -10.0f, config));

    config.channels = 2; // both must be quiet
    SilenceDetector both;
    both.update(0.0, -45.0f, -10.0f, config);
    QVERIFY(!both.update(1.0, -45.0f, -10.0f, config));

    // Disabling ends a reported silence and keeps it from coming.
    config.channels = 0;
    config.enabled = 0;
    QVERIFY(left.update(1.5, -45.0f, -45.0f, config));
    QVERIFY(!left.isSilent());
    QVERIFY(!left.update(9.0, -45.0f, -45.0f, config));
}

void TestSimParts::levelsStayInRangeAndRepeat()
{
    constexpr int kRate = 50;
    constexpr int kFrames = kRate * 120;
    ProgrammeGenerator a(42), b(42), c(43);
    a.setQuietStretches(true);
    b.setQuietStretches(true);
    c.setQuietStretches(true);
    bool differs = false;
    bool stereo = false;
    float loudest = ProgrammeGenerator::kFloor;
    for (int f = 0; f < kFrames; ++f) {
        const double t = double(f) / kRate;
        const auto la = a.levels(quint64(f), t, false);
        const auto lb = b.levels(quint64(f), t, false);
        const auto lc = c.levels(quint64(f), t, false);
        QCOMPARE(la, lb);
        differs = differs || la != lc;
        stereo = stereo || qAbs(la[0] - la[1]) > 0.5f;
        for (float level : la)
            QVERIFY(level >= ProgrammeGenerator::kFloor && level <= ProgrammeGenerator::kCeiling);
        loudest = qMax(loudest, la[0]);
    }
    QVERIFY(differs);
    QVERIFY(stereo);
    // Programme peaks come close to the reference level.
    QVERIFY2(loudest > -6.0f, qPrintable(QString::number(loudest)));
}

void TestSimParts::quietStretchesAndForcedSilence()
{
    constexpr int kRate = 20;
    // With quiet stretches the detector gets to report silence within a
    // quarter of an hour; without them, never.
    for (bool stretches : {true, false}) {
        ProgrammeGenerator programme(5);
        programme.setQuietStretches(stretches);
        SilenceDetector detector;
        const SilenceDetector::Config config;
        bool reported = false;
        for (int f = 0; f < kRate * 900 && !reported; ++f) {
            const double t = double(f) / kRate;
            const auto l = programme.levels(quint64(f), t, false);
            detector.update(t, l[0], l[1], config);
            reported = detector.isSilent();
        }
        QCOMPARE(reported, stretches);
    }

    ProgrammeGenerator programme(5);
    programme.setSilenced(true);
    for (int f = 0; f < 200; ++f) {
        const auto l = programme.levels(quint64(f), f / 50.0, false);
        QVERIFY(l[0] < -45.0f && l[1] < -45.0f);
    }
}

void TestSimParts::crmFollowsProgrammeUnlessMuted()
{
    ProgrammeGenerator open(9), muted(9);
    for (int f = 0; f < 500; ++f) {
        const double t = f / 50.0;
        const auto o = open.levels(quint64(f), t, false);
        const auto m = muted.levels(quint64(f), t, true);
        QCOMPARE(o[4], qMax(ProgrammeGenerator::kFloor, o[0] + ProgrammeGenerator::kCrmOffset));
        QCOMPARE(o[5], qMax(ProgrammeGenerator::kFloor, o[1] + ProgrammeGenerator::kCrmOffset));
        QCOMPARE(m[0], o[0]);
        QCOMPARE(m[4], ProgrammeGenerator::kFloor);
        QCOMPARE(m[5], ProgrammeGenerator::kFloor);
    }
}

QTEST_GUILESS_MAIN(TestSimParts)
#include "tst_sim_parts.moc"
