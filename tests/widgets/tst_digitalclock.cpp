#include "tvkdigitalclock.h"
#include "widgettestutil.h"

#include <QLocale>
#include <QtTest>

namespace {

const QColor sentinel(1, 2, 3);

// First and last row holding ink of the given colour, or (-1, -1).
QPair<int, int> inkRows(const QImage &image, const QColor &ink)
{
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == ink) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
    return {first, last};
}

void tickAt(TVKDigitalClock &clock, const QDateTime &when)
{
    clock.setDateTimeSource([when] { return when; });
    clock.checkTime();
}

const QDateTime afternoon(QDate(2026, 3, 6), QTime(14, 5, 9));

} // namespace

class TestDigitalClock : public QObject
{
    Q_OBJECT

private slots:
    void metaObjectAndDefaults();
    void texts();
    void repaintsOncePerSecond();
    void settersRepaintOnlyOnChange();
    void drawing();
    void dateLinePlacement();
    void mainWindowLook();
    void newSecondRepaintsOnlyWhatChanged();
};

void TestDigitalClock::metaObjectAndDefaults()
{
    const QMetaObject &meta = TVKDigitalClock::staticMetaObject;
    QCOMPARE(meta.className(), "TVKDigitalClock");
    verifyProperties(meta, {"TimeDisplay", "TimeDisplayFont", "TimeDisplayFontColor", "DateDisplay",
                            "DateDisplayFont", "DateDisplayFontColor"});
    QCOMPARE(meta.method(meta.methodOffset()).methodSignature(), QByteArray("checkTime()"));

    TVKDigitalClock clock;
    QCOMPARE(clock.size(), QSize(100, 30));
    QCOMPARE(clock.windowTitle(), QString("Digital Clock"));
}

void TestDigitalClock::texts()
{
    TVKDigitalClock clock;
    // The date follows the operating system's locale, not the widget's.
    clock.setLocale(QLocale(QLocale::German, QLocale::Germany));
    tickAt(clock, afternoon);
    QCOMPARE(clock.timeText(), QString("14:05:09"));
    QCOMPARE(clock.dateText(), QLocale::system().toString(QDate(2026, 3, 6), "ddd d MMM yyyy"));
    if (QLocale::system().language() == QLocale::C ||
        QLocale::system().language() == QLocale::English)
        QCOMPARE(clock.dateText(), QString("Fri 6 Mar 2026"));
}

void TestDigitalClock::repaintsOncePerSecond()
{
    TVKDigitalClock clock;
    tickAt(clock, QDateTime(afternoon.date(), QTime(9, 0, 0, 100)));
    showAndWait(clock);
    PaintCounter counter(&clock);
    // Second 0 is what a new clock last repainted for: texts change, no paint.
    QVERIFY(!counter.repaints(
        [&] { tickAt(clock, QDateTime(afternoon.date(), QTime(9, 0, 0, 900))); }));
    QCOMPARE(clock.timeText(), QString("09:00:00"));
    QVERIFY(counter.repaints([&] { tickAt(clock, QDateTime(afternoon.date(), QTime(9, 0, 1))); }));
    QVERIFY(!counter.repaints(
        [&] { tickAt(clock, QDateTime(afternoon.date(), QTime(9, 0, 1, 950))); }));
    QVERIFY(counter.repaints([&] { tickAt(clock, QDateTime(afternoon.date(), QTime(9, 0, 2))); }));
}

void TestDigitalClock::settersRepaintOnlyOnChange()
{
    TVKDigitalClock clock;
    tickAt(clock, afternoon); // so that the clock's own timer finds nothing new
    showAndWait(clock);
    PaintCounter counter(&clock);
    const QMetaObject &meta = TVKDigitalClock::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const QVariant value = property.read(&clock);
        QVERIFY2(!counter.repaints([&] { property.write(&clock, value); }), property.name());
        QVERIFY2(counter.repaints([&] { property.write(&clock, otherValue(value)); }),
                 property.name());
    }
}

