#include "modulekey.h"

#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace modulekey {

namespace {

constexpr qreal outlineInset = 13; // centre line of the outline from the edge
constexpr qreal outlineWidth = 16;
constexpr qreal edgeWidth = 2; // darker rim on both sides of the outline
constexpr qreal cornerRadius = 38;
constexpr int numberPixelSize = 64;
constexpr QRectF numberBox(34, 28, 70, 70);

QLinearGradient keyGradient(const QColor &colour)
{
    QLinearGradient gradient(0, 0, 0, size);
    gradient.setColorAt(0.0, colour.lighter(125));
    gradient.setColorAt(1.0, colour.darker(125));
    return gradient;
}

QPainterPath outline()
{
    QPainterPath path;
    const QRectF rect(outlineInset, outlineInset, size - 2 * outlineInset, size - 2 * outlineInset);
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    return path;
}

} // namespace

QVector<KeyState> states()
{
    return {{QStringLiteral("grey"), artwork::keyGrey},
            {QStringLiteral("red"), artwork::litRed},
            {QStringLiteral("green"), artwork::litGreen}};
}

QImage paintKey(int number, const QColor &colour, int pixelSize)
{
    QImage image(pixelSize, pixelSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (pixelSize != size)
        painter.scale(qreal(pixelSize) / size, qreal(pixelSize) / size);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour.darker(250), outlineWidth + 2 * edgeWidth));
    painter.drawPath(outline());
    painter.setPen(QPen(QBrush(keyGradient(colour)), outlineWidth));
    painter.drawPath(outline());

    QPainterPath digit;
    digit.addText(0, 0, artwork::font(numberPixelSize), QString::number(number));
    digit.translate(numberBox.center() - digit.boundingRect().center());
    painter.setPen(
        QPen(colour.darker(250), edgeWidth * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(digit);
    painter.fillPath(digit, keyGradient(colour));
    return image;
}

} // namespace modulekey
