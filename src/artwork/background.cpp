#include "background.h"

#include "artwork.h"
#include "canvasscale.h"
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
constexpr qreal bezelWidth = 8;
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
void paintRecess(QPainter &painter, const QRect &rect, qreal radius, const QBrush &inside,
                 const CanvasScale &canvas)
{
    const QRectF area(rect);
    const qreal lip = canvas.length(1);
    painter.fillPath(rounded(area.translated(0, lip), radius), edgeHighlight);
    painter.fillPath(rounded(area, radius), edgeShadow);
    painter.fillPath(rounded(area.adjusted(lip, lip, -lip, -lip), radius - lip), inside);
}

void paintMeterPanels(QPainter &painter, const CanvasScale &canvas)
{
    for (const QRect &panel : {masterPanel, crmPanel})
        paintRecess(painter, canvas.map(panel), canvas.length(panelRadius), panelShade, canvas);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // A slot one design pixel wider than the meter all round; the meter itself
    // stands where the window puts it.
    const int rim = canvas.pixels(1);
    for (int left : meterLefts) {
        const QRect meter =
            canvas.map(QRect(left, levelscale::meterTop, meterWidth, levelscale::meterHeight));
        painter.fillRect(meter.adjusted(-rim, -rim, rim, rim), meterSlot);
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
}

// A silver strip with its own grain: the title bar and the name plate.
void paintSilver(QImage &image, const QRect &rect, const QBrush &brush, const CanvasScale &canvas)
{
    const qreal radius = canvas.length(barRadius);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.fillPath(rounded(QRectF(rect).translated(0, canvas.length(1)), radius),
                         edgeHighlight);
        painter.fillPath(rounded(QRectF(rect), radius), brush);
    }
    const int edge = canvas.pixels(1);
    surface::addGrain(image, rect.adjusted(edge, edge, -edge, -edge), silverSeed, 0.7,
                      canvas.factor());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient sheen(rect.topLeft(), rect.bottomLeft());
    sheen.setColorAt(0.0, QColor(255, 255, 255, 70));
    sheen.setColorAt(0.45, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.0, QColor(0, 0, 0, 40));
    painter.fillPath(rounded(QRectF(rect), radius), sheen);
    const qreal line = canvas.length(1.0);
    painter.setPen(QPen(QColor(0, 0, 0, 160), line));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(
        rounded(QRectF(rect).adjusted(line / 2, line / 2, -line / 2, -line / 2), radius));
}

void paintTitleBar(QImage &image, const CanvasScale &canvas)
{
    const QRect bar = canvas.map(titleBar);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    gradient.setColorAt(0.0, artwork::silverDark);
    gradient.setColorAt(0.5, artwork::silverLight);
    gradient.setColorAt(1.0, artwork::silverDark);
    paintSilver(image, bar, gradient, canvas);

    QPainter painter(&image);
    QFont font = artwork::font(canvas.pixels(titlePixelSize));
    font.setLetterSpacing(QFont::AbsoluteSpacing, canvas.length(titleLetterSpacing));
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 110));
    painter.drawText(bar.translated(0, canvas.pixels(1)), Qt::AlignCenter,
                     QStringLiteral("Vontra Meters"));
    painter.setPen(artwork::engravedInk);
    painter.drawText(bar, Qt::AlignCenter, QStringLiteral("Vontra Meters"));
}

void paintFooterPlate(QImage &image, const CanvasScale &canvas)
{
    const QRect plate = canvas.map(footerPlate);
    QLinearGradient gradient(plate.topLeft(), plate.bottomLeft());
    gradient.setColorAt(0.0, artwork::silverLight);
    gradient.setColorAt(1.0, artwork::silverDark.lighter(115));
    paintSilver(image, plate, gradient, canvas);
}

// A turned chrome bezel around the face; the face itself is plain black so
// that the clock's own marks are all the operator sees on it. The face fills
// the clock widget's square exactly.
void paintClockFace(QPainter &painter, const CanvasScale &canvas)
{
    const QRectF face(canvas.map(clockFace));
    const qreal rim = canvas.length(bezelWidth);
    const QRectF bezel = face.adjusted(-rim, -rim, rim, rim);
    painter.fillPath(rounded(bezel.translated(0, canvas.length(1.5)), bezel.width() / 2),
                     edgeShadow);
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
    painter.drawEllipse(face.adjusted(-rim / 2, -rim / 2, rim / 2, rim / 2));
    painter.setBrush(Qt::black);
    painter.drawEllipse(face);
}

void paintCaptionBand(QPainter &painter, const CanvasScale &canvas)
{
    const QRect band = canvas.map(captionBand);
    QLinearGradient gradient(band.topLeft(), band.bottomLeft());
    gradient.setColorAt(0.0, QColor(6, 6, 8));
    gradient.setColorAt(0.5, QColor(30, 31, 34));
    gradient.setColorAt(1.0, QColor(8, 8, 10));
    paintRecess(painter, band, canvas.length(barRadius), gradient, canvas);
}

void paintOnlineLine(QPainter &painter, const CanvasScale &canvas)
{
    const QRect line = canvas.map(onlineLine);
    QLinearGradient gradient(line.topLeft(), line.bottomLeft());
    gradient.setColorAt(0.0, artwork::onlineGreen.lighter(130));
    gradient.setColorAt(1.0, artwork::onlineGreen.darker(130));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(line, gradient);
}

} // namespace

QImage paintBackground(bool online)
{
    QImage image = surface::brushedMetal(designSize, surface::windowSeed);
    paintMarks(image, online, CanvasScale());
    return image;
}

void paintMarks(QImage &image, bool online, const CanvasScale &canvas)
{
    paintTitleBar(image, canvas);
    paintFooterPlate(image, canvas);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    paintMeterPanels(painter, canvas);
    levelscale::paintScale(painter, levelscale::masterScale, canvas);
    levelscale::paintScale(painter, levelscale::crmScale, canvas);
    paintClockFace(painter, canvas);
    logo::paintMakerLogo(painter, canvas.mapF(makerLogo));
    paintCaptionBand(painter, canvas);
    if (online)
        paintOnlineLine(painter, canvas);
}

QImage paintFill()
{
    return surface::brushedMetal(fillSize, surface::windowSeed);
}

QImage paintSurface(const QSize &window, const CanvasScale &canvas)
{
    return surface::brushedMetal(window, surface::windowSeed, canvas.factor());
}

QImage paintCanvas(const QImage &surface, const CanvasScale &canvas, bool online)
{
    QImage image = surface.copy(canvas.area(surface.size()));
    paintMarks(image, online, canvas);
    return image;
}

} // namespace background
