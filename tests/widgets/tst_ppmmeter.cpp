#include "tvkppmmeter.h"
#include "widgettestutil.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

const QColor sentinel(1, 2, 3);
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

bool isAlwaysPainted(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == sentinel)
                return false;
    return true;
}

// Places the bar for a level on a meter of the given height.
void place(TVKPPMMeter &meter, int height, double level, bool din = true)
{
    meter.resize(12, height);
    meter.setDINCurve(din);
    meter.setLevelWithoutRepaint(level);
    meter.calculatePosition();
}

} // namespace

using MeterOp = std::function<void(TVKPPMMeter &)>;
Q_DECLARE_METATYPE(MeterOp)

class TestPPMMeter : public QObject
{
    Q_OBJECT

private slots:
    void metaObjectAndDefaults();
    void mapping_data();
    void mapping();
    void clampsAndReportsChanges();
    void repaintRules_data();
    void repaintRules();
    void splitColours();
    void gradientBarRows_data();
    void gradientBarRows();
    void gradientBackgroundOddHeight();
    void silenceMarker();
    void backgroundPicture();
    void unsafeValues_data();
    void unsafeValues();
    void mainWindowLook();
};

void TestPPMMeter::metaObjectAndDefaults()
{
    const QMetaObject &meta = TVKPPMMeter::staticMetaObject;
    QCOMPARE(meta.className(), "TVKPPMMeter");
    verifyProperties(meta, {"dBPosition", "MindBPosition", "MaxdBPosition", "ReleasePerSecond",
                            "DINCurve", "GradientBackground", "GradientForground", "MaxColor",
                            "MinColor", "MaxBackgroundColor", "MinBackgroundColor",
                            "SkinEnvironmentVariable", "PPMMeterBackgroundFileName"});
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 1);
    QCOMPARE(meta.method(meta.methodOffset()).methodSignature(),
             QByteArray("setdBPosition(double_db)"));

    TVKPPMMeter meter;
    QCOMPARE(meter.size(), QSize(16, 200));
    QCOMPARE(meter.windowTitle(), QString("PPM Meter"));
    QVERIFY(meter.testAttribute(Qt::WA_OpaquePaintEvent));
    // Until the first calculatePosition() nothing is lit and the split
    // background is all the upper colour.
    meter.setGradientBackground(false);
    const QImage image = renderOver(meter, sentinel);
    QCOMPARE(image.pixelColor(5, 0), QColor(64, 0, 0));
    QCOMPARE(image.pixelColor(5, 199), QColor(64, 0, 0));
}

void TestPPMMeter::mapping_data()
{
    QTest::addColumn<bool>("din");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("zero");
    QTest::addColumn<QVector<int>>("bars"); // for -50, -40, -20, -10, 0, +3 dB

    QTest::newRow("DIN 200") << true << 200 << 166 << QVector<int>{0, 17, 70, 111, 166, 185};
    QTest::newRow("linear 200") << false << 200 << 181 << QVector<int>{0, 36, 109, 145, 181, 192};
    QTest::newRow("DIN 415") << true << 415 << 345 << QVector<int>{0, 35, 147, 231, 345, 385};
    QTest::newRow("linear 415") << false << 415 << 377 << QVector<int>{0, 75, 226, 301, 377, 399};
}

void TestPPMMeter::mapping()
{
    QFETCH(bool, din);
    QFETCH(int, height);
    QFETCH(int, zero);
    QFETCH(QVector<int>, bars);
    const double levels[] = {-50, -40, -20, -10, 0, 3};
    TVKPPMMeter meter;
    for (int i = 0; i < bars.size(); ++i) {
        place(meter, height, levels[i], din);
        QCOMPARE(meter.barHeight(), bars.at(i));
        QCOMPARE(meter.zeroHeight(), zero);
    }
}

