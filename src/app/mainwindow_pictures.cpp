// The scaled layout's pictures: the backgrounds and the style-sheet pictures
// at the size the window shows them.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bundle.h"
#include "mylabel.h"
#include "scaledartwork.h"

#include <QImage>
#include <QPainter>

void MainWindow::rescalePictures(float scale)
{
    // From the first pass on, every paint covers the whole window itself: Qt
    // need not clear it first (33 MB written per full frame at 4K). Before it,
    // the window is cleared as any.
    setAttribute(Qt::WA_OpaquePaintEvent);
    const qreal ratio = devicePixelRatioF();
    if (scale <= 1.0f && ratio == 1.0) {
        scaledArtwork->reset();
        // The bundle's backgrounds scaled to the window, as images moved into
        // the pixmaps, so that no second full-window copy is made on the way.
        *scaledBackground = QPixmap::fromImage(background->toImage().scaled(
            windowSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        *scaledBackgroundFill = QPixmap::fromImage(backgroundFill->toImage().scaled(
            windowSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        return;
    }

    ScaledArtwork::Order order;
    order.window = windowSize * ratio;
    order.scale = scale;
    order.ratio = ratio;
    order.online = online;
    // Each style-sheet picture at the size its label shows it: fitted, its
    // shape kept, never larger than the bundle's (Qt's rule for an icon's
    // actual size). Worked out from the bundle's sizes: asking the pictures'
    // icons would decode all 39 in the first paint, before they are decoded
    // ahead.
    for (const bundle::Picture &picture : bundle::pictures()) {
        if (!picture.drawsAtAnySize)
            continue;
        const QWidget *label = picture.path.contains(QLatin1String("/signals/")) ? ui->label_telring
                               : picture.path.contains(QLatin1String("/sunken/")) ? moduleButtons[0]
                                                                                  : settingsButton;
        QSize shown = picture.size;
        if (shown.width() > label->width() || shown.height() > label->height())
            shown.scale(label->size(), Qt::KeepAspectRatio);
        order.pictures.insert(bundle::root + picture.path, shown * ratio);
    }

    // At the same size (going online or offline) the drawn pictures stay until
    // their successors arrive. A new size lets go of them, and its paints
    // stretch the bundle's as they draw it until the drawn ones arrive:
    // stretched copies at 4K would be 60 MB allocated on the GUI thread.
    if (scaledArtwork->drawnFor(order)) {
        order.surface = scaledBackgroundFill->toImage(); // shares the pixmap's pixels
    } else {
        *scaledBackground = QPixmap();
        *scaledBackgroundFill = QPixmap();
    }
    scaledArtwork->draw(order);
}

void MainWindow::paintBundleStretched(QPainter &painter, const QRegion &region) const
{
    const QSize canvasSize = background->size().scaled(windowSize, Qt::KeepAspectRatio);
    const QRect canvas(QPoint((windowSize.width() - canvasSize.width()) / 2,
                              (windowSize.height() - canvasSize.height()) / 2),
                       canvasSize);
    // The fill only where the canvas leaves bands, each band taken from where
    // the fill stretched over the whole window would show it.
    const qreal fillX = qreal(backgroundFill->width()) / windowSize.width();
    const qreal fillY = qreal(backgroundFill->height()) / windowSize.height();
    const int right = canvas.x() + canvas.width();
    const int bottom = canvas.y() + canvas.height();
    const QRect bands[] = {QRect(0, 0, canvas.x(), windowSize.height()),
                           QRect(right, 0, windowSize.width() - right, windowSize.height()),
                           QRect(0, 0, windowSize.width(), canvas.y()),
                           QRect(0, bottom, windowSize.width(), windowSize.height() - bottom)};
    // One rectangle of the region at a time: Qt's fast stretching needs a
    // rectangular clip, and the region leaves out the opaque meters (at 4K
    // the difference is some 30 ms a frame).
    for (const QRect &part : region) {
        painter.setClipRect(part);
        for (const QRect &band : bands) {
            if (!band.intersects(part))
                continue;
            painter.drawPixmap(QRectF(band), *backgroundFill,
                               QRectF(band.x() * fillX, band.y() * fillY, band.width() * fillX,
                                      band.height() * fillY));
        }
        if (canvas.intersects(part))
            painter.drawPixmap(canvas, *background);
    }
}

void MainWindow::showDrawnBackgrounds(const QImage &fill, const QImage &background)
{
    const qreal ratio = devicePixelRatioF();
    // The images' only other holder lets go when this returns; the pixmaps
    // share their pixels instead of copying them.
    *scaledBackgroundFill = QPixmap::fromImage(fill);
    *scaledBackground = QPixmap::fromImage(background);
    scaledBackgroundFill->setDevicePixelRatio(ratio);
    scaledBackground->setDevicePixelRatio(ratio);
    // The whole window, the children's drawn pictures with it.
    update();
}
