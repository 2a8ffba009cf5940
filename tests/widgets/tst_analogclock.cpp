#include "tvkanalogclock.h"
#include "widgettestutil.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// The colour at a point of the dial given clockwise from 12 o'clock in
// degrees and in dial units from the centre.
QColor dialColour(const QImage &image, double degrees, double radius)
{
    const double scale = qMin(image.width(), image.height()) / 200.0;
    const double angle = degrees * M_PI / 180.0;
    const double x = image.width() / 2 + std::sin(angle) * radius * scale;
    const double y = image.height() / 2 - std::cos(angle) * radius * scale;
    return image.pixelColor(int(x), int(y));
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 &&
           qAbs(a.blue() - b.blue()) < 40;
}

// checkTime() takes the hour only when the minute changes, so go through a
// time whose minute and second both differ from the target first.
void showTime(TVKAnalogClock &clock, const QTime &time)
{
    int second = (clock.shownTime().second() + 1) % 60;
    if (second == time.second())
        second = (second + 1) % 60;
    const QTime before(0, (time.minute() + 1) % 60, second);
    clock.setTimeSource([before] { return before; });
    clock.checkTime();
    clock.setTimeSource([time] { return time; });
    clock.checkTime();
    QCOMPARE(clock.shownTime(), time);
}

// A clock showing a fixed time with nothing drawn but what a test turns on.
void prepare(TVKAnalogClock &clock, const QSize &size, const QTime &time)
{
    clock.resize(size);
    clock.setSecondDots(false);
    clock.setHands(false);
    showTime(clock, time);
}

} // namespace

class TestAnalogClock : public QObject
{
    Q_OBJECT

private slots:
    void metaObjectAndDefaults();
    void settersRepaintOnlyOnChange();
    void checkTimeRules();
    void hands_data();
    void hands();
    void secondDots_data();
    void secondDots();
    void endTime_data();
    void endTime();
    void countDown_data();
    void countDown();
    void mainWindowLook();
    void newSecondRepaintsOnlyWhatChanged();
};

void TestAnalogClock::metaObjectAndDefaults()
{
    const QMetaObject &meta = TVKAnalogClock::staticMetaObject;
    QCOMPARE(meta.className(), "TVKAnalogClock");
    verifyProperties(meta, {"HourLines",
                            "HourLinesLength",
                            "HourLinesWidth",
                            "HourLinesColor",
                            "MinuteLines",
                            "MinuteLinesLength",
                            "MinuteLinesWidth",
                            "MinuteLinesColor",
                            "SecondDots",
                            "SecondDotsCountDown",
                            "DotSize",
                            "DotColor",
                            "Hands",
                            "HourHandColor",
                            "HourHandBorder",
                            "HourHandLength",
                            "HourHandWidth",
                            "MinuteHandColor",
                            "MinuteHandBorder",
                            "MinuteHandLength",
                            "MinuteHandWidth",
                            "EndTime",
                            "EndTimeLength",
                            "EndTimeWidth",
                            "EndTimeHour",
                            "EndTimeMinute",
                            "EndTimeSecond",
                            "EndTimeColor",
                            "CountDownTime",
                            "CountDownWidth",
                            "CountDownSpacing",
                            "CountDownColor"});
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 1);
    QCOMPARE(meta.method(meta.methodOffset()).methodSignature(), QByteArray("checkTime()"));

    TVKAnalogClock clock;
    QCOMPARE(clock.size(), QSize(200, 200));
    QCOMPARE(clock.windowTitle(), QString("Analog Clock"));
    QCOMPARE(clock.shownTime(), QTime(0, 0, 0));
}

void TestAnalogClock::settersRepaintOnlyOnChange()
{
    TVKAnalogClock clock;
    clock.setTimeSource([] { return QTime(0, 0, 0); });
    showAndWait(clock);
    PaintCounter counter(&clock);
    const QMetaObject &meta = TVKAnalogClock::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const QVariant value = property.read(&clock);
        QVERIFY2(!counter.repaints([&] { property.write(&clock, value); }), property.name());
        QVERIFY2(counter.repaints([&] { property.write(&clock, otherValue(value)); }),
                 property.name());
        QCOMPARE(property.read(&clock), otherValue(value));
    }
    const float notANumber = std::numeric_limits<float>::quiet_NaN();
    clock.setCountDownTime(notANumber);
    QVERIFY(counter.repaints([&] { clock.setCountDownTime(notANumber); }));
}

