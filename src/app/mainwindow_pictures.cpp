// The scaled layout's pictures: the backgrounds and the style-sheet pictures
// at the size the window shows them.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bundle.h"
#include "mylabel.h"
#include "scaledartwork.h"

#include <QIcon>
#include <QImage>

void MainWindow::rescalePictures(float scale)
{
    // The bundle's backgrounds scaled to the window, as images moved into the
    // pixmaps, so that no second full-window copy is made on the way.
    const auto scaleBundlePictures = [this](Qt::TransformationMode mode) {
        *scaledBackground =
            QPixmap::fromImage(background->toImage().scaled(windowSize, Qt::KeepAspectRatio, mode));
        *scaledBackgroundFill = QPixmap::fromImage(
            backgroundFill->toImage().scaled(windowSize, Qt::IgnoreAspectRatio, mode));
    };
    const qreal ratio = devicePixelRatioF();
    if (scale <= 1.0f && ratio == 1.0) {
        scaledArtwork->reset();
        scaleBundlePictures(Qt::SmoothTransformation);
        return;
    }

    ScaledArtwork::Order order;
    order.window = windowSize * ratio;
    order.scale = float(qreal(scale) * ratio);
    order.online = online;
    // Each style-sheet picture at the size its label shows it: fitted, its
    // shape kept, never larger than the bundle's (Qt's rule, asked of the
    // picture's own icon).
    for (const bundle::Picture &picture : bundle::pictures()) {
        if (!picture.drawsAtAnySize)
            continue;
        const QString file = bundle::root + picture.path;
        const QWidget *label = picture.path.contains(QLatin1String("/signals/")) ? ui->label_telring
                               : picture.path.contains(QLatin1String("/sunken/")) ? moduleButtons[0]
                                                                                  : settingsButton;
        order.pictures.insert(file, QIcon(file).actualSize(label->size()) * ratio);
    }

    // A new size shows the bundle's pictures, quickly stretched, until the
    // drawn ones arrive; at the same size (going online or offline) the drawn
    // ones stay until their successors arrive.
    if (scaledArtwork->drawnFor(order))
        order.surface = scaledBackgroundFill->toImage(); // shares the pixmap's pixels
    else
        scaleBundlePictures(Qt::FastTransformation);
    scaledArtwork->draw(order);
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
