#pragma once

#include <Qt>

class CanvasScale;
class QPainter;

// The level scale printed between a pair of meters. Its ticks must meet the
// bars the meters draw, so the rows come from the meter's own mapping.
namespace levelscale {

// Where the four meters stand on the design canvas.
constexpr int meterTop = 73;
constexpr int meterHeight = 415;
constexpr int meterBottomRow = meterTop + meterHeight - 1;
constexpr double meterMinDb = -50.0;
constexpr double meterMaxDb = 5.0;

// One column of ticks. Minor ticks are short and sit on the side that faces
// the meter, so they point at the bar they belong to.
struct TickColumn
{
    int left;
    int right;
    Qt::Edge meterSide;
};

struct ScaleLayout
{
    TickColumn first;
    TickColumn second;
    int numberCentreX;
};

constexpr ScaleLayout masterScale = {{67, 86, Qt::LeftEdge}, {122, 140, Qt::RightEdge}, 105};
constexpr ScaleLayout crmScale = {{223, 242, Qt::LeftEdge}, {278, 296, Qt::RightEdge}, 260};

// Row on which a meter's bar tops out at this level, for a meter standing as
// the window places it at the canvas's scale (the design: rows 73 to 487).
int barTopRow(double db, const CanvasScale &canvas);

void paintScale(QPainter &painter, const ScaleLayout &layout, const CanvasScale &canvas);

} // namespace levelscale
