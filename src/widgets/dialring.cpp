#include "dialring.h"

#include <QPaintDevice>
#include <QPainter>

#include <utility>

namespace {

constexpr double degreesPerPosition = 6.0;
// Enough for the scale lines or dots of a clock filling a 4K screen at twice
// the pixel ratio (some 2.5 MB); an oversized shape costs a few milliseconds
// a paint when drawn directly, not hundreds of megabytes.
constexpr qint64 budgetBytes = 8 * 1024 * 1024;
constexpr qint64 bytesPerPixel = 4;
// Far beyond any screen, yet whole pixel numbers stay well within int
// whatever size a property gives a shape.
constexpr qreal farOff = 1 << 24;

// A shape's pixels, with one more on each side for the antialiased edge.
QRect covered(const QTransform &toDevice, const QRectF &shape)
{
    const QRectF reach(-farOff, -farOff, 2 * farOff, 2 * farOff);
    return toDevice.mapRect(shape).intersected(reach).toAlignedRect().adjusted(-1, -1, 1, 1);
}

} // namespace

DialRing::DialRing(Draw draw, Bounds bounds)
    : drawShape(std::move(draw)), shapeBounds(std::move(bounds))
{
}

void DialRing::clear()
{
    sprites.clear();
    made = false;
}

QTransform DialRing::placed(const QTransform &dial, int i) const
{
    return QTransform().rotate(degreesPerPosition * i) * dial;
}

QRect DialRing::area(const QTransform &dial, int i) const
{
    const QRectF shape = shapeBounds(i);
    return shape.isEmpty() ? QRect() : covered(placed(dial, i), shape);
}

void DialRing::paint(QPainter &painter, const std::function<bool(int)> &shown)
{
    const QTransform dial = painter.transform();
    const qreal ratio = painter.device()->devicePixelRatioF();
    if (!made || dial != madeFor || ratio != madeRatio)
        make(dial, ratio);

    painter.save();
    if (direct) {
        for (int i = 0; i < positions; ++i) {
            if (areas[std::size_t(i)].isEmpty() || !shown(i))
                continue;
            painter.setTransform(placed(dial, i));
            drawShape(painter, i);
        }
    } else {
        painter.resetTransform();
        for (int i = 0; i < positions; ++i) {
            const Sprite &sprite = sprites[std::size_t(i)];
            if (!sprite.image.isNull() && shown(i))
                painter.drawImage(sprite.at, sprite.image);
        }
    }
    painter.restore();
}

void DialRing::make(const QTransform &dial, qreal ratio)
{
    made = true;
    madeFor = dial;
    madeRatio = ratio;
    sprites.assign(std::size_t(positions), Sprite());

    const QTransform toDevice = QTransform::fromScale(ratio, ratio);
    qint64 bytes = 0;
    for (int i = 0; i < positions; ++i) {
        const QRectF shape = shapeBounds(i);
        QRect &area = areas[std::size_t(i)];
        area = shape.isEmpty() ? QRect() : covered(placed(dial, i) * toDevice, shape);
        bytes += qint64(area.width()) * area.height() * bytesPerPixel;
    }
    direct = bytes > budgetBytes;
    if (direct)
        return;

    for (int i = 0; i < positions; ++i) {
        const QRect &area = areas[std::size_t(i)];
        if (area.isEmpty())
            continue;
        Sprite &sprite = sprites[std::size_t(i)];
        sprite.image = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
        sprite.image.fill(Qt::transparent);
        {
            QPainter painter(&sprite.image);
            painter.setRenderHint(QPainter::Antialiasing);
            // Whole device pixels moved, so each shape keeps the exact pixels
            // it would have drawn in place.
            painter.setTransform(placed(dial, i) * toDevice *
                                 QTransform::fromTranslate(-area.x(), -area.y()));
            drawShape(painter, i);
        }
        sprite.image.setDevicePixelRatio(ratio);
        sprite.at = QPointF(area.topLeft()) / ratio;
    }
}
