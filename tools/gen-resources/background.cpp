#include "background.h"

#include "artwork.h"
#include "levelscale.h"
#include "logo.h"
#include "surface.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace background {

namespace {

constexpr QRect titleBar(40, 28, 903, 27);
constexpr QRect captionBand(40, 506, 903, 27);
constexpr QRect clockFace(348, 85, 410, 410);
constexpr QRectF makerLogo(821, 68, 116, 75);
constexpr QRect footerPlate(370, 618, 360, 26);
constexpr QRect masterPanel(42, 60, 126, 439);
constexpr QRect crmPanel(198, 60, 126, 439);
constexpr int meterLefts[] = {54, 143, 210, 299};
constexpr int meterWidth = 12;
constexpr int bezelWidth = 8;
constexpr int barRadius = 4;
constexpr int panelRadius = 6;
constexpr int titlePixelSize = 15;
constexpr qreal titleLetterSpacing = 1.5;
constexpr quint32 silverSeed = 0x564d3032;

const QColor meterSlot(10, 10, 12);
const QColor panelShade(0, 0, 0, 105);
const QColor edgeHighlight(255, 255, 255, 38);
const QColor edgeShadow(0, 0, 0, 140);

QPainterPath rounded(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A recess: darker inside, a light lip along the lower edge where the
// surface catches the light.
void paintRecess(QPainter &painter, const QRect &rect, int radius, const QBrush &inside)
{
    const QRectF area(rect);
    painter.fillPath(rounded(area.translated(0, 1), radius), edgeHighlight);
    painter.fillPath(rounded(area, radius), edgeShadow);
    painter.fillPath(rounded(area.adjusted(1, 1, -1, -1), radius - 1), inside);
}

void paintMeterPanels(QPainter &painter)
{
    for (const QRect &panel : {masterPanel, crmPanel})
        paintRecess(painter, panel, panelRadius, panelShade);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int left : meterLefts) {
        const QRect meter(left, levelscale::meterTop, meterWidth, levelscale::meterHeight);
        painter.fillRect(meter.adjusted(-1, -1, 1, 1), meterSlot);
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
}

// A silver strip with its own grain: the title bar and the name plate.
void paintSilver(QImage &image, const QRect &rect, const QBrush &brush)
{
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.fillPath(rounded(QRectF(rect).translated(0, 1), barRadius), edgeHighlight);
        painter.fillPath(rounded(QRectF(rect), barRadius), brush);
    }
    surface::addGrain(image, rect.adjusted(1, 1, -1, -1), silverSeed, 0.7);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient sheen(rect.topLeft(), rect.bottomLeft());
    sheen.setColorAt(0.0, QColor(255, 255, 255, 70));
    sheen.setColorAt(0.45, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.0, QColor(0, 0, 0, 40));
    painter.fillPath(rounded(QRectF(rect), barRadius), sheen);
    painter.setPen(QPen(QColor(0, 0, 0, 160), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(rounded(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), barRadius));
}

void paintTitleBar(QImage &image)
{
    QLinearGradient gradient(titleBar.topLeft(), titleBar.topRight());
    gradient.setColorAt(0.0, artwork::silverDark);
    gradient.setColorAt(0.5, artwork::silverLight);
    gradient.setColorAt(1.0, artwork::silverDark);
    paintSilver(image, titleBar, gradient);

    QPainter painter(&image);
    QFont font = artwork::font(titlePixelSize);
    font.setLetterSpacing(QFont::AbsoluteSpacing, titleLetterSpacing);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 110));
    painter.drawText(titleBar.translated(0, 1), Qt::AlignCenter, QStringLiteral("Vontra Meters"));
    painter.setPen(artwork::engravedInk);
    painter.drawText(titleBar, Qt::AlignCenter, QStringLiteral("Vontra Meters"));
}

void paintFooterPlate(QImage &image)
{
    QLinearGradient gradient(footerPlate.topLeft(), footerPlate.bottomLeft());
    gradient.setColorAt(0.0, artwork::silverLight);
    gradient.setColorAt(1.0, artwork::silverDark.lighter(115));
    paintSilver(image, footerPlate, gradient);
}

// A turned chrome bezel around the face; the face itself is plain black so
// that the clock's own marks are all the operator sees on it.
void paintClockFace(QPainter &painter)
{
    const QRectF face(clockFace);
    const QRectF bezel = face.adjusted(-bezelWidth, -bezelWidth, bezelWidth, bezelWidth);
    painter.fillPath(rounded(bezel.translated(0, 1.5), bezel.width() / 2), edgeShadow);
    QLinearGradient chrome(bezel.topLeft(), bezel.bottomRight());
    chrome.setColorAt(0.0, QColor(225, 228, 232));
    chrome.setColorAt(0.5, QColor(110, 113, 118));
    chrome.setColorAt(1.0, QColor(60, 62, 66));
    painter.setPen(Qt::NoPen);
    painter.setBrush(chrome);
    painter.drawEllipse(bezel);
    QLinearGradient lip(bezel.bottomRight(), bezel.topLeft());
    lip.setColorAt(0.0, QColor(200, 204, 208));
    lip.setColorAt(1.0, QColor(40, 42, 46));
    painter.setBrush(lip);
    painter.drawEllipse(
        face.adjusted(-bezelWidth / 2, -bezelWidth / 2, bezelWidth / 2, bezelWidth / 2));
    painter.setBrush(Qt::black);
    painter.drawEllipse(face);
}

void paintCaptionBand(QPainter &painter)
{
    QLinearGradient gradient(captionBand.topLeft(), captionBand.bottomLeft());
    gradient.setColorAt(0.0, QColor(6, 6, 8));
    gradient.setColorAt(0.5, QColor(30, 31, 34));
    gradient.setColorAt(1.0, QColor(8, 8, 10));
    paintRecess(painter, captionBand, barRadius, gradient);
}

void paintOnlineLine(QPainter &painter)
{
    QLinearGradient gradient(onlineLine.topLeft(), onlineLine.bottomLeft());
    gradient.setColorAt(0.0, artwork::onlineGreen.lighter(130));
    gradient.setColorAt(1.0, artwork::onlineGreen.darker(130));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(onlineLine, gradient);
}

} // namespace

QImage paintBackground(bool online)
{
    QImage image = surface::brushedMetal(designSize, surface::windowSeed);
    paintTitleBar(image);
    paintFooterPlate(image);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    paintMeterPanels(painter);
    levelscale::paintScale(painter, levelscale::masterScale);
    levelscale::paintScale(painter, levelscale::crmScale);
    paintClockFace(painter);
    logo::paintMakerLogo(painter, makerLogo);
    paintCaptionBand(painter);
    if (online)
        paintOnlineLine(painter);
    return image;
}

QImage paintFill()
{
    return surface::brushedMetal(fillSize, surface::windowSeed);
}

} // namespace background
