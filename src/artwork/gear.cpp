#include "gear.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace gear {

namespace {

constexpr int teeth = 8;
constexpr qreal tipRadius = 122;
constexpr qreal rootRadius = 96;
constexpr qreal holeRadius = 40;
constexpr qreal tipShare = 0.34;  // of a tooth pitch at the tip
constexpr qreal rootShare = 0.52; // of a tooth pitch at the root
constexpr qreal rimWidth = 4;

const QColor bodyLight(104, 107, 112);
const QColor bodyDark(48, 50, 54);
const QColor rimColour(24, 25, 28);

QPointF polar(qreal radius, qreal angle)
{
    return QPointF(size / 2.0 + radius * qCos(angle), size / 2.0 + radius * qSin(angle));
}

QPainterPath gearPath()
{
    const qreal pitch = 2 * M_PI / teeth;
    QPainterPath path;
    for (int i = 0; i < teeth; ++i) {
        const qreal centre = i * pitch - M_PI / 2;
        const QPointF points[] = {
            polar(rootRadius, centre - pitch * rootShare / 2),
            polar(tipRadius, centre - pitch * tipShare / 2 * rootRadius / tipRadius),
            polar(tipRadius, centre + pitch * tipShare / 2 * rootRadius / tipRadius),
            polar(rootRadius, centre + pitch * rootShare / 2),
        };
        if (i == 0)
            path.moveTo(points[0]);
        else
            path.lineTo(points[0]);
        for (int k = 1; k < 4; ++k)
            path.lineTo(points[k]);
        // Along the root circle to the next tooth.
        const qreal from = centre + pitch * rootShare / 2;
        const qreal to = centre + pitch - pitch * rootShare / 2;
        const QRectF root(size / 2.0 - rootRadius, size / 2.0 - rootRadius, 2 * rootRadius,
                          2 * rootRadius);
        path.arcTo(root, -qRadiansToDegrees(from), -qRadiansToDegrees(to - from));
    }
    path.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(size / 2.0, size / 2.0), holeRadius, holeRadius);
    return path.subtracted(hole);
}

} // namespace

QImage paintGear(int pixelSize)
{
    QImage image(pixelSize, pixelSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (pixelSize != size)
        painter.scale(qreal(pixelSize) / size, qreal(pixelSize) / size);
    const QPainterPath shape = gearPath();
    QLinearGradient body(0, 0, size, size);
    body.setColorAt(0.0, bodyLight);
    body.setColorAt(1.0, bodyDark);
    painter.fillPath(shape, body);
    painter.setPen(QPen(rimColour, rimWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    return image;
}

} // namespace gear
