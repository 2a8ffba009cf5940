#include "levelscale.h"

#include "artwork.h"
#include "canvasscale.h"
#include "ppmscale.h"

#include <QPainter>
#include <QString>
#include <cmath>

namespace levelscale {

namespace {

constexpr int majorThickness = 3;
constexpr int minorThickness = 2;
constexpr int minorLength = 12;
constexpr int numberPixelSize = 11;
constexpr int numberBoxWidth = 30;
constexpr double redZoneBottomDb = 0.0;

struct Mark
{
    double db;
    bool numbered;
};

constexpr Mark marks[] = {
    {5, true},   {4, false},  {3, false},  {2, false},  {1, false},  {0, true},   {-1, false},
    {-2, false}, {-3, true},  {-4, false}, {-5, false}, {-6, true},  {-7, false}, {-8, false},
    {-10, true}, {-15, true}, {-20, true}, {-25, true}, {-30, true}, {-40, true}, {-50, true},
};

int thickness(const Mark &mark, const CanvasScale &canvas)
{
    return canvas.pixels(mark.numbered ? majorThickness : minorThickness);
}

// The bottom mark cannot sit below the bar's zero row (that is outside the
// meter), so it ends on the meter's last row instead.
int tickTopRow(const Mark &mark, const CanvasScale &canvas)
{
    if (mark.db <= meterMinDb) {
        const int bottomRow =
            canvas.toDevice(canvas.toWindow(meterTop) + canvas.toWindow(meterHeight)) - 1;
        return bottomRow - thickness(mark, canvas) + 1;
    }
    return barTopRow(mark.db, canvas);
}

// Marks inside the red zone are separators across the whole column.
bool inRedZone(const Mark &mark)
{
    return mark.db > redZoneBottomDb;
}

// The column's first and last device columns: design columns left to right
// inclusive.
QRect tickRect(const TickColumn &column, const Mark &mark, const CanvasScale &canvas)
{
    int left = canvas.map(column.left);
    int right = canvas.map(column.right + 1) - 1;
    if (!mark.numbered && !inRedZone(mark)) {
        const int length = canvas.pixels(minorLength);
        if (column.meterSide == Qt::LeftEdge)
            right = left + length - 1;
        else
            left = right - length + 1;
    }
    const int top = tickTopRow(mark, canvas);
    return QRect(QPoint(left, top), QPoint(right, top + thickness(mark, canvas) - 1));
}

void paintRedZone(QPainter &painter, const TickColumn &column, const CanvasScale &canvas)
{
    const int top = barTopRow(meterMaxDb, canvas);
    const int bottom = barTopRow(redZoneBottomDb, canvas) + canvas.pixels(majorThickness) - 1;
    painter.fillRect(QRect(QPoint(canvas.map(column.left), top),
                           QPoint(canvas.map(column.right + 1) - 1, bottom)),
                     artwork::scaleRed);
}

void paintNumber(QPainter &painter, int centreX, const Mark &mark, const CanvasScale &canvas)
{
    const int centreRow = tickTopRow(mark, canvas) + thickness(mark, canvas) / 2;
    const int boxWidth = canvas.pixels(numberBoxWidth);
    const int pixelSize = canvas.pixels(numberPixelSize);
    const QRect box(centreX - boxWidth / 2, centreRow - pixelSize, boxWidth, 2 * pixelSize + 1);
    painter.drawText(box, Qt::AlignCenter, QString::number(std::abs(int(mark.db))));
}

} // namespace

int barTopRow(double db, const CanvasScale &canvas)
{
    const double dinBase = ppm::dinPower(meterMinDb);
    const double dinSpan = ppm::dinPower(meterMaxDb) - dinBase;
    // The meter maps the level onto its height in window pixels.
    const int height = canvas.toWindow(meterHeight);
    return canvas.toDevice(canvas.toWindow(meterTop) + height -
                           ppm::dinHeight(db, dinBase, dinSpan, height));
}

void paintScale(QPainter &painter, const ScaleLayout &layout, const CanvasScale &canvas)
{
    painter.save();
    // Ticks are whole-pixel rectangles: crisp edges at any size.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const TickColumn &column : {layout.first, layout.second}) {
        paintRedZone(painter, column, canvas);
        for (const Mark &mark : marks)
            painter.fillRect(tickRect(column, mark, canvas), artwork::panelInk);
    }

    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(artwork::font(canvas.pixels(numberPixelSize)));
    painter.setPen(artwork::panelInk);
    for (const Mark &mark : marks) {
        if (mark.numbered)
            paintNumber(painter, canvas.map(layout.numberCentreX), mark, canvas);
    }
    painter.restore();
}

} // namespace levelscale
