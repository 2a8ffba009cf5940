#include "tvkdigitalclock.h"
#include "systemsecond.h"

#include <QLocale>
#include <QPaintEvent>
#include <QPainter>

#include <utility>

namespace {

constexpr int defaultWidth = 100;
constexpr int defaultHeight = 30;
const char timeFormat[] = "hh:mm:ss";
const char dateFormat[] = "ddd d MMM yyyy";

// An unset colour draws as black.
QColor penColor(const QColor &color)
{
    return color.isValid() ? color : QColor(Qt::black);
}

} // namespace

TVKDigitalClock::TVKDigitalClock(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(tr("Digital Clock"));
    resize(defaultWidth, defaultHeight);
}

TVKDigitalClock::~TVKDigitalClock() = default;

void TVKDigitalClock::setTimeDisplay(bool on)
{
    if (on == m_timeDisplay)
        return;
    m_timeDisplay = on;
    update();
}

void TVKDigitalClock::setTimeDisplayFont(const QFont &font)
{
    if (font == m_timeDisplayFont)
        return;
    m_timeDisplayFont = font;
    update();
}

void TVKDigitalClock::setTimeDisplayFontColor(const QColor &color)
{
    if (color == m_timeDisplayFontColor)
        return;
    m_timeDisplayFontColor = color;
    update();
}

void TVKDigitalClock::setDateDisplay(bool on)
{
    if (on == m_dateDisplay)
        return;
    m_dateDisplay = on;
    update();
}

void TVKDigitalClock::setDateDisplayFont(const QFont &font)
{
    if (font == m_dateDisplayFont)
        return;
    m_dateDisplayFont = font;
    update();
}

void TVKDigitalClock::setDateDisplayFontColor(const QColor &color)
{
    if (color == m_dateDisplayFontColor)
        return;
    m_dateDisplayFontColor = color;
    update();
}

void TVKDigitalClock::setDateTimeSource(DateTimeSource source)
{
    m_source = std::move(source);
}

void TVKDigitalClock::checkTime()
{
    if (!m_source && !reachedNewSystemSecond(m_polledSecond))
        return;
    // One reading for both lines, so that they agree across midnight.
    const QDateTime now = m_source ? m_source() : QDateTime::currentDateTime();
    // Day and month names follow the operating system, not a widget locale.
    const QLocale locale = QLocale::system();
    const QString previousTime = m_timeText;
    m_timeText = locale.toString(now.time(), QLatin1String(timeFormat));
    const QString date = locale.toString(now.date(), QLatin1String(dateFormat));
    // The date changes with a second, at midnight: the tick that sees the new
    // second is the first to see the new date.
    const bool sameDate = date == m_dateText;
    m_dateText = date;

    const int second = now.time().second();
    if (second == m_lastSecond)
        return;
    m_lastSecond = second;
    // Most seconds only the time line changes, and its text stays inside its
    // half: the date is not drawn again for nothing, and of the time only the
    // glyphs that changed (mostly one digit).
    if (sameDate && m_timeDisplay) {
        const GlyphLine shown = m_timeLine;
        update(shown.isFor(previousTime, m_timeDisplayFont, timeLineRect())
                   ? shown.differenceTo(timeLine())
                   : QRegion(timeLineRect()));
    } else {
        update();
    }
}

const GlyphLine &TVKDigitalClock::timeLine()
{
    if (!m_timeLine.isFor(m_timeText, m_timeDisplayFont, timeLineRect()))
        m_timeLine = GlyphLine(m_timeText, m_timeDisplayFont, timeLineRect(), this);
    return m_timeLine;
}

QRect TVKDigitalClock::timeLineRect() const
{
    return QRect(0, 0, width(), height() / 2);
}

void TVKDigitalClock::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);

    const int w = width();
    const int half = height() / 2;
    int lineHeight = 0;

    if (m_timeDisplay) {
        painter.setPen(penColor(m_timeDisplayFontColor));
        painter.setFont(m_timeDisplayFont);
        timeLine().draw(painter, event->region());
        lineHeight = painter.fontMetrics().height();
    }
    if (m_dateDisplay) {
        painter.setPen(penColor(m_dateDisplayFontColor));
        painter.setFont(m_dateDisplayFont);
        // Placed below the time font's height rather than at the middle.
        painter.drawText(QRect(0, lineHeight, w, half), Qt::AlignCenter, m_dateText);
    }
}