void TestPPMMeter::clampsAndReportsChanges()
{
    TVKPPMMeter meter;
    meter.setdBPosition(0.0);
    QCOMPARE(meter.barHeight(), 0); // writing the level alone moves nothing
    QVERIFY(meter.calculatePosition());
    QCOMPARE(meter.barHeight(), 166);
    QVERIFY(!meter.calculatePosition());
    meter.setLevelWithoutRepaint(0.01); // same whole pixel
    QVERIFY(!meter.calculatePosition());

    meter.setLevelWithoutRepaint(-60.0);
    QVERIFY(meter.calculatePosition());
    QCOMPARE(meter.dBPosition(), -50.0);
    QCOMPARE(meter.barHeight(), 0);
    meter.setLevelWithoutRepaint(12.0);
    QVERIFY(meter.calculatePosition());
    QCOMPARE(meter.dBPosition(), 5.0);
    QVERIFY(meter.barHeight() >= 199 && meter.barHeight() <= 200);

    // Limits, scale and size take effect only at the next calculation.
    meter.setLevelWithoutRepaint(-20.0);
    meter.calculatePosition();
    meter.setMindBPosition(-40.0);
    meter.setDINCurve(false);
    meter.resize(16, 415);
    QCOMPARE(meter.barHeight(), 70);
    QVERIFY(meter.calculatePosition());
    QCOMPARE(meter.barHeight(), 415 * 20 / 45);
}

void TestPPMMeter::repaintRules_data()
{
    using Op = MeterOp;
    QTest::addColumn<Op>("operation");
    QTest::addColumn<bool>("repaints");

    QTest::newRow("slot, same level") << Op([](TVKPPMMeter &m) { m.setdBPosition(-50.0); }) << true;
    QTest::newRow("level without repaint")
        << Op([](TVKPPMMeter &m) { m.setLevelWithoutRepaint(0.0); }) << false;
    QTest::newRow("same minimum") << Op([](TVKPPMMeter &m) { m.setMindBPosition(-50.0); }) << false;
    QTest::newRow("new maximum") << Op([](TVKPPMMeter &m) { m.setMaxdBPosition(6.0); }) << true;
    QTest::newRow("NaN minimum") << Op([](TVKPPMMeter &m) { m.setMindBPosition(notANumber); })
                                 << true;
    QTest::newRow("release") << Op([](TVKPPMMeter &m) { m.setReleasePerSecond(3.0); }) << false;
    QTest::newRow("same DIN") << Op([](TVKPPMMeter &m) { m.setDINCurve(true); }) << false;
    QTest::newRow("new gradient bar")
        << Op([](TVKPPMMeter &m) { m.setGradientForground(true); }) << true;
    QTest::newRow("same colour") << Op([](TVKPPMMeter &m) {
        m.setMinBackgroundColor(m.minBackgroundColor());
    }) << true;
    QTest::newRow("same variable")
        << Op([](TVKPPMMeter &m) { m.setSkinEnvironmentVariable(QString()); }) << false;
    QTest::newRow("new file name")
        << Op([](TVKPPMMeter &m) { m.setPPMMeterBackgroundFileName("a.png"); }) << true;
    QTest::newRow("silence marker") << Op([](TVKPPMMeter &m) {
        m.setSilenceLevel(-30.0);
        m.setSilenceMarker(true);
    }) << false;
}

void TestPPMMeter::repaintRules()
{
    QFETCH(MeterOp, operation);
    QFETCH(bool, repaints);
    TVKPPMMeter meter;
    showAndWait(meter);
    PaintCounter counter(&meter);
    QCOMPARE(counter.repaints([&] { operation(meter); }), repaints);
}

void TestPPMMeter::splitColours()
{
    TVKPPMMeter meter;
    meter.setGradientBackground(false);
    place(meter, 200, -20.0); // bar 70, 0 dB line 166
    QImage image = renderOver(meter, sentinel);
    QCOMPARE(image.pixelColor(0, 33), QColor(64, 0, 0));
    QCOMPARE(image.pixelColor(0, 34), QColor(0, 64, 0));
    QCOMPARE(image.pixelColor(11, 129), QColor(0, 64, 0));
    QCOMPARE(image.pixelColor(11, 130), QColor(0, 255, 0));
    QVERIFY(isAlwaysPainted(image));

    place(meter, 200, 3.0); // bar 185 reaches above the 0 dB line
    image = renderOver(meter, sentinel);
    QCOMPARE(image.pixelColor(0, 14), QColor(64, 0, 0));
    QCOMPARE(image.pixelColor(0, 15), QColor(255, 0, 0));
    QCOMPARE(image.pixelColor(0, 33), QColor(255, 0, 0));
    QCOMPARE(image.pixelColor(0, 34), QColor(0, 255, 0));
}

