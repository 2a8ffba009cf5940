#include "levelscale.h"

#include "artwork.h"
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

int thickness(const Mark &mark)
{
    return mark.numbered ? majorThickness : minorThickness;
}

// The bottom mark cannot sit below the bar's zero row (that is outside the
// meter), so it ends on the meter's last row instead.
int tickTopRow(const Mark &mark)
{
    if (mark.db <= meterMinDb)
        return meterBottomRow - thickness(mark) + 1;
    return barTopRow(mark.db);
}

// Marks inside the red zone are separators across the whole column.
bool inRedZone(const Mark &mark)
{
    return mark.db > redZoneBottomDb;
}

QRect tickRect(const TickColumn &column, const Mark &mark)
{
    int left = column.left;
    int right = column.right;
    if (!mark.numbered && !inRedZone(mark)) {
        if (column.meterSide == Qt::LeftEdge)
            right = left + minorLength - 1;
        else
            left = right - minorLength + 1;
    }
    return QRect(QPoint(left, tickTopRow(mark)),
                 QPoint(right, tickTopRow(mark) + thickness(mark) - 1));
}

void paintRedZone(QPainter &painter, const TickColumn &column)
{
    const int top = barTopRow(meterMaxDb);
    const int bottom = barTopRow(redZoneBottomDb) + majorThickness - 1;
    painter.fillRect(QRect(QPoint(column.left, top), QPoint(column.right, bottom)),
                     artwork::scaleRed);
}

void paintNumber(QPainter &painter, int centreX, const Mark &mark)
{
    const int centreRow = tickTopRow(mark) + thickness(mark) / 2;
    const QRect box(centreX - numberBoxWidth / 2, centreRow - numberPixelSize, numberBoxWidth,
                    2 * numberPixelSize + 1);
    painter.drawText(box, Qt::AlignCenter, QString::number(std::abs(int(mark.db))));
}

} // namespace

int barTopRow(double db)
{
    const double dinBase = ppm::dinPower(meterMinDb);
    const double dinSpan = ppm::dinPower(meterMaxDb) - dinBase;
    return meterTop + meterHeight - ppm::dinHeight(db, dinBase, dinSpan, meterHeight);
}

void paintScale(QPainter &painter, const ScaleLayout &layout)
{
    painter.save();
    // Ticks are whole-pixel rectangles: crisp edges at the design size.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const TickColumn &column : {layout.first, layout.second}) {
        paintRedZone(painter, column);
        for (const Mark &mark : marks)
            painter.fillRect(tickRect(column, mark), artwork::panelInk);
    }

    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(artwork::font(numberPixelSize));
    painter.setPen(artwork::panelInk);
    for (const Mark &mark : marks) {
        if (mark.numbered)
            paintNumber(painter, layout.numberCentreX, mark);
    }
    painter.restore();
}

} // namespace levelscale
