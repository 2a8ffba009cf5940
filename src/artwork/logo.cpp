#include "logo.h"

#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace logo {

namespace {

const char *const makerWord = "ORVENDEL";
constexpr qreal emblemShare = 0.6;     // of the area's height
constexpr qreal wordShare = 0.24;      // of the area's height
constexpr qreal ringWidthShare = 0.09; // of the emblem's diameter
// Bar heights, as shares of the emblem's diameter: a level rising to the
// right, the maker's nod to the meters it builds.
constexpr qreal barHeights[] = {0.2, 0.31, 0.43, 0.55};
constexpr qreal barWidthShare = 0.09;
constexpr qreal barGapShare = 0.05;

QBrush silver(const QRectF &rect)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0.0, artwork::silverLight.lighter(108));
    gradient.setColorAt(1.0, artwork::silverDark);
    return gradient;
}

QPainterPath emblemPath(const QRectF &square)
{
    const qreal diameter = square.width();
    const qreal ring = diameter * ringWidthShare;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addEllipse(square);
    path.addEllipse(square.adjusted(ring, ring, -ring, -ring));

    const int barCount = int(sizeof(barHeights) / sizeof(barHeights[0]));
    const qreal barWidth = diameter * barWidthShare;
    const qreal gap = diameter * barGapShare;
    const qreal totalWidth = barCount * barWidth + (barCount - 1) * gap;
    const qreal baseline = square.center().y() + diameter * 0.26;
    qreal x = square.center().x() - totalWidth / 2;
    for (qreal share : barHeights) {
        const qreal height = diameter * share;
        path.addRoundedRect(QRectF(x, baseline - height, barWidth, height), barWidth * 0.2,
                            barWidth * 0.2);
        x += barWidth + gap;
    }
    return path;
}

// The word stretched to the given width; letter-spaced by the fit.
QPainterPath wordPath(const QRectF &box)
{
    QFont font = artwork::font(64);
    font.setLetterSpacing(QFont::PercentageSpacing, 118);
    QPainterPath path;
    path.addText(0, 0, font, QLatin1String(makerWord));
    const QRectF bounds = path.boundingRect();
    const qreal scale = qMin(box.width() / bounds.width(), box.height() / bounds.height());
    QTransform transform;
    transform.translate(box.center().x(), box.center().y());
    transform.scale(scale, scale);
    transform.translate(-bounds.center().x(), -bounds.center().y());
    return transform.map(path);
}

void paintEngraved(QPainter &painter, const QPainterPath &path)
{
    // A dark copy one step down reads as the shadow of a raised, machined mark.
    const qreal depth = qMax<qreal>(1.0, path.boundingRect().height() / 40.0);
    painter.fillPath(path.translated(0, depth), QColor(0, 0, 0, 150));
    painter.fillPath(path, silver(path.boundingRect()));
}

} // namespace

void paintEmblem(QPainter &painter, const QRectF &square)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    paintEngraved(painter, emblemPath(square));
    painter.restore();
}

void paintMakerLogo(QPainter &painter, const QRectF &area)
{
    const qreal emblemSize = area.height() * emblemShare;
    const QRectF emblem(area.center().x() - emblemSize / 2, area.top(), emblemSize, emblemSize);
    const qreal wordHeight = area.height() * wordShare;
    const QRectF word(area.left(), area.bottom() - wordHeight, area.width(), wordHeight);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    paintEngraved(painter, emblemPath(emblem));
    paintEngraved(painter, wordPath(word));
    painter.restore();
}

} // namespace logo
