#pragma once

#include <QColor>
#include <QPolygon>
#include <QRegion>
#include <QTime>
#include <QWidget>

#include <array>
#include <functional>

#include "clockpoll.h"

#include "dialring.h"

class QPainter;

// A studio clock drawn on a 200 x 200 unit dial scaled to the widget: hour
// and minute lines, two short hands near the rim, a ring of second dots, and
// optional end-time and count-down arcs. Polls the clock ten times a second
// and repaints once per second.
class TVKAnalogClock : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool HourLines READ hourLines WRITE setHourLines
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourLinesLength READ hourLinesLength WRITE setHourLinesLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourLinesWidth READ hourLinesWidth WRITE setHourLinesWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor HourLinesColor READ hourLinesColor WRITE setHourLinesColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool MinuteLines READ minuteLines WRITE setMinuteLines
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteLinesLength READ minuteLinesLength WRITE setMinuteLinesLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteLinesWidth READ minuteLinesWidth WRITE setMinuteLinesWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MinuteLinesColor READ minuteLinesColor WRITE setMinuteLinesColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool SecondDots READ secondDots WRITE setSecondDots
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool SecondDotsCountDown READ secondDotsCountDown WRITE setSecondDotsCountDown
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        int DotSize READ dotSize WRITE setDotSize DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        QColor DotColor READ dotColor WRITE setDotColor DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(bool Hands READ hands WRITE setHands DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor HourHandColor READ hourHandColor WRITE setHourHandColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourHandBorder READ hourHandBorder WRITE setHourHandBorder
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourHandLength READ hourHandLength WRITE setHourHandLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int HourHandWidth READ hourHandWidth WRITE setHourHandWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor MinuteHandColor READ minuteHandColor WRITE setMinuteHandColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteHandBorder READ minuteHandBorder WRITE setMinuteHandBorder
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteHandLength READ minuteHandLength WRITE setMinuteHandLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int MinuteHandWidth READ minuteHandWidth WRITE setMinuteHandWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(
        bool EndTime READ endTime WRITE setEndTime DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeLength READ endTimeLength WRITE setEndTimeLength
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeWidth READ endTimeWidth WRITE setEndTimeWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeHour READ endTimeHour WRITE setEndTimeHour
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeMinute READ endTimeMinute WRITE setEndTimeMinute
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int EndTimeSecond READ endTimeSecond WRITE setEndTimeSecond
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor EndTimeColor READ endTimeColor WRITE setEndTimeColor
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(float CountDownTime READ countDownTime WRITE setCountDownTime
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int CountDownWidth READ countDownWidth WRITE setCountDownWidth
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(int CountDownSpacing READ countDownSpacing WRITE setCountDownSpacing
                   DESIGNABLE true SCRIPTABLE true STORED true)
    Q_PROPERTY(QColor CountDownColor READ countDownColor WRITE setCountDownColor
                   DESIGNABLE true SCRIPTABLE true STORED true)

public:
    using TimeSource = std::function<QTime()>;

    explicit TVKAnalogClock(QWidget *parent = nullptr);
    ~TVKAnalogClock() override;

    bool hourLines() const { return m_hourLines; }
    void setHourLines(bool value);
    int hourLinesLength() const { return m_hourLinesLength; }
    void setHourLinesLength(int value);
    int hourLinesWidth() const { return m_hourLinesWidth; }
    void setHourLinesWidth(int value);
    QColor hourLinesColor() const { return m_hourLinesColor; }
    void setHourLinesColor(const QColor &value);
    bool minuteLines() const { return m_minuteLines; }
    void setMinuteLines(bool value);
    int minuteLinesLength() const { return m_minuteLinesLength; }
    void setMinuteLinesLength(int value);
    int minuteLinesWidth() const { return m_minuteLinesWidth; }
    void setMinuteLinesWidth(int value);
    QColor minuteLinesColor() const { return m_minuteLinesColor; }
    void setMinuteLinesColor(const QColor &value);
    bool secondDots() const { return m_secondDots; }
    void setSecondDots(bool value);
    bool secondDotsCountDown() const { return m_secondDotsCountDown; }
    void setSecondDotsCountDown(bool value);
    int dotSize() const { return m_dotSize; }
    void setDotSize(int value);
    QColor dotColor() const { return m_dotColor; }
    void setDotColor(const QColor &value);
    bool hands() const { return m_hands; }
    void setHands(bool value);
    QColor hourHandColor() const { return m_hourHandColor; }
    void setHourHandColor(const QColor &value);
    int hourHandBorder() const { return m_hourHandBorder; }
    void setHourHandBorder(int value);
    int hourHandLength() const { return m_hourHandLength; }
    void setHourHandLength(int value);
    int hourHandWidth() const { return m_hourHandWidth; }
    void setHourHandWidth(int value);
    QColor minuteHandColor() const { return m_minuteHandColor; }
    void setMinuteHandColor(const QColor &value);
    int minuteHandBorder() const { return m_minuteHandBorder; }
    void setMinuteHandBorder(int value);
    int minuteHandLength() const { return m_minuteHandLength; }
    void setMinuteHandLength(int value);
    int minuteHandWidth() const { return m_minuteHandWidth; }
    void setMinuteHandWidth(int value);
    bool endTime() const { return m_endTime; }
    void setEndTime(bool value);
    int endTimeLength() const { return m_endTimeLength; }
    void setEndTimeLength(int value);
    int endTimeWidth() const { return m_endTimeWidth; }
    void setEndTimeWidth(int value);
    int endTimeHour() const { return m_endTimeHour; }
    void setEndTimeHour(int value);
    int endTimeMinute() const { return m_endTimeMinute; }
    void setEndTimeMinute(int value);
    int endTimeSecond() const { return m_endTimeSecond; }
    void setEndTimeSecond(int value);
    QColor endTimeColor() const { return m_endTimeColor; }
    void setEndTimeColor(const QColor &value);
    float countDownTime() const { return m_countDownTime; }
    void setCountDownTime(float value);
    int countDownWidth() const { return m_countDownWidth; }
    void setCountDownWidth(int value);
    int countDownSpacing() const { return m_countDownSpacing; }
    void setCountDownSpacing(int value);
    QColor countDownColor() const { return m_countDownColor; }
    void setCountDownColor(const QColor &value);

    // The time on display, as last taken by checkTime(); 00:00:00 before the
    // first tick.
    QTime shownTime() const { return QTime(m_shownHour, m_shownMinute, m_shownSecond); }

    // Replaces the local clock (QTime::currentTime) that checkTime() reads,
    // e.g. to show a fixed time; an empty function restores the local clock.
    void setTimeSource(TimeSource source);

    // Whether the owner calls checkTime() at least every 100 ms itself
    // instead of the widget's own timer; off by default.
    void setPolledByOwner(bool byOwner) { m_poll.setPolledByOwner(byOwner); }

public slots:
    void checkTime();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Stores a changed value and repaints; equal values do nothing. A NaN
    // never compares equal, so it always counts as a change. The ring drawn
    // with the value, if any, is drawn anew.
    template <typename T> void assign(T &member, const T &value, DialRing *drawnWith = nullptr)
    {
        if (member == value)
            return;
        member = value;
        if (drawnWith)
            drawnWith->clear();
        update();
    }

    // A hand as shown now: its triangle in dial units, pointing to 12
    // o'clock, to be turned clockwise by `degrees`.
    struct Hand
    {
        QPolygon shape;
        double degrees;
        QColor color;
    };
    std::array<Hand, 2> shownHands() const;
    // Whether the dot of position i is lit at the given second.
    bool dotLit(int i, int second) const;

    // The dial's 200 x 200 units, centred, at the widget's size.
    QTransform dialTransform() const;
    // Where the picture depends on the shown time (the hands), and the dots
    // that differ between two seconds: what a new second repaints.
    QRegion timeDependentParts() const;
    QRegion changedDots(int fromSecond, int toSecond) const;
    void drawEndTime(QPainter &painter) const;
    void drawCountDown(QPainter &painter) const;
    void drawHands(QPainter &painter, const std::array<Hand, 2> &hands) const;
    // The shapes of the two rings, in dial units at 12 o'clock.
    static bool isHourPosition(int i);
    void drawScaleLine(QPainter &painter, int i) const;
    QRectF scaleLineBounds(int i) const;
    QLine scaleLine(int i) const;
    void drawDot(QPainter &painter) const;
    QRectF dotRect() const;

    bool m_hourLines = false;
    int m_hourLinesLength = 8;
    int m_hourLinesWidth = 2;
    QColor m_hourLinesColor = QColor(0, 0, 0);
    bool m_minuteLines = false;
    int m_minuteLinesLength = 4;
    int m_minuteLinesWidth = 1;
    QColor m_minuteLinesColor = QColor(61, 61, 61, 191);
    bool m_secondDots = true;
    bool m_secondDotsCountDown = false;
    int m_dotSize = 1;
    QColor m_dotColor = QColor(0, 0, 0);
    bool m_hands = true;
    QColor m_hourHandColor = QColor(0, 0, 0);
    int m_hourHandBorder = 12;
    int m_hourHandLength = 12;
    int m_hourHandWidth = 12;
    QColor m_minuteHandColor = QColor(61, 61, 61, 191);
    int m_minuteHandBorder = 4;
    int m_minuteHandLength = 8;
    int m_minuteHandWidth = 8;
    int m_shownHour = 0;
    int m_shownMinute = 0;
    int m_shownSecond = 0;
    bool m_endTime = false;
    int m_endTimeLength = 8;
    int m_endTimeWidth = 2;
    int m_endTimeHour = 0;
    int m_endTimeMinute = 0;
    int m_endTimeSecond = 0;
    QColor m_endTimeColor = QColor(255, 0, 0);
    float m_countDownTime = 0.0f;
    int m_countDownWidth = 2;
    int m_countDownSpacing = 1;
    QColor m_countDownColor = QColor(255, 0, 255);

    TimeSource m_source;
    qint64 m_polledSecond = -1; // the system second of the last reading

    // The scale lines and the second dots, each drawn once (dialring.h).
    DialRing m_lines;
    DialRing m_dots;
    ClockPoll m_poll{this};
};