void TestPPMMeter::gradientBarRows_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("firstLit");
    QTest::addColumn<int>("firstSolid"); // first row painted by the solid part
    // Linear scale at H = 200: -22.5 dB gives bar 100, -8.75 dB bar 150.
    QTest::newRow("bar 100") << -22.5 << 100 << 100;
    QTest::newRow("bar 150") << -8.75 << 50 << 98;
}

void TestPPMMeter::gradientBarRows()
{
    QFETCH(double, level);
    QFETCH(int, firstLit);
    QFETCH(int, firstSolid);
    // Half-transparent green over black: rows painted twice come out
    // brighter, which shows where the solid and gradient parts overlap.
    TVKPPMMeter meter;
    meter.setGradientForground(true);
    meter.setMinBackgroundColor(Qt::black);
    meter.setMaxBackgroundColor(Qt::black);
    meter.setMinColor(QColor(0, 255, 0, 128));
    meter.setMaxColor(QColor(0, 255, 0, 128));
    place(meter, 200, level, false);
    const QImage image = renderOver(meter, sentinel);
    for (int y = 0; y < 200; ++y) {
        const int green = image.pixelColor(4, y).green();
        const int layers = y < firstLit ? 0 : (y >= firstSolid && y < 100 ? 2 : 1);
        const int expected = layers == 0 ? 0 : layers == 1 ? 128 : 192;
        QVERIFY2(qAbs(green - expected) <= 3, qPrintable(QString("row %1: %2").arg(y).arg(green)));
    }
}

void TestPPMMeter::gradientBackgroundOddHeight()
{
    TVKPPMMeter meter;
    meter.setMinBackgroundColor(Qt::white);
    meter.setMaxBackgroundColor(Qt::black);
    meter.resize(12, 201);
    const QImage image = renderOver(meter, sentinel);
    QVERIFY(isAlwaysPainted(image));
    QCOMPARE(image.pixelColor(0, 101), QColor(Qt::white)); // half = 101
    QCOMPARE(image.pixelColor(0, 200), QColor(Qt::white));
    QVERIFY(image.pixelColor(0, 100).red() < 255); // gradient ends just above
    QVERIFY(image.pixelColor(0, 0).red() < 8);
    QVERIFY(qAbs(image.pixelColor(0, 50).red() - 128) <= 4);
}

void TestPPMMeter::silenceMarker()
{
    TVKPPMMeter meter;
    meter.resize(12, 200);
    meter.setSilenceLevel(-20.0); // DIN: 70 pixels up, line through y = 130
    meter.setSilenceMarker(true);
    QImage image = renderOver(meter, sentinel);
    QCOMPARE(image.pixelColor(6, 129), QColor(Qt::red));
    QCOMPARE(image.pixelColor(6, 130), QColor(Qt::red));
    QVERIFY(image.pixelColor(6, 126) != QColor(Qt::red));
    QVERIFY(image.pixelColor(6, 133) != QColor(Qt::red));

    meter.setDINCurve(false); // linear: 109 pixels up
    image = renderOver(meter, sentinel);
    QCOMPARE(image.pixelColor(6, 91), QColor(Qt::red));
    QVERIFY(image.pixelColor(6, 129) != QColor(Qt::red));

    meter.setSilenceMarker(false);
    image = renderOver(meter, sentinel);
    QVERIFY(image.pixelColor(6, 91) != QColor(Qt::red));
}

