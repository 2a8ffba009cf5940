#include "appicon.h"

#include "artwork.h"
#include "logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace appicon {

namespace {

constexpr qreal marginShare = 0.03;
constexpr qreal radiusShare = 0.2;
constexpr qreal borderShare = 0.05;
constexpr qreal emblemShare = 0.66;
// Below this size the ring would blur into the border; the bars alone stay
// readable.
constexpr int smallIcon = 32;
constexpr int smallBarCount = 3;

// Whole-pixel bars rising to the right, filling the tile.
void paintSmallBars(QPainter &painter, const QRectF &inside)
{
    const int width = int(inside.width());
    const int barWidth = qMax(1, width / (2 * smallBarCount));
    const int gap = qMax(1, (width - smallBarCount * barWidth) / (smallBarCount + 1));
    const int bottom = int(inside.bottom()) - gap;
    const int tallest = bottom - int(inside.top()) - gap + 1;
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < smallBarCount; ++i) {
        const int height = tallest * (i + 1) / smallBarCount;
        const int left = int(inside.left()) + gap + i * (barWidth + gap);
        painter.fillRect(QRect(left, bottom - height + 1, barWidth, height), artwork::silverLight);
    }
}

} // namespace

QImage paintIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const qreal margin = size * marginShare;
    const QRectF tile(margin, margin, size - 2 * margin, size - 2 * margin);
    const qreal radius = size * radiusShare;
    const qreal border = qMax<qreal>(1.0, size * borderShare);

    QLinearGradient rim(tile.topLeft(), tile.bottomLeft());
    rim.setColorAt(0.0, artwork::silverLight);
    rim.setColorAt(1.0, artwork::silverDark);
    QPainterPath outer;
    outer.addRoundedRect(tile, radius, radius);
    painter.fillPath(outer, rim);

    const QRectF inside = tile.adjusted(border, border, -border, -border);
    QLinearGradient body(inside.topLeft(), inside.bottomLeft());
    body.setColorAt(0.0, artwork::surfaceColor.lighter(120));
    body.setColorAt(1.0, artwork::surfaceColor.darker(160));
    QPainterPath inner;
    inner.addRoundedRect(inside, radius - border, radius - border);
    painter.fillPath(inner, body);

    if (size < smallIcon) {
        paintSmallBars(painter, inside);
        return image;
    }
    const qreal emblem = size * emblemShare;
    logo::paintEmblem(painter, QRectF((size - emblem) / 2, (size - emblem) / 2, emblem, emblem));
    return image;
}

} // namespace appicon
