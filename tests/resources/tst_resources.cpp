#include "artwork.h"
#include "background.h"
#include "bundle.h"
#include "canvasscale.h"
#include "ppmscale.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QtTest>

#include <algorithm>
#include <cstdlib>

namespace {

const QString png = QStringLiteral(":/resources/png/");
const QString keys = QStringLiteral(":/resources/png/VontraMeterIcons2/sunken/");
const QString lamps = QStringLiteral(":/resources/png/VontraMeterIcons2/signals/");
const QString iconPath = QStringLiteral(":/resources/ico/BelvaneIcon256x256Border.ico");
const QStringList keyColours = {QStringLiteral("grey"), QStringLiteral("red"),
                                QStringLiteral("green")};
const QStringList lampNames = {QStringLiteral("onair1"),  QStringLiteral("onair2"),
                               QStringLiteral("silence"), QStringLiteral("micon"),
                               QStringLiteral("crmmute"), QStringLiteral("phone"),
                               QStringLiteral("nonstop")};
constexpr QSize designSize(986, 650);
constexpr QSize lampSize(544, 156);
constexpr QSize keySize(256, 256);
constexpr QRect onlineLine(821, 149, 116, 4);

// Where the meters stand and the levels their scales mark.
constexpr int meterTop = 73;
constexpr int meterHeight = 415;
constexpr int meterBottomRow = meterTop + meterHeight - 1;
constexpr double scaleLevels[] = {5,  4,  3,  2,   1,   0,   -1,  -2,  -3,  -4, -5,
                                  -6, -7, -8, -10, -15, -20, -25, -30, -40, -50};
constexpr double numberedLevels[] = {5, 0, -3, -6, -10, -15, -20, -25, -30, -40, -50};

// For a meter as the window places it: top and height scaled and truncated.
int barTopRow(double db, const CanvasScale &canvas = CanvasScale())
{
    const double base = ppm::dinPower(-50);
    const double span = ppm::dinPower(5) - base;
    const int height = canvas.map(meterHeight);
    return canvas.map(meterTop) + height - ppm::dinHeight(db, base, span, height);
}

QImage load(const QString &path)
{
    QImage image(path);
    if (image.isNull())
        qWarning("cannot load %s", qPrintable(path));
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool everyPixelOpaque(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 255)
                return false;
    return true;
}

// Printed marks are near-white; the red zone and the surface are not.
bool isInk(QRgb pixel)
{
    const QColor colour(pixel);
    return colour.lightness() > 170 && colour.hslSaturation() < 60;
}

struct Run
{
    int top;
    int bottom;
};

QVector<Run> inkRuns(const QImage &image, int x, const CanvasScale &canvas = CanvasScale())
{
    QVector<Run> runs;
    const int last = canvas.map(meterTop) + canvas.map(meterHeight) - 1 + 8;
    for (int y = canvas.map(meterTop) - 8; y <= last; ++y) {
        if (!isInk(image.pixel(x, y)))
            continue;
        if (!runs.isEmpty() && runs.last().bottom == y - 1)
            runs.last().bottom = y;
        else
            runs.append({y, y});
    }
    return runs;
}

qreal meanLightness(const QImage &image, const QRect &area)
{
    qreal sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += QColor(image.pixel(x, y)).lightnessF();
    return sum / (area.width() * area.height());
}

// The largest step by which two pictures of one size differ in any channel.
int largestStep(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest =
                std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sharedDrawingMatchesBundle();
    void picturesLoadAtListedSize_data();
    void picturesLoadAtListedSize();
    void opaquePictures_data();
    void opaquePictures();
    void lampPlatesLightUpWhenActive();
    void keyInsidesAreSeeThrough_data();
    void keyInsidesAreSeeThrough();
    void gearHoleAndSurroundingsAreSeeThrough();
    void backgroundsDifferOnlyInOnlineLine();
    void scaleTicksMeetMeterBars_data();
    void scaleTicksMeetMeterBars();
    void minorTicksStayOnMeterSide_data();
    void minorTicksStayOnMeterSide();
    void iconHoldsSixSizes();
};

void TestResources::initTestCase()
{
    QVERIFY(artwork::loadFonts());
}

// The program draws its pictures with the generator's code when it shows
// them larger; at the bundle's size that code must still draw the bundle.
// The bundle is made on Linux; with the Windows C runtime's maths a few
// pixels (under 100 of a background) come out one step apart, so there the
// drawing may differ by that one step and no more.
void TestResources::sharedDrawingMatchesBundle()
{
#ifdef Q_OS_WIN
    constexpr int roundingSteps = 1;
#else
    constexpr int roundingSteps = 0;
#endif
    for (const bundle::Picture &picture : bundle::pictures()) {
        const QImage committed = load(bundle::root + picture.path);
        const QImage drawn = picture.draw(picture.size).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(drawn.size(), committed.size());
        QVERIFY2(drawn == committed || largestStep(drawn, committed) <= roundingSteps,
                 qPrintable(picture.path));
    }
}

void TestResources::picturesLoadAtListedSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("offline") << png + "background_offline.png" << designSize;
    QTest::newRow("online") << png + "background_online.png" << designSize;
    QTest::newRow("fill") << png + "BelvaneBackgroundEmpty.png" << QSize(1024, 580);
    QTest::newRow("settings") << png + "Settings.png" << keySize;
    QTest::newRow("about") << png + "about.png" << QSize(358, 273);
    for (int number = 1; number <= 8; ++number)
        for (const QString &colour : keyColours) {
            const QString file = QStringLiteral("%1-%2.png").arg(number).arg(colour);
            QTest::newRow(qPrintable(file)) << keys + file << keySize;
        }
    for (const QString &lamp : lampNames)
        for (const QString &state : {QStringLiteral("active"), QStringLiteral("inactive")}) {
            const QString file = lamp + "-" + state + ".png";
            QTest::newRow(qPrintable(file)) << lamps + file << lampSize;
        }
}