void TestAnalogClock::checkTimeRules()
{
    TVKAnalogClock clock;
    showTime(clock, QTime(10, 30, 30));
    showAndWait(clock);
    PaintCounter counter(&clock);
    QVERIFY(!counter.repaints([&] { clock.checkTime(); })); // same second

    // A jump by whole hours within the minute leaves the hour alone ...
    clock.setTimeSource([] { return QTime(13, 30, 31); });
    QVERIFY(counter.repaints([&] { clock.checkTime(); }));
    QCOMPARE(clock.shownTime(), QTime(10, 30, 31));
    // ... until the minute changes.
    clock.setTimeSource([] { return QTime(13, 31, 0); });
    clock.checkTime();
    QCOMPARE(clock.shownTime(), QTime(13, 31, 0));
}

void TestAnalogClock::hands_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("hourAngle");
    QTest::addColumn<double>("minuteAngle");
    QTest::newRow("10:30:30") << QTime(10, 30, 30) << 315.0 << 183.0;
    QTest::newRow("13:00:00 like 1 h") << QTime(13, 0, 0) << 30.0 << 0.0;
    QTest::newRow("06:15:45") << QTime(6, 15, 45) << 187.5 << 94.5;
}

void TestAnalogClock::hands()
{
    QFETCH(QTime, time);
    QFETCH(double, hourAngle);
    QFETCH(double, minuteAngle);
    TVKAnalogClock clock;
    prepare(clock, QSize(400, 400), time);
    clock.setHands(true);
    clock.setHourHandColor(Qt::red);
    clock.setMinuteHandColor(Qt::blue);
    const QImage image = renderOver(clock, Qt::black);
    // Default hands: hour from radius 76 to its tip at 88, minute 88 to 96.
    QVERIFY(near(dialColour(image, hourAngle, 80), Qt::red));
    QVERIFY(near(dialColour(image, minuteAngle, 91), Qt::blue));
    QVERIFY(!near(dialColour(image, hourAngle + 180, 80), Qt::red));
    QVERIFY(!near(dialColour(image, minuteAngle + 90, 91), Qt::blue));
}

void TestAnalogClock::secondDots_data()
{
    QTest::addColumn<bool>("countDown");
    QTest::addColumn<int>("second");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dotSize");
    QTest::addColumn<QPointF>("centre"); // of the 12 o'clock dot, in dial units
    const QPointF inside(0, -94);
    QTest::newRow("normal 0") << false << 0 << QSize(400, 400) << 4 << inside;
    QTest::newRow("normal 59") << false << 59 << QSize(400, 400) << 4 << inside;
    QTest::newRow("normal 30, wide") << false << 30 << QSize(600, 400) << 4 << inside;
    QTest::newRow("count-down 0") << true << 0 << QSize(400, 400) << 4 << inside;
    QTest::newRow("count-down 59") << true << 59 << QSize(400, 400) << 4 << inside;
    QTest::newRow("count-down 30, tall") << true << 30 << QSize(400, 700) << 4 << inside;
    // (1, -104, -4, -4) normalised: a ring just outside the dial's edge.
    QTest::newRow("negative size") << false << 30 << QSize(500, 500) << -4 << QPointF(-1, -106);
}

