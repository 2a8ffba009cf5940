#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QTransform>

#include <array>
#include <functional>
#include <vector>

class QPainter;

// One shape at each of the sixty positions of a clock dial: a scale line, a
// second dot. Each is drawn once, antialiased, into a small picture of its
// own at its place on the dial, and a paint only copies the pictures: drawing
// sixty lines and ellipses every second was most of what an idle clock cost.
// Shapes whose pictures would take more than a fixed budget of memory (a
// huge dot size or line width) are drawn directly at each paint instead.
class DialRing
{
public:
    static constexpr int positions = 60;

    // Draws, or gives the bounds of, the shape of position i in dial units,
    // turned to 12 o'clock. Empty bounds: nothing is drawn there (and the
    // shape is not asked for).
    using Draw = std::function<void(QPainter &, int)>;
    using Bounds = std::function<QRectF(int)>;

    DialRing(Draw draw, Bounds bounds);

    // The shapes changed: the pictures are made anew at the next paint.
    void clear();
    // Paints the positions for which shown(i) holds; the painter's transform
    // is the dial's. Pictures made for another transform or device-pixel
    // ratio are made anew.
    void paint(QPainter &painter, const std::function<bool(int)> &shown);
    // Where position i paints, given the dial's transform.
    QRect area(const QTransform &dial, int i) const;

private:
    struct Sprite
    {
        QPointF at;
        QImage image; // null where nothing is drawn
    };

    void make(const QTransform &dial, qreal ratio);
    QTransform placed(const QTransform &dial, int i) const;

    Draw drawShape;
    Bounds shapeBounds;
    std::vector<Sprite> sprites;
    std::array<QRect, positions> areas; // in device pixels; empty: nothing there
    bool made = false;
    bool direct = false; // over the budget: drawn at each paint
    QTransform madeFor;
    qreal madeRatio = 0;
};
