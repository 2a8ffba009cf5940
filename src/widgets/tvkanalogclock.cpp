#include "tvkanalogclock.h"
#include "systemsecond.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <QRegion>
#include <QTransform>

#include <cmath>
#include <utility>

namespace {

constexpr int defaultSide = 200;
constexpr double dialSize = 200.0; // the dial's side in dial units
constexpr int dialRadius = 100;
constexpr int lineRingRadius = 96; // outer end of the hour and minute lines
constexpr int positions = DialRing::positions;
constexpr double degreesPerPosition = 6.0;
constexpr double degreesPerHour = 30.0;
constexpr int arcTwelveOClock = 90 * 16;
constexpr int arcUnitsPerSecond = 6 * 16;
constexpr int arcFullTurn = 360 * 16;
constexpr int endTimeArcSeconds = 15;
constexpr qint64 secondsPerHour = 3600;
constexpr qint64 secondsPerDay = 86400;
constexpr int lastDailyHour = 23;
// Wrap thresholds: sixteen seconds short of minus one hour or day, so that the
// last fifteen seconds before an end time just past the boundary still count.
constexpr qint64 hourlyWrapBelow = -(secondsPerHour - endTimeArcSeconds - 1);
constexpr qint64 dailyWrapBelow = -(secondsPerDay - endTimeArcSeconds - 1);

int halfRounded(int value)
{
    return int(std::trunc(value * 0.5 + 0.5));
}

QPen linePen(const QColor &color, int width)
{
    return QPen(color, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

// trunc() that cannot overflow, and that keeps an arc within one full turn:
// more would look the same, and NaN draws nothing.
int arcSpan(double span)
{
    if (std::isnan(span))
        return 0;
    if (span >= arcFullTurn)
        return arcFullTurn;
    if (span <= -arcFullTurn)
        return -arcFullTurn;
    return int(span);
}

QPolygon handTriangle(int halfWidth, int border, int length)
{
    return QPolygon({QPoint(halfWidth, border + length - dialRadius),
                     QPoint(-halfWidth, border + length - dialRadius),
                     QPoint(0, border - dialRadius)});
}

} // namespace

TVKAnalogClock::TVKAnalogClock(QWidget *parent)
    : QWidget(parent), m_lines([this](QPainter &painter, int i) { drawScaleLine(painter, i); },
                               [this](int i) { return scaleLineBounds(i); }),
      m_dots([this](QPainter &painter, int) { drawDot(painter); },
             // A pen of width 1, scaled with the dial, outlines the dot.
             [this](int) { return dotRect().adjusted(-1, -1, 1, 1); })
{
    setWindowTitle(tr("Analog Clock"));
    resize(defaultSide, defaultSide);
}

TVKAnalogClock::~TVKAnalogClock() = default;

void TVKAnalogClock::setHourLines(bool value)
{
    assign(m_hourLines, value, &m_lines);
}

void TVKAnalogClock::setHourLinesLength(int value)
{
    assign(m_hourLinesLength, value, &m_lines);
}

void TVKAnalogClock::setHourLinesWidth(int value)
{
    assign(m_hourLinesWidth, value, &m_lines);
}

void TVKAnalogClock::setHourLinesColor(const QColor &value)
{
    assign(m_hourLinesColor, value, &m_lines);
}

void TVKAnalogClock::setMinuteLines(bool value)
{
    assign(m_minuteLines, value, &m_lines);
}

void TVKAnalogClock::setMinuteLinesLength(int value)
{
    assign(m_minuteLinesLength, value, &m_lines);
}

void TVKAnalogClock::setMinuteLinesWidth(int value)
{
    assign(m_minuteLinesWidth, value, &m_lines);
}

void TVKAnalogClock::setMinuteLinesColor(const QColor &value)
{
    assign(m_minuteLinesColor, value, &m_lines);
}

void TVKAnalogClock::setSecondDots(bool value)
{
    assign(m_secondDots, value);
}

void TVKAnalogClock::setSecondDotsCountDown(bool value)
{
    assign(m_secondDotsCountDown, value);
}

void TVKAnalogClock::setDotSize(int value)
{
    assign(m_dotSize, value, &m_dots);
}

void TVKAnalogClock::setDotColor(const QColor &value)
{
    assign(m_dotColor, value, &m_dots);
}

void TVKAnalogClock::setHands(bool value)
{
    assign(m_hands, value);
}

void TVKAnalogClock::setHourHandColor(const QColor &value)
{
    assign(m_hourHandColor, value);
}

void TVKAnalogClock::setHourHandBorder(int value)
{
    assign(m_hourHandBorder, value);
}

void TVKAnalogClock::setHourHandLength(int value)
{
    assign(m_hourHandLength, value);
}

void TVKAnalogClock::setHourHandWidth(int value)
{
    assign(m_hourHandWidth, value);
}

void TVKAnalogClock::setMinuteHandColor(const QColor &value)
{
    assign(m_minuteHandColor, value);
}

void TVKAnalogClock::setMinuteHandBorder(int value)
{
    assign(m_minuteHandBorder, value);
}

void TVKAnalogClock::setMinuteHandLength(int value)
{
    assign(m_minuteHandLength, value);
}

void TVKAnalogClock::setMinuteHandWidth(int value)
{
    assign(m_minuteHandWidth, value);
}

void TVKAnalogClock::setEndTime(bool value)
{
    assign(m_endTime, value);
}

void TVKAnalogClock::setEndTimeLength(int value)
{
    assign(m_endTimeLength, value);
}

void TVKAnalogClock::setEndTimeWidth(int value)
{
    assign(m_endTimeWidth, value);
}

void TVKAnalogClock::setEndTimeHour(int value)
{
    assign(m_endTimeHour, value);
}

void TVKAnalogClock::setEndTimeMinute(int value)
{
    assign(m_endTimeMinute, value);
}

void TVKAnalogClock::setEndTimeSecond(int value)
{
    assign(m_endTimeSecond, value);
}

void TVKAnalogClock::setEndTimeColor(const QColor &value)
{
    assign(m_endTimeColor, value);
}

void TVKAnalogClock::setCountDownTime(float value)
{
    assign(m_countDownTime, value);
}

void TVKAnalogClock::setCountDownWidth(int value)
{
    assign(m_countDownWidth, value);
}

void TVKAnalogClock::setCountDownSpacing(int value)
{
    assign(m_countDownSpacing, value);
}

void TVKAnalogClock::setCountDownColor(const QColor &value)
{
    assign(m_countDownColor, value);
}
void TVKAnalogClock::setTimeSource(TimeSource source)
{
    m_source = std::move(source);
}

void TVKAnalogClock::checkTime()
{
    if (!m_source && !reachedNewSystemSecond(m_polledSecond))
        return;
    const QTime now = m_source ? m_source() : QTime::currentTime();
    if (now.second() == m_shownSecond)
        return;
    const QRegion before = timeDependentParts();
    const int oldSecond = m_shownSecond;
    m_shownSecond = now.second();
    // The hour is looked at only when the minute moves on.
    if (now.minute() != m_shownMinute) {
        m_shownMinute = now.minute();
        if (now.hour() != m_shownHour)
            m_shownHour = now.hour();
    }
    // What the new second changes: the hands where they were and where they
    // are now, and the dots that went on or off. The rest of the dial looks
    // the same, so a repaint of it would only cost (every second, all day).
    update(before + timeDependentParts() + changedDots(oldSecond, m_shownSecond));
}

QTransform TVKAnalogClock::dialTransform() const
{
    const double scale = qMin(width(), height()) / dialSize;
    return QTransform().translate(width() / 2, height() / 2).scale(scale, scale);
}

QRegion TVKAnalogClock::timeDependentParts() const
{
    // The end-time marker and its arc follow the time too.
    if (m_endTime)
        return rect();
    QRegion parts;
    if (m_hands) {
        for (const Hand &hand : shownHands()) {
            const QTransform place = QTransform().rotate(hand.degrees) * dialTransform();
            // One pixel more on each side for the antialiased edge.
            parts += place.mapRect(QRectF(hand.shape.boundingRect()))
                         .toAlignedRect()
                         .adjusted(-2, -2, 2, 2);
        }
    }
    return parts;
}

QRegion TVKAnalogClock::changedDots(int fromSecond, int toSecond) const
{
    if (!m_secondDots)
        return QRegion();
    QRegion dots;
    const QTransform dial = dialTransform();
    for (int i = 0; i < positions; ++i)
        if (dotLit(i, fromSecond) != dotLit(i, toSecond))
            dots += m_dots.area(dial, i);
    return dots;
}

void TVKAnalogClock::paintEvent(QPaintEvent *)
{
    const std::array<Hand, 2> hands = shownHands();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(dialTransform());

    m_lines.paint(painter, [](int) { return true; });
    drawEndTime(painter);
    drawCountDown(painter);
    drawHands(painter, hands);
    if (m_secondDots)
        m_dots.paint(painter, [this](int i) { return dotLit(i, m_shownSecond); });
}

std::array<TVKAnalogClock::Hand, 2> TVKAnalogClock::shownHands() const
{
    return {{
        // Not reduced modulo 12: 13 h turns 390 degrees, the direction of 1 h.
        {handTriangle(halfRounded(m_hourHandWidth), m_hourHandBorder, m_hourHandLength),
         (m_shownHour + m_shownMinute / 60.0) * degreesPerHour, m_hourHandColor},
        {handTriangle(halfRounded(m_minuteHandWidth), m_minuteHandBorder, m_minuteHandLength),
         (m_shownMinute + m_shownSecond / 60.0) * degreesPerPosition, m_minuteHandColor},
    }};
}

bool TVKAnalogClock::dotLit(int i, int second) const
{
    // The current second's dot shows in both modes.
    return m_secondDotsCountDown ? i >= second : i <= second;
}

void TVKAnalogClock::drawEndTime(QPainter &painter) const
{
    if (!m_endTime)
        return;

    // 64-bit, since no property is limited.
    const qint64 now = qint64(m_shownMinute) * 60 + m_shownSecond;
    const qint64 end = qint64(m_endTimeMinute) * 60 + m_endTimeSecond;
    qint64 diff = 0;
    if (m_endTimeHour > lastDailyHour) {
        diff = end - now;
        if (diff < hourlyWrapBelow)
            diff += secondsPerHour;
    } else {
        diff = (end + qint64(m_endTimeHour) * secondsPerHour) -
               (now + qint64(m_shownHour) * secondsPerHour);
        if (diff < dailyWrapBelow)
            diff += secondsPerDay;
        if (diff < 0)
            return;
    }

    painter.save();
    painter.rotate((m_endTimeMinute + m_endTimeSecond / 60.0) * degreesPerPosition);
    painter.setPen(linePen(m_endTimeColor, m_endTimeWidth));
    painter.drawLine(0, m_endTimeWidth / 2 - dialRadius, 0, m_endTimeLength - dialRadius);
    if (diff >= 1 && diff <= endTimeArcSeconds) {
        // Centred on the dial with radius 100 - EndTimeWidth, so that the arc
        // lies just inside the marker's outer end and meets the line.
        const int radius = dialRadius - m_endTimeWidth;
        painter.drawArc(QRect(-radius, -radius, 2 * radius, 2 * radius), arcTwelveOClock,
                        int(diff) * arcUnitsPerSecond);
    }
    painter.restore();
}

void TVKAnalogClock::drawCountDown(QPainter &painter) const
{
    if (m_countDownTime == 0.0f)
        return;
    const int corner = m_hourLinesLength + m_countDownSpacing - lineRingRadius;
    painter.setPen(linePen(m_countDownColor, m_countDownWidth));
    painter.drawArc(QRect(corner, corner, -2 * corner, -2 * corner), arcTwelveOClock,
                    arcSpan(360.0 * double(m_countDownTime) * 16.0 / 60.0));
}

void TVKAnalogClock::drawHands(QPainter &painter, const std::array<Hand, 2> &hands) const
{
    if (!m_hands)
        return;
    painter.setPen(Qt::NoPen);
    for (const Hand &hand : hands) {
        painter.setBrush(hand.color);
        painter.save();
        painter.rotate(hand.degrees);
        painter.drawConvexPolygon(hand.shape);
        painter.restore();
    }
}

bool TVKAnalogClock::isHourPosition(int i)
{
    return i % 5 == 0;
}

void TVKAnalogClock::drawScaleLine(QPainter &painter, int i) const
{
    painter.setPen(isHourPosition(i) ? linePen(m_hourLinesColor, m_hourLinesWidth)
                                     : linePen(m_minuteLinesColor, m_minuteLinesWidth));
    painter.drawLine(scaleLine(i));
}

QRectF TVKAnalogClock::scaleLineBounds(int i) const
{
    // An hour line at every fifth position, a minute line at the others, each
    // where it is switched on.
    if (isHourPosition(i) ? !m_hourLines : !m_minuteLines)
        return QRectF();
    const QLine line = scaleLine(i);
    // The square cap reaches half the pen beyond each end.
    const qreal reach = qMax(1, isHourPosition(i) ? m_hourLinesWidth : m_minuteLinesWidth);
    return QRectF(line.p1(), line.p2()).normalized().adjusted(-reach, -reach, reach, reach);
}

QLine TVKAnalogClock::scaleLine(int i) const
{
    const int length = isHourPosition(i) ? m_hourLinesLength : m_minuteLinesLength;
    const int width = isHourPosition(i) ? m_hourLinesWidth : m_minuteLinesWidth;
    return QLine(0, length + width / 2 - lineRingRadius, 0, width / 2 - lineRingRadius);
}

void TVKAnalogClock::drawDot(QPainter &painter) const
{
    painter.setPen(m_dotColor);
    painter.setBrush(m_dotColor);
    painter.drawEllipse(dotRect());
}

QRectF TVKAnalogClock::dotRect() const
{
    // A negative size gives a rectangle of negative width and height, which
    // Qt would draw as nothing or as a sliver: drawn as the formula places
    // it, the dot lies just outside the ring of positive sizes.
    return QRectF(-halfRounded(m_dotSize), m_dotSize - dialRadius, m_dotSize, m_dotSize)
        .normalized();
}