void TestAnalogClock::secondDots()
{
    QFETCH(bool, countDown);
    QFETCH(int, second);
    QFETCH(QSize, size);
    QFETCH(int, dotSize);
    QFETCH(QPointF, centre);
    TVKAnalogClock clock;
    prepare(clock, size, QTime(8, 20, second));
    clock.setSecondDots(true);
    clock.setSecondDotsCountDown(countDown);
    clock.setDotSize(dotSize);
    clock.setDotColor(Qt::white);
    const QImage image = renderOver(clock, Qt::black);
    const double offset = std::atan2(centre.x(), -centre.y()) * 180 / M_PI;
    const double radius = std::hypot(centre.x(), centre.y());
    for (int i = 0; i < 60; ++i) {
        // Beyond the dial's edge, dots near 12, 3, 6 and 9 o'clock are cut off.
        if (radius > 100 && qMin(i % 15, 15 - i % 15) < 4)
            continue;
        const bool lit = near(dialColour(image, i * 6 + offset, radius), Qt::white);
        QVERIFY2(lit == (countDown ? i >= second : i <= second), qPrintable(QString::number(i)));
    }
}

void TestAnalogClock::endTime_data()
{
    QTest::addColumn<int>("endHour"); // above 23: hourly
    QTest::addColumn<QTime>("end");   // minute and second of the end time
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("marker");
    QTest::addColumn<int>("arcSeconds");

    const QTime fiveAfter(0, 0, 5);
    QTest::newRow("hourly, wrapped to 15") << 24 << fiveAfter << QTime(7, 59, 50) << true << 15;
    QTest::newRow("hourly, -3584 kept") << 24 << fiveAfter << QTime(7, 59, 49) << true << 0;
    QTest::newRow("hourly, far ahead") << 99 << QTime(0, 30, 0) << QTime(3, 10, 0) << true << 0;
    QTest::newRow("hourly, passed") << 24 << QTime(0, 30, 0) << QTime(3, 30, 2) << true << 0;
    const QTime noon(0, 0, 0);
    QTest::newRow("daily, 10 s to go") << 12 << noon << QTime(11, 59, 50) << true << 10;
    QTest::newRow("daily, at end") << 12 << noon << QTime(12, 0, 0) << true << 0;
    QTest::newRow("daily, 1 s past") << 12 << noon << QTime(12, 0, 1) << false << 0;
    QTest::newRow("daily, 1 s to go") << 12 << noon << QTime(11, 59, 59) << true << 1;
    QTest::newRow("daily, 16 s to go") << 12 << noon << QTime(11, 59, 44) << true << 0;
    QTest::newRow("daily, across midnight")
        << 0 << QTime(0, 0, 10) << QTime(23, 59, 58) << true << 12;
}

void TestAnalogClock::endTime()
{
    QFETCH(int, endHour);
    QFETCH(QTime, end);
    QFETCH(QTime, now);
    QFETCH(bool, marker);
    QFETCH(int, arcSeconds);
    TVKAnalogClock clock;
    prepare(clock, QSize(400, 400), now);
    clock.setEndTime(true);
    clock.setEndTimeHour(endHour);
    clock.setEndTimeMinute(end.minute());
    clock.setEndTimeSecond(end.second());
    const QImage image = renderOver(clock, Qt::black);

    // Marker from radius 92 to 99; the arc is centred at radius 98 and runs
    // back from the marker, 6 degrees per second.
    const double markerAngle = (end.minute() + end.second() / 60.0) * 6;
    QCOMPARE(near(dialColour(image, markerAngle, 95), Qt::red), marker);
    for (int k = 1; k <= arcSeconds; ++k)
        QVERIFY2(near(dialColour(image, markerAngle - k * 6 + 3, 98), Qt::red),
                 qPrintable(QString::number(k)));
    QVERIFY(!near(dialColour(image, markerAngle - arcSeconds * 6 - 5, 98), Qt::red));
    QVERIFY(!near(dialColour(image, markerAngle + 5, 98), Qt::red));
}

void TestAnalogClock::countDown_data()
{
    QTest::addColumn<float>("time");
    QTest::addColumn<QVector<double>>("lit");
    QTest::addColumn<QVector<double>>("dark");
    QTest::newRow("2.5: 15 degrees toward 11")
        << 2.5f << QVector<double>{-1, -7.5, -14} << QVector<double>{-20, 5, 90};
    QTest::newRow("0: nothing") << 0.0f << QVector<double>{} << QVector<double>{0, -7.5, 180};
    QTest::newRow("60: full circle")
        << 60.0f << QVector<double>{0, 90, 180, 270, 315} << QVector<double>{};
    QTest::newRow("-2.5: clockwise") << -2.5f << QVector<double>{7.5} << QVector<double>{-7.5};
    QTest::newRow("huge: one turn") << 1e30f << QVector<double>{45, 200} << QVector<double>{};
}

