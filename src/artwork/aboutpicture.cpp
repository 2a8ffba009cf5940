#include "aboutpicture.h"

#include "artwork.h"
#include "logo.h"
#include "surface.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace aboutpicture {

namespace {

constexpr quint32 aboutSeed = 0x564d3033;
constexpr QRectF emblemSquare(139, 22, 80, 80);
constexpr QRectF productBox(16, 112, 326, 46);
constexpr QRectF makerBox(16, 160, 326, 24);
constexpr int productPixelSize = 38;
constexpr int makerPixelSize = 17;
constexpr int segmentCount = 22;
constexpr QRectF segmentRow(44, 212, 270, 22);
constexpr qreal segmentGap = 3;
constexpr int firstYellowSegment = 14;
constexpr int firstRedSegment = 18;
constexpr int litSegments = 19;

// A row of level segments, lit up to just past the yellow: the product in
// one glance, drawn the way the console's own bargraphs look.
void paintSegments(QPainter &painter)
{
    const qreal step = segmentRow.width() / segmentCount;
    for (int i = 0; i < segmentCount; ++i) {
        QColor colour = i >= firstRedSegment      ? artwork::litRed
                        : i >= firstYellowSegment ? artwork::litYellow
                                                  : artwork::litGreen;
        if (i >= litSegments)
            colour = colour.darker(400);
        const QRectF segment(segmentRow.left() + i * step, segmentRow.top(), step - segmentGap,
                             segmentRow.height());
        painter.fillRect(segment.translated(0, 1), QColor(255, 255, 255, 30));
        painter.fillRect(segment, colour);
        QLinearGradient gloss(segment.topLeft(), segment.bottomLeft());
        gloss.setColorAt(0.0, QColor(255, 255, 255, 80));
        gloss.setColorAt(0.5, QColor(255, 255, 255, 0));
        painter.fillRect(segment, gloss);
    }
}

void paintText(QPainter &painter, const QRectF &box, int pixelSize, const QColor &ink,
               const QString &text, qreal spacing)
{
    QFont font = artwork::font(pixelSize);
    font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 0, 160));
    painter.drawText(box.translated(0, 2), Qt::AlignCenter, text);
    painter.setPen(ink);
    painter.drawText(box, Qt::AlignCenter, text);
}

} // namespace

QImage paintAbout()
{
    QImage image = surface::brushedMetal(QSize(width, height), aboutSeed);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    // Darker towards the edges, so the eye goes to the name.
    QRadialGradient vignette(QPointF(width / 2.0, height * 0.45), width * 0.7);
    vignette.setColorAt(0.0, QColor(0, 0, 0, 0));
    vignette.setColorAt(1.0, QColor(0, 0, 0, 120));
    painter.fillRect(image.rect(), vignette);

    logo::paintEmblem(painter, emblemSquare);
    paintText(painter, productBox, productPixelSize, Qt::white, QStringLiteral("Vontra Meters"),
              0.5);
    paintText(painter, makerBox, makerPixelSize, artwork::silverLight, QStringLiteral("ORVENDEL"),
              6.0);
    painter.fillRect(QRectF(segmentRow.left(), 194, segmentRow.width(), 1),
                     QColor(255, 255, 255, 50));
    paintSegments(painter);
    return image;
}

} // namespace aboutpicture