void TestResources::picturesLoadAtListedSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
}

void TestResources::opaquePictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("offline") << png + "background_offline.png";
    QTest::newRow("online") << png + "background_online.png";
    QTest::newRow("fill") << png + "BelvaneBackgroundEmpty.png";
    for (const QString &lamp : lampNames) {
        QTest::newRow(qPrintable(lamp + "-active")) << lamps + lamp + "-active.png";
        QTest::newRow(qPrintable(lamp + "-inactive")) << lamps + lamp + "-inactive.png";
    }
}

void TestResources::opaquePictures()
{
    QFETCH(QString, path);
    QVERIFY(everyPixelOpaque(load(path)));
}

void TestResources::lampPlatesLightUpWhenActive()
{
    // The middle of the plate, where the lens and caption are.
    const QRect lens(40, 30, lampSize.width() - 80, lampSize.height() - 60);
    for (const QString &lamp : lampNames) {
        const qreal lit = meanLightness(load(lamps + lamp + "-active.png"), lens);
        const qreal dark = meanLightness(load(lamps + lamp + "-inactive.png"), lens);
        QVERIFY2(lit > dark + 0.15, qPrintable(lamp));
    }
}

void TestResources::keyInsidesAreSeeThrough_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("colour");
    for (int number = 1; number <= 8; ++number)
        for (const QString &colour : keyColours)
            QTest::newRow(qPrintable(QStringLiteral("%1-%2").arg(number).arg(colour)))
                << number << colour;
}

void TestResources::keyInsidesAreSeeThrough()
{
    QFETCH(int, number);
    QFETCH(QString, colour);
    const QImage key = load(keys + QStringLiteral("%1-%2.png").arg(number).arg(colour));

    // Inside the outline only the number, in the upper left, may cover the
    // source name label shown through the key.
    const QRect inside(32, 32, keySize.width() - 64, keySize.height() - 64);
    const QRect numberCorner(inside.topLeft(), QSize(90, 90));
    int numberPixels = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const int alpha = qAlpha(key.pixel(x, y));
            if (numberCorner.contains(x, y))
                numberPixels += alpha > 0 ? 1 : 0;
            else
                QVERIFY2(alpha == 0, qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
        }
    QVERIFY(numberPixels > 200);

    // The outline is drawn in the key's state colour all the way round.
    for (const QPoint &edge :
         {QPoint(128, 13), QPoint(128, 242), QPoint(13, 128), QPoint(242, 128)}) {
        const QColor pixel = QColor::fromRgba(key.pixel(edge));
        QCOMPARE(pixel.alpha(), 255);
        if (colour == "red")
            QVERIFY(pixel.red() > 2 * pixel.green());
        else if (colour == "green")
            QVERIFY(pixel.green() > 2 * pixel.red());
        else
            QVERIFY(qAbs(pixel.red() - pixel.green()) < 20 && pixel.hslSaturation() < 40);
    }
}

void TestResources::gearHoleAndSurroundingsAreSeeThrough()
{
    const QImage gear = load(png + "Settings.png");
    for (const QPoint &corner : {QPoint(0, 0), QPoint(255, 0), QPoint(0, 255), QPoint(255, 255),
                                 QPoint(172, 22), QPoint(128, 128)})
        QCOMPARE(qAlpha(gear.pixel(corner)), 0);
    // The body between hole and teeth is solid and dark grey.
    for (const QPoint &body :
         {QPoint(128, 60), QPoint(196, 128), QPoint(128, 196), QPoint(60, 128)}) {
        const QColor pixel = QColor::fromRgba(gear.pixel(body));
        QCOMPARE(pixel.alpha(), 255);
        QVERIFY(pixel.lightness() < 128);
        QVERIFY(pixel.hslSaturation() < 40);
    }
}

void TestResources::backgroundsDifferOnlyInOnlineLine()
{
    const QImage offline = load(png + "background_offline.png");
    const QImage online = load(png + "background_online.png");
    for (int y = 0; y < designSize.height(); ++y)
        for (int x = 0; x < designSize.width(); ++x) {
            const QRgb on = online.pixel(x, y);
            if (onlineLine.contains(x, y)) {
                const QColor green(on);
                QVERIFY(on != offline.pixel(x, y));
                QVERIFY(green.green() > green.red() + 80 && green.green() > green.blue() + 80);
            } else if (on != offline.pixel(x, y)) {
                QFAIL(qPrintable(QStringLiteral("differ at (%1, %2)").arg(x).arg(y)));
            }
        }
}

