#include "tvkanalogclock.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <QTimer>

#include <cmath>
#include <utility>

namespace {

constexpr int pollIntervalMs = 100;
constexpr int defaultSide = 200;
constexpr double dialSize = 200.0; // the dial's side in dial units
constexpr int dialRadius = 100;
constexpr int lineRingRadius = 96; // outer end of the hour and minute lines
constexpr int positions = 60;
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

TVKAnalogClock::TVKAnalogClock(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(tr("Analog Clock"));
    resize(defaultSide, defaultSide);

    auto *timer = new QTimer(this);
    connect(timer, SIGNAL(timeout()), this, SLOT(checkTime()));
    timer->start(pollIntervalMs);
}

TVKAnalogClock::~TVKAnalogClock() = default;

void TVKAnalogClock::setHourLines(bool value)
{
    assign(m_hourLines, value);
}

void TVKAnalogClock::setHourLinesLength(int value)
{
    assign(m_hourLinesLength, value);
}

void TVKAnalogClock::setHourLinesWidth(int value)
{
    assign(m_hourLinesWidth, value);
}

void TVKAnalogClock::setHourLinesColor(const QColor &value)
{
    assign(m_hourLinesColor, value);
}

void TVKAnalogClock::setMinuteLines(bool value)
{
    assign(m_minuteLines, value);
}

void TVKAnalogClock::setMinuteLinesLength(int value)
{
    assign(m_minuteLinesLength, value);
}

void TVKAnalogClock::setMinuteLinesWidth(int value)
{
    assign(m_minuteLinesWidth, value);
}

void TVKAnalogClock::setMinuteLinesColor(const QColor &value)
{
    assign(m_minuteLinesColor, value);
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
    assign(m_dotSize, value);
}

void TVKAnalogClock::setDotColor(const QColor &value)
{
    assign(m_dotColor, value);
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
    const QTime now = m_source ? m_source() : QTime::currentTime();
    if (now.second() == m_shownSecond)
        return;
    m_shownSecond = now.second();
    // The hour is looked at only when the minute moves on.
    if (now.minute() != m_shownMinute) {
        m_shownMinute = now.minute();
        if (now.hour() != m_shownHour)
            m_shownHour = now.hour();
    }
    update();
}

void TVKAnalogClock::paintEvent(QPaintEvent *)
{
    const QPolygon hourHand =
        handTriangle(halfRounded(m_hourHandWidth), m_hourHandBorder, m_hourHandLength);
    const QPolygon minuteHand =
        handTriangle(halfRounded(m_minuteHandWidth), m_minuteHandBorder, m_minuteHandLength);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2, height() / 2);
    const double scale = qMin(width(), height()) / dialSize;
    painter.scale(scale, scale);

    drawScaleLines(painter);
    drawEndTime(painter);
    drawCountDown(painter);
    drawHands(painter, hourHand, minuteHand);
    drawSecondDots(painter);
}

void TVKAnalogClock::drawScaleLines(QPainter &painter) const
{
    const QPen hourPen = linePen(m_hourLinesColor, m_hourLinesWidth);
    const QPen minutePen = linePen(m_minuteLinesColor, m_minuteLinesWidth);
    const QLine hourLine(0, m_hourLinesLength + m_hourLinesWidth / 2 - lineRingRadius, 0,
                         m_hourLinesWidth / 2 - lineRingRadius);
    const QLine minuteLine(0, m_minuteLinesLength + m_minuteLinesWidth / 2 - lineRingRadius, 0,
                           m_minuteLinesWidth / 2 - lineRingRadius);

    painter.save();
    for (int i = 0; i < positions; ++i) {
        if (i % 5 == 0) {
            if (m_hourLines) {
                painter.setPen(hourPen);
                painter.drawLine(hourLine);
            }
        } else if (m_minuteLines) {
            painter.setPen(minutePen);
            painter.drawLine(minuteLine);
        }
        painter.rotate(degreesPerPosition);
    }
    painter.restore();
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

void TVKAnalogClock::drawHands(QPainter &painter, const QPolygon &hourHand,
                               const QPolygon &minuteHand) const
{
    if (!m_hands)
        return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_hourHandColor);
    painter.save();
    // Not reduced modulo 12: 13 h turns 390 degrees, the direction of 1 h.
    painter.rotate((m_shownHour + m_shownMinute / 60.0) * degreesPerHour);
    painter.drawConvexPolygon(hourHand);
    painter.restore();

    painter.setBrush(m_minuteHandColor);
    painter.save();
    painter.rotate((m_shownMinute + m_shownSecond / 60.0) * degreesPerPosition);
    painter.drawConvexPolygon(minuteHand);
    painter.restore();
}

void TVKAnalogClock::drawSecondDots(QPainter &painter)
{
    if (!m_secondDots)
        return;
    if (m_dotSprites.empty() || m_dotSpritesSize != size())
        makeDotSprites(painter.transform());

    painter.save();
    painter.resetTransform();
    for (int i = 0; i < positions; ++i) {
        // The current second's dot shows in both modes.
        const bool lit = m_secondDotsCountDown ? i >= m_shownSecond : i <= m_shownSecond;
        if (lit)
            painter.drawImage(m_dotSprites[std::size_t(i)].at, m_dotSprites[std::size_t(i)].image);
    }
    painter.restore();
}

void TVKAnalogClock::makeDotSprites(const QTransform &dial)
{
    const int offset = halfRounded(m_dotSize);
    const QRect dot(-offset, m_dotSize - dialRadius, m_dotSize, m_dotSize);
    const qreal ratio = devicePixelRatioF();
    const QTransform toDevice = QTransform::fromScale(ratio, ratio);
    // Room for the outline (a pen of width 1, scaled with the dial) and the
    // antialiased edge.
    const int margin = int(std::ceil(dial.m11() * ratio)) + 2;

    m_dotSprites.assign(std::size_t(positions), DotSprite());
    QTransform place = dial;
    for (int i = 0; i < positions; ++i) {
        const QTransform device = place * toDevice;
        const QRect bounds =
            device.mapRect(QRectF(dot)).toAlignedRect().adjusted(-margin, -margin, margin, margin);
        DotSprite &sprite = m_dotSprites[std::size_t(i)];
        sprite.image = QImage(bounds.size(), QImage::Format_ARGB32_Premultiplied);
        sprite.image.fill(Qt::transparent);
        {
            QPainter painter(&sprite.image);
            painter.setRenderHint(QPainter::Antialiasing);
            // Whole device pixels moved, so each dot keeps the exact pixels
            // it would have drawn in place.
            painter.setTransform(device * QTransform::fromTranslate(-bounds.x(), -bounds.y()));
            painter.setPen(m_dotColor);
            painter.setBrush(m_dotColor);
            painter.drawEllipse(dot);
        }
        sprite.image.setDevicePixelRatio(ratio);
        sprite.at = QPointF(bounds.topLeft()) / ratio;
        place = QTransform().rotate(degreesPerPosition * (i + 1)) * dial;
    }
    m_dotSpritesSize = size();
}
