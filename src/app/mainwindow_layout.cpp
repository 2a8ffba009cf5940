// Fitting the fixed 986 x 650 design to any window size: one uniform scale,
// a letter-box offset, proportional fonts and cached background pictures.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "mylabel.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>

namespace {

constexpr int designWidth = 986;
constexpr int designHeight = 650;
constexpr double designAspect = 1.5169230769230768; // 986 / 650

// Point sizes at scale 1, on a desktop of the reference DPI.
constexpr double captionPointSize = 15;
constexpr double footerPointSize = 10;
constexpr double sourcePointSize = 10;
constexpr double micTimePointSize = 12;
// The design's point sizes are sizes on its pixel canvas at 96 DPI, the
// 100 % of every desktop.
constexpr double referenceDpi = 96;

int scaled(int value, float scale)
{
    return int(std::trunc(double(value) * double(scale)));
}

// Qt turns points into pixels with the desktop's logical DPI: on a desktop at
// 150 % (144 DPI) a design point size would be 1.5 times the pixels of its box
// and be cut. The size set is the one that gives, at the widget's DPI, the
// pixels the design size gives at 96 DPI; Qt resolves a widget's font with
// the same logicalDpiY(). At 96 DPI it is the design size itself.
QFont withPointSize(QFont font, double baseSize, float scale, int dpi)
{
    font.setPointSizeF(std::trunc(double(scale) * baseSize) * referenceDpi / dpi);
    return font;
}

} // namespace

void MainWindow::captureDesignRects()
{
    for (int k = 0; k < designRectCount; ++k)
        designRects[k] = designWidget(k)->geometry();
}

QWidget *MainWindow::designWidget(int index) const
{
    QWidget *const fixed[] = {ui->ProgLeft,    ui->ProgRight,    ui->CrmLeft,     ui->CrmRight,
                              ui->AnalogClock, ui->DigitalClock, ui->proglabel,   ui->crmlabel,
                              ui->timelabel,   ui->signalslabel, ui->footerlabel, settingsButton};
    constexpr int fixedCount = sizeof fixed / sizeof fixed[0];
    if (index < fixedCount)
        return fixed[index];
    index -= fixedCount;
    if (index < moduleCount)
        return moduleButtons[index];
    index -= moduleCount;
    QWidget *const rest[] = {
        ui->label_src_1,   ui->label_src_2,  ui->label_src_3,   ui->label_src_4,
        ui->label_src_5,   ui->label_src_6,  ui->label_src_7,   ui->label_src_8,
        ui->label_telring, ui->label_onair1, ui->label_onair2,  nonStopButton,
        ui->label_silence, ui->label_micon,  ui->label_crmmute, ui->label_mictime};
    return rest[index];
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    windowSize = event->size();
    rescalePending = true;
}

void MainWindow::onScreenChanged()
{
    // The fonts' DPI factor may have changed: lay the canvas out anew, as
    // after a resize.
    rescalePending = true;
    update();
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (rescalePending && !background->isNull())
        rescale();
    if (scaledBackground->isNull()) {
        // Laid out for a size whose pictures are still being drawn.
        if (windowSize.isValid() && !rescalePending)
            paintBundleStretched(painter, event->region());
        return;
    }
    painter.drawPixmap(0, 0, *scaledBackgroundFill);
    // Sizes in the window's own pixels: pictures drawn for a high-density
    // screen hold more.
    const QSize shown = scaledBackground->size() / scaledBackground->devicePixelRatioF();
    const int x = (windowSize.width() - shown.width()) / 2;
    const int y = (windowSize.height() - shown.height()) / 2;
    painter.drawPixmap(QPointF(x, y), *scaledBackground);
}

void MainWindow::rescale()
{
    const int w = windowSize.width();
    const int h = windowSize.height();
    const double aspect = double(w) / double(h);
    float scale = 0;
    int xOffset = 0;
    int yOffset = 0;
    if (aspect > designAspect) {
        const int fittedWidth = (h * designWidth) / designHeight;
        xOffset = (w - fittedWidth) / 2;
        scale = float((double(fittedWidth) / designWidth + double(h) / designHeight) * 0.5);
    } else if (aspect <= designAspect) {
        const int fittedHeight = (w * designHeight) / designWidth;
        yOffset = (h - fittedHeight) / 2;
        scale = float((double(fittedHeight) / designHeight + double(w) / designWidth) * 0.5);
    }

    for (int k = 0; k < designRectCount; ++k) {
        const QRect &r = designRects[k];
        designWidget(k)->setGeometry(scaled(r.x(), scale) + xOffset, scaled(r.y(), scale) + yOffset,
                                     scaled(r.width(), scale), scaled(r.height(), scale));
    }
    // After the geometry: the pictures are drawn for the sizes just set.
    rescalePictures(scale);

    // All of the canvas is on the window's screen.
    const int dpi = logicalDpiY();
    const QFont caption = withPointSize(ui->proglabel->font(), captionPointSize, scale, dpi);
    for (QLabel *label : {ui->proglabel, ui->crmlabel, ui->timelabel, ui->signalslabel})
        label->setFont(caption);
    ui->footerlabel->setFont(withPointSize(ui->footerlabel->font(), footerPointSize, scale, dpi));
    const QFont source = withPointSize(ui->label_src_1->font(), sourcePointSize, scale, dpi);
    for (QLabel *label : {ui->label_src_1, ui->label_src_2, ui->label_src_3, ui->label_src_4,
                          ui->label_src_5, ui->label_src_6, ui->label_src_7, ui->label_src_8})
        label->setFont(source);
    ui->label_mictime->setFont(
        withPointSize(ui->label_mictime->font(), micTimePointSize, scale, dpi));
    ui->DigitalClock->setTimeDisplayFont(
        withPointSize(ui->DigitalClock->timeDisplayFont(), digitalTimePointSize, scale, dpi));
    ui->DigitalClock->setDateDisplayFont(
        withPointSize(ui->DigitalClock->dateDisplayFont(), digitalDatePointSize, scale, dpi));

    for (TVKPPMMeter *meter : meters())
        meter->calculatePosition();

    rescalePending = false;
    update();
}