void TestResources::scaleTicksMeetMeterBars_data()
{
    QTest::addColumn<int>("column");
    // Inside the short-tick part of each of the four tick columns.
    QTest::newRow("master left") << 70;
    QTest::newRow("master right") << 136;
    QTest::newRow("crm left") << 226;
    QTest::newRow("crm right") << 292;
}

void TestResources::scaleTicksMeetMeterBars()
{
    QFETCH(int, column);
    // The bundle's two backgrounds, and the one the window draws for
    // 3840 x 2160, where the meters stand where the window's scale puts them.
    const QSize window(3840, 2160);
    const CanvasScale large(float((3276.0 / 986 + 2160.0 / 650) * 0.5));
    const QImage drawn =
        background::paintCanvas(background::paintSurface(window, large), large, true);
    // And a 1000 x 700 window on a screen of two device pixels per window
    // pixel: the meters are placed and mapped in window pixels, then doubled.
    const CanvasScale window1000(float((659.0 / 650 + 1000.0 / 986) * 0.5));
    const CanvasScale doubled(window1000.factor(), 2.0);
    const QImage drawnDoubled = background::paintCanvas(
        background::paintSurface(QSize(2000, 1400), doubled), doubled, false);
    struct Case
    {
        QImage image;
        CanvasScale canvas;
        CanvasScale placed; // the meters' scale in window pixels
        int ratio;
    };
    const QVector<Case> backgrounds = {
        {load(png + "background_offline.png"), CanvasScale(), CanvasScale(), 1},
        {load(png + "background_online.png"), CanvasScale(), CanvasScale(), 1},
        {drawn.convertToFormat(QImage::Format_ARGB32), large, large, 1},
        {drawnDoubled.convertToFormat(QImage::Format_ARGB32), doubled, window1000, 2}};
    for (const Case &background : backgrounds) {
        const CanvasScale &canvas = background.canvas;
        const auto barTop = [&](double db) {
            return background.ratio * barTopRow(db, background.placed);
        };
        const int meterBottom = background.ratio * (background.placed.map(meterTop) +
                                                    background.placed.map(meterHeight)) -
                                1;
        const QVector<Run> runs = inkRuns(background.image, canvas.map(column), canvas);
        const int levelCount = int(sizeof(scaleLevels) / sizeof(scaleLevels[0]));
        QCOMPARE(runs.size(), levelCount);
        for (int i = 0; i < levelCount - 1; ++i) {
            const int expected = barTop(scaleLevels[i]);
            QVERIFY2(qAbs(runs[i].top - expected) <= 1,
                     qPrintable(QStringLiteral("%1 dB: tick at %2, bar top at %3")
                                    .arg(scaleLevels[i])
                                    .arg(runs[i].top)
                                    .arg(expected)));
        }
        // The bottom mark cannot reach below the meter.
        QCOMPARE(runs.last().bottom, meterBottom);
        // A meter showing exactly 0 dB is level with its tick.
        QCOMPARE(runs[5].top, barTop(0.0));
    }
}

void TestResources::minorTicksStayOnMeterSide_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("redColumn");
    // Inner parts of the columns, towards the numbers, reached only by
    // numbered ticks and by the separators of the red zone.
    QTest::newRow("master left") << 84 << 76;
    QTest::newRow("master right") << 124 << 131;
    QTest::newRow("crm left") << 240 << 232;
    QTest::newRow("crm right") << 280 << 287;
}

void TestResources::minorTicksStayOnMeterSide()
{
    QFETCH(int, column);
    QFETCH(int, redColumn);
    const QImage image = load(png + "background_offline.png");
    QSet<int> expected;
    for (double db : scaleLevels)
        if (db > 0)
            expected.insert(barTopRow(db));
    for (double db : numberedLevels)
        if (db > -50)
            expected.insert(barTopRow(db));
    QSet<int> found;
    for (const Run &run : inkRuns(image, column))
        found.insert(run.top);
    found.remove(meterBottomRow - 2); // the bottom mark, checked above
    QSet<int> near;
    for (int row : found)
        for (int want : expected)
            if (qAbs(row - want) <= 1)
                near.insert(want);
    QCOMPARE(found.size(), expected.size());
    QCOMPARE(near, expected);

    // Between the 0 dB and +5 dB marks the scale is red.
    const QColor red(image.pixel(redColumn, (barTopRow(4) + barTopRow(3)) / 2));
    QVERIFY(red.red() > 150 && red.green() < 80 && red.blue() < 80);
}

void TestResources::iconHoldsSixSizes()
{
    QImageReader reader(iconPath);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), 6);
    QSet<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        // 32-bit images: see-through corners, solid middle.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
        sizes.insert(image.width());
    }
    QCOMPARE(sizes, (QSet<int>{16, 32, 48, 64, 128, 256}));

    const QIcon icon(iconPath);
    for (int size : {16, 32, 48, 64, 128, 256})
        QVERIFY(icon.availableSizes().contains(QSize(size, size)));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
