#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>

#include <cmath>

// Design pixels of the 986 x 650 canvas to device pixels, the way the window
// places its widgets: each coordinate and length multiplied by one scale and
// truncated. Marks that a widget stands on (meter slots, the clock face, the
// scale ticks) use this rule, so that they stay under their widgets at any
// size; free artwork uses the exact products.
class CanvasScale
{
public:
    static constexpr QSize designSize{986, 650};

    constexpr CanvasScale() = default;
    explicit constexpr CanvasScale(float factor) : scale(factor) {}

    float factor() const { return scale; }
    bool isDesign() const { return scale == 1.0f; }

    int map(int design) const { return int(std::trunc(double(design) * double(scale))); }
    QRect map(const QRect &design) const
    {
        return QRect(map(design.x()), map(design.y()), map(design.width()), map(design.height()));
    }
    qreal length(qreal design) const { return design * qreal(scale); }
    QRectF mapF(const QRectF &design) const
    {
        return QRectF(length(design.x()), length(design.y()), length(design.width()),
                      length(design.height()));
    }
    // A pixel size for text or a line, never below one device pixel.
    int pixels(qreal design) const { return qMax(1, int(std::lround(length(design)))); }

private:
    float scale = 1.0f;
};
