#include "lampplate.h"

#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace lampplate {

namespace {

constexpr int bezel = 12; // dark frame around the lens
constexpr qreal outerRadius = 30;
constexpr qreal lensRadius = 20;
constexpr qreal captionWidth = 440; // widest caption fills this many pixels
constexpr qreal captionHeight = 72; // cap height limit
constexpr qreal outlineWidth = 9.0; // black rim around a lit caption
constexpr qreal darkFactor = 0.26;  // an unlit lens keeps this share of its colour

const QColor bezelTop(46, 47, 50);
const QColor bezelBottom(14, 14, 16);
const QColor unlitInk(150, 152, 156);

QRectF plateRect()
{
    return QRectF(0, 0, width, height);
}

QRectF lensRect()
{
    return plateRect().adjusted(bezel, bezel, -bezel, -bezel);
}

QPainterPath rounded(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QColor scaled(const QColor &colour, qreal factor)
{
    return QColor::fromRgbF(colour.redF() * factor, colour.greenF() * factor,
                            colour.blueF() * factor);
}

// One font size for every caption, so that the column of lamps reads as a
// set: the largest at which the widest caption still fits.
qreal captionScale()
{
    qreal scale = 1e9;
    for (const Lamp &lamp : lamps()) {
        QPainterPath path;
        path.addText(0, 0, artwork::font(100), lamp.caption);
        const QRectF bounds = path.boundingRect();
        scale = qMin(scale, qMin(captionWidth / bounds.width(), captionHeight / bounds.height()));
    }
    return scale;
}

QPainterPath captionPath(const QString &caption)
{
    QPainterPath path;
    path.addText(0, 0, artwork::font(100), caption);
    // Centre on the cap height, not on the bounds, so that all captions share
    // one baseline whatever their letters.
    QPainterPath capitals;
    capitals.addText(0, 0, artwork::font(100), QStringLiteral("H"));
    const QRectF caps = capitals.boundingRect();
    const qreal scale = captionScale();
    const QPointF centre = lensRect().center();
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.scale(scale, scale);
    transform.translate(-path.boundingRect().center().x(), -caps.center().y());
    return transform.map(path);
}

void paintBezel(QPainter &painter)
{
    painter.fillRect(plateRect(), artwork::surfaceColor);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0.0, bezelTop);
    gradient.setColorAt(1.0, bezelBottom);
    painter.fillPath(rounded(plateRect(), outerRadius), gradient);
}

void paintLens(QPainter &painter, const QColor &colour, bool active)
{
    const QRectF lens = lensRect();
    const QPainterPath shape = rounded(lens, lensRadius);
    QLinearGradient body(lens.topLeft(), lens.bottomLeft());
    body.setColorAt(0.0, active ? colour.lighter(125) : scaled(colour, darkFactor * 1.25));
    body.setColorAt(0.55, active ? colour : scaled(colour, darkFactor));
    body.setColorAt(1.0, active ? colour.darker(135) : scaled(colour, darkFactor * 0.7));
    painter.fillPath(shape, body);

    if (active) {
        // The lamp behind the lens: brightest in the middle.
        QRadialGradient glow(lens.center(), lens.width() * 0.55);
        glow.setColorAt(0.0, QColor(255, 255, 255, 70));
        glow.setColorAt(1.0, QColor(255, 255, 255, 0));
        painter.fillPath(shape, glow);
    }
    // Gloss on the upper half of the lens.
    const QRectF upper(lens.left() + 6, lens.top() + 4, lens.width() - 12, lens.height() * 0.45);
    QLinearGradient gloss(upper.topLeft(), upper.bottomLeft());
    gloss.setColorAt(0.0, QColor(255, 255, 255, active ? 90 : 34));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillPath(rounded(upper, lensRadius - 4), gloss);
    painter.setPen(QPen(QColor(0, 0, 0, 200), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
}

void paintCaption(QPainter &painter, const QString &caption, bool active)
{
    const QPainterPath path = captionPath(caption);
    if (active) {
        painter.setPen(QPen(Qt::black, outlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.fillPath(path, Qt::white);
    } else {
        painter.fillPath(path.translated(0, 2), QColor(0, 0, 0, 120));
        painter.fillPath(path, unlitInk);
    }
}

} // namespace

QVector<Lamp> lamps()
{
    return {
        {QStringLiteral("onair1"), QStringLiteral("ON AIR 1"), artwork::litGreen},
        {QStringLiteral("onair2"), QStringLiteral("ON AIR 2"), artwork::litGreen},
        {QStringLiteral("silence"), QStringLiteral("SILENCE"), artwork::litRed},
        {QStringLiteral("micon"), QStringLiteral("MIC ON"), artwork::litRed},
        {QStringLiteral("crmmute"), QStringLiteral("CRM MUTE"), artwork::litRed},
        {QStringLiteral("phone"), QStringLiteral("PHONE"), artwork::litYellow},
        {QStringLiteral("nonstop"), QStringLiteral("NONSTOP"), artwork::litRed},
    };
}

QImage paintPlate(const Lamp &lamp, bool active, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (size != QSize(width, height))
        painter.scale(qreal(size.width()) / width, qreal(size.height()) / height);
    paintBezel(painter);
    paintLens(painter, lamp.lit, active);
    paintCaption(painter, lamp.caption, active);
    return image;
}

} // namespace lampplate
