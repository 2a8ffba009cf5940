#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QString>
#include <QWidget>

#include <functional>

#include "clockpoll.h"
#include "glyphline.h"

// The time of day over the date, each line in its own font and colour. Polls
// the clock ten times a second and repaints once per second.
class TVKDigitalClock : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool TimeDisplay READ timeDisplay WRITE setTimeDisplay
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QFont TimeDisplayFont READ timeDisplayFont WRITE setTimeDisplayFont
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor TimeDisplayFontColor READ timeDisplayFontColor WRITE setTimeDisplayFontColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool DateDisplay READ dateDisplay WRITE setDateDisplay
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QFont DateDisplayFont READ dateDisplayFont WRITE setDateDisplayFont
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor DateDisplayFontColor READ dateDisplayFontColor WRITE setDateDisplayFontColor
                   DESIGNABLE true SCRIPTABLE true STORED true)

public:
    using DateTimeSource = std::function<QDateTime()>;

    explicit TVKDigitalClock(QWidget *parent = nullptr);
    ~TVKDigitalClock() override;

    bool timeDisplay() const { return m_timeDisplay; }
    void setTimeDisplay(bool on);
    QFont timeDisplayFont() const { return m_timeDisplayFont; }
    void setTimeDisplayFont(const QFont &font);
    QColor timeDisplayFontColor() const { return m_timeDisplayFontColor; }
    void setTimeDisplayFontColor(const QColor &color);
    bool dateDisplay() const { return m_dateDisplay; }
    void setDateDisplay(bool on);
    QFont dateDisplayFont() const { return m_dateDisplayFont; }
    void setDateDisplayFont(const QFont &font);
    QColor dateDisplayFontColor() const { return m_dateDisplayFontColor; }
    void setDateDisplayFontColor(const QColor &color);

    // The texts as last formatted by checkTime(); empty before the first tick.
    QString timeText() const { return m_timeText; }
    QString dateText() const { return m_dateText; }

    // Replaces the local clock (QDateTime::currentDateTime) that checkTime()
    // reads, e.g. to run the clock at a fixed time; an empty function
    // restores the local clock.
    void setDateTimeSource(DateTimeSource source);

    // Whether the owner calls checkTime() at least every 100 ms itself
    // instead of the widget's own timer; off by default.
    void setPolledByOwner(bool byOwner) { m_poll.setPolledByOwner(byOwner); }

public slots:
    void checkTime();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Where the time line is drawn: the top half.
    QRect timeLineRect() const;
    // The time line laid out for the current text, font and size.
    const GlyphLine &timeLine();
    bool m_timeDisplay = true;
    QFont m_timeDisplayFont;
    QColor m_timeDisplayFontColor;
    bool m_dateDisplay = true;
    QFont m_dateDisplayFont;
    QColor m_dateDisplayFontColor;
    QString m_timeText;
    QString m_dateText;
    GlyphLine m_timeLine;
    int m_lastSecond = 0;
    DateTimeSource m_source;
    qint64 m_polledSecond = -1; // the system second of the last reading
    ClockPoll m_poll{this};
};