void TestPPMMeter::backgroundPicture()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage picture(16, 200, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QVERIFY(picture.save(dir.filePath("skin.png")));
    qputenv("VM_TEST_METER_SKIN", QFile::encodeName(dir.path()));

    TVKPPMMeter meter;
    for (auto setter : {&TVKPPMMeter::setMaxColor, &TVKPPMMeter::setMinColor,
                        &TVKPPMMeter::setMaxBackgroundColor, &TVKPPMMeter::setMinBackgroundColor})
        (meter.*setter)(Qt::transparent);
    meter.setPPMMeterBackgroundFileName("skin.png");
    QCOMPARE(renderOver(meter, sentinel).pixelColor(3, 3), sentinel); // variable not named yet
    meter.setSkinEnvironmentVariable("VM_TEST_METER_SKIN");
    QCOMPARE(renderOver(meter, sentinel).pixelColor(3, 3), QColor(Qt::blue));

    // Naming the same variable again does not reload the changed file.
    picture.fill(Qt::yellow);
    QVERIFY(picture.save(dir.filePath("skin.png")));
    meter.setSkinEnvironmentVariable("VM_TEST_METER_SKIN");
    QCOMPARE(renderOver(meter, sentinel).pixelColor(3, 3), QColor(Qt::blue));

    meter.setPPMMeterBackgroundFileName("missing.png");
    QCOMPARE(renderOver(meter, sentinel).pixelColor(3, 3), sentinel);

    // The format comes from the file's content, not its name; and only the
    // file at exactly that path counts, not one with a suffix appended.
    QVERIFY(QFile::copy(dir.filePath("skin.png"), dir.filePath("plain")));
    meter.setPPMMeterBackgroundFileName("plain");
    QCOMPARE(renderOver(meter, sentinel).pixelColor(3, 3), QColor(Qt::yellow));
    meter.setPPMMeterBackgroundFileName("skin");
    QCOMPARE(renderOver(meter, sentinel).pixelColor(3, 3), sentinel);
    meter.setPPMMeterBackgroundFileName(QString()); // the directory itself
    QCOMPARE(renderOver(meter, sentinel).pixelColor(3, 3), sentinel);
    qunsetenv("VM_TEST_METER_SKIN");
}

void TestPPMMeter::unsafeValues_data()
{
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("expectedBar"); // -1: anything within 0..H

    QTest::newRow("NaN level") << -50.0 << 5.0 << notANumber << 0;
    QTest::newRow("+infinity level") << -50.0 << 5.0 << infinity << -1;
    QTest::newRow("-infinity level") << -50.0 << 5.0 << -infinity << 0;
    QTest::newRow("NaN minimum") << notANumber << 5.0 << 0.0 << 0;
    QTest::newRow("infinity maximum") << -50.0 << infinity << 0.0 << 0;
    QTest::newRow("-infinity minimum, NaN level") << -infinity << 5.0 << notANumber << 0;
    QTest::newRow("equal limits") << 0.0 << 0.0 << 0.0 << -1;
    QTest::newRow("inverted limits") << 5.0 << -50.0 << -20.0 << -1;
    QTest::newRow("huge level") << -50.0 << 1e300 << 1e299 << -1;
}

void TestPPMMeter::unsafeValues()
{
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, level);
    QFETCH(int, expectedBar);
    for (bool din : {true, false}) {
        TVKPPMMeter meter;
        meter.setMindBPosition(minimum);
        meter.setMaxdBPosition(maximum);
        meter.setSilenceLevel(level);
        meter.setSilenceMarker(true);
        place(meter, 200, level, din);
        QVERIFY(meter.barHeight() >= 0 && meter.barHeight() <= 200);
        QVERIFY(meter.zeroHeight() >= 0 && meter.zeroHeight() <= 200);
        if (expectedBar >= 0)
            QCOMPARE(meter.barHeight(), expectedBar);
        if (std::isnan(level) && !std::isnan(minimum))
            QCOMPARE(meter.dBPosition(), minimum); // written back as the bottom
        for (bool gradients : {true, false}) {
            meter.setGradientBackground(gradients);
            meter.setGradientForground(gradients);
            QVERIFY(isAlwaysPainted(renderOver(meter, sentinel)));
        }
    }
}

void TestPPMMeter::mainWindowLook()
{
    TVKPPMMeter meter;
    meter.setGradientForground(true);
    place(meter, 415, 2.0);
    meter.resize(12, 415);
    const QImage image = renderOver(meter, sentinel);
    QVERIFY(isAlwaysPainted(image));
    image.save("/tmp/widgets-ppmmeter.png");
}

QTEST_MAIN(TestPPMMeter)
#include "tst_ppmmeter.moc"