void TestAnalogClock::countDown()
{
    QFETCH(float, time);
    QFETCH(QVector<double>, lit);
    QFETCH(QVector<double>, dark);
    TVKAnalogClock clock;
    prepare(clock, QSize(400, 400), QTime(9, 0, 0));
    clock.setCountDownTime(time);
    const QImage image = renderOver(clock, Qt::black);
    // Radius 96 - HourLinesLength 8 - CountDownSpacing 1.
    for (double angle : lit)
        QVERIFY2(near(dialColour(image, angle, 87), QColor(255, 0, 255)),
                 qPrintable(QString::number(angle)));
    for (double angle : dark)
        QVERIFY2(dialColour(image, angle, 87) == Qt::black, qPrintable(QString::number(angle)));
}

void TestAnalogClock::mainWindowLook()
{
    TVKAnalogClock clock;
    clock.setHourLines(true);
    clock.setHourLinesColor(QColor(0, 255, 0));
    clock.setMinuteLines(true);
    clock.setMinuteLinesLength(4);
    clock.setMinuteLinesColor(QColor(0, 170, 0));
    clock.setDotSize(4);
    clock.setDotColor(QColor(255, 255, 255));
    clock.setHourHandColor(QColor(255, 0, 0, 128));
    clock.setHourHandBorder(24);
    clock.setMinuteHandColor(QColor(0, 0, 255, 128));
    clock.setMinuteHandBorder(8);
    clock.setMinuteHandLength(28);
    clock.resize(410, 410);
    showTime(clock, QTime(10, 8, 37));
    const QImage image = renderOver(clock, Qt::black);
    // Hour triangle (6, -64), (-6, -64), (0, -76) turned to 10:08, times 2.05.
    QVERIFY(near(dialColour(image, 304, 68), QColor(128, 0, 0)));
    QVERIFY(near(dialColour(image, 0, 94), Qt::white));
    image.save("/tmp/widgets-analogclock.png");
}

// A new second repaints only the hands and the dots that changed. What the
// screen then holds must be exactly what a whole paint draws, at every step:
// the hands moving on, the minute and the hour turning, the dots filling up
// and emptying at the full minute, and in count-down mode.
void TestAnalogClock::newSecondRepaintsOnlyWhatChanged()
{
    QWidget stage;
    makeStage(stage, QSize(430, 430));
    TVKAnalogClock clock(&stage);
    clock.setGeometry(10, 10, 410, 410);
    clock.setHourLines(true);
    clock.setHourLinesColor(QColor(0, 255, 0));
    clock.setMinuteLines(true);
    clock.setDotSize(4);
    clock.setDotColor(QColor(255, 255, 255));
    clock.setHourHandBorder(24);
    clock.setMinuteHandBorder(8);
    clock.setMinuteHandLength(28);
    showAndWait(stage);

    PaintCounter paints(&clock);
    const QTime steps[] = {QTime(10, 58, 57), QTime(10, 58, 58), QTime(10, 58, 59),
                           QTime(10, 59, 0),  QTime(10, 59, 1),  QTime(10, 59, 59),
                           QTime(11, 0, 0),   QTime(11, 0, 1)};
    for (bool countDown : {false, true}) {
        clock.setSecondDotsCountDown(countDown);
        for (const QTime &time : steps) {
            clock.setTimeSource([time] { return time; });
            QVERIFY(paints.repaints([&clock] { clock.checkTime(); }));
            QVERIFY2(screenMatchesWholePaint(stage),
                     qPrintable(time.toString() + (countDown ? " counting down" : "")));
        }
    }
}

QTEST_MAIN(TestAnalogClock)
#include "tst_analogclock.moc"
