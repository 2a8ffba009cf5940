#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>

#include <cmath>

// Design pixels of the 986 x 650 canvas to device pixels, the way the window
// places its widgets: each coordinate and length multiplied by one scale and
// truncated, in the window's own pixels, which a screen of more than one
// device pixel per window pixel then multiplies by its ratio. Marks that a
// widget stands on (meter slots, the clock face, the scale ticks) use this
// rule, so that they stay under their widgets at any size and ratio; free
// artwork uses the exact products.
class CanvasScale
{
public:
    static constexpr QSize designSize{986, 650};

    constexpr CanvasScale() = default;
    explicit constexpr CanvasScale(float factor, qreal ratio = 1.0) : scale(factor), ratio(ratio) {}

    // Device pixels per design pixel.
    float factor() const { return float(qreal(scale) * ratio); }
    bool isDesign() const { return factor() == 1.0f; }

    // A design coordinate or length in the window's pixels, as the window
    // places its widgets, and such a number of window pixels on the device.
    int toWindow(int design) const { return int(std::trunc(double(design) * double(scale))); }
    int toDevice(int window) const { return int(std::lround(window * ratio)); }

    int map(int design) const { return toDevice(toWindow(design)); }
    QRect map(const QRect &design) const
    {
        return QRect(map(design.x()), map(design.y()), map(design.width()), map(design.height()));
    }
    qreal length(qreal design) const { return design * qreal(factor()); }
    QRectF mapF(const QRectF &design) const
    {
        return QRectF(length(design.x()), length(design.y()), length(design.width()),
                      length(design.height()));
    }
    // A pixel size for text or a line, never below one device pixel.
    int pixels(qreal design) const { return qMax(1, int(std::lround(length(design)))); }

    // Where the canvas lies in a window of this device size: the design fitted,
    // its shape kept, centred, all in the window's pixels first.
    QRect area(const QSize &deviceWindow) const
    {
        const QSize window(int(std::lround(deviceWindow.width() / ratio)),
                           int(std::lround(deviceWindow.height() / ratio)));
        const QSize size = designSize.scaled(window, Qt::KeepAspectRatio);
        return QRect(toDevice((window.width() - size.width()) / 2),
                     toDevice((window.height() - size.height()) / 2), toDevice(size.width()),
                     toDevice(size.height()));
    }

private:
    float scale = 1.0f;
    qreal ratio = 1.0;
};