void TestDigitalClock::drawing()
{
    TVKDigitalClock clock;
    clock.resize(300, 80);
    QImage blank(clock.size(), QImage::Format_ARGB32_Premultiplied);
    blank.fill(sentinel);
    QCOMPARE(renderOver(clock, sentinel), blank); // texts empty before the first tick

    tickAt(clock, afternoon);
    QVERIFY(renderOver(clock, sentinel) != blank);
    // Unset colours draw black: antialiased grey at most, darkest black.
    const QImage image = renderOver(clock, Qt::white);
    int darkest = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            QVERIFY(c.red() == c.green() && c.green() == c.blue());
            darkest = qMin(darkest, c.red());
        }
    QCOMPARE(darkest, 0);

    clock.setTimeDisplay(false);
    clock.setDateDisplay(false);
    QCOMPARE(renderOver(clock, sentinel), blank);
}

void TestDigitalClock::dateLinePlacement()
{
    TVKDigitalClock clock;
    clock.resize(410, 111);
    const QFont timeFont("DejaVu Sans", 40);
    clock.setTimeDisplayFont(timeFont);
    clock.setTimeDisplayFontColor(Qt::transparent); // lays out but leaves no ink
    clock.setDateDisplayFont(QFont("DejaVu Sans", 24));
    clock.setDateDisplayFontColor(Qt::red);
    tickAt(clock, afternoon);

    const QPair<int, int> below = inkRows(renderOver(clock, Qt::black), Qt::red);
    clock.setTimeDisplay(false);
    const QPair<int, int> top = inkRows(renderOver(clock, Qt::black), Qt::red);
    QVERIFY(top.first >= 0 && below.first >= 0);
    // Alone, the date is centred in the top half; under the time it moves
    // down by the time font's height, not to the middle of the widget.
    QVERIFY(qAbs((top.first + top.second) / 2 - 111 / 2 / 2) <= 4);
    QCOMPARE(below.first - top.first, QFontMetrics(timeFont, &clock).height());
    QCOMPARE(below.second - top.second, QFontMetrics(timeFont, &clock).height());
}

void TestDigitalClock::mainWindowLook()
{
    TVKDigitalClock clock;
    clock.resize(410, 111);
    clock.setTimeDisplayFont(QFont("DejaVu Sans", 40));
    clock.setTimeDisplayFontColor(QColor(255, 255, 255));
    clock.setDateDisplayFont(QFont("DejaVu Sans", 24));
    clock.setDateDisplayFontColor(QColor(255, 255, 255));
    tickAt(clock, afternoon);
    const QImage image = renderOver(clock, Qt::black);
    QVERIFY(inkRows(image, Qt::white).second > 111 / 2); // the date reaches the lower half
    image.save("/tmp/widgets-digitalclock.png");
}

// Most seconds only the time line is repainted; at midnight the date too.
// The screen must always hold what a whole paint draws.
void TestDigitalClock::newSecondRepaintsOnlyWhatChanged()
{
    QWidget stage;
    makeStage(stage, QSize(420, 200));
    TVKDigitalClock clock(&stage);
    clock.setGeometry(10, 10, 400, 180);
    clock.setTimeDisplayFontColor(Qt::white);
    clock.setDateDisplayFontColor(Qt::white);
    showAndWait(stage);

    PaintCounter paints(&clock);
    const QDate day(2026, 12, 7);
    const QDateTime steps[] = {QDateTime(day, QTime(23, 59, 57)), QDateTime(day, QTime(23, 59, 58)),
                               QDateTime(day, QTime(23, 59, 59)),
                               QDateTime(day.addDays(1), QTime(0, 0, 0)),
                               QDateTime(day.addDays(1), QTime(0, 0, 1))};
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPointSize(40);
    // Glyphs this large Qt draws from their outlines; the line is cut at the clock's edges.
    QFont huge = big;
    huge.setPixelSize(120);
    for (const QFont &font : {big, huge}) {
        clock.setTimeDisplayFont(font);
        for (const QDateTime &when : steps) {
            clock.setDateTimeSource([when] { return when; });
            QVERIFY(paints.repaints([&clock] { clock.checkTime(); }));
            QVERIFY2(screenMatchesWholePaint(stage), qPrintable(font.toString() + when.toString()));
        }
    }
}

QTEST_MAIN(TestDigitalClock)
#include "tst_digitalclock.moc"
