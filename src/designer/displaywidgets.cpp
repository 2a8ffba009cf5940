#include "displaywidgets.h"

#include "meterpreview.h"
#include "tvkanalogclock.h"
#include "tvkdigitalclock.h"
#include "tvkppmmeter.h"

#include <QDateTime>
#include <QFont>
#include <QPixmap>

namespace {

// Icons are drawn by the widgets themselves, so the box shows them as they
// look, with no picture to keep in step by hand.
constexpr int iconSize = 64;
// A fixed moment for the clocks' icons: hands apart, most dots lit.
const QTime iconTime(10, 9, 40);
const QDate iconDate(2026, 1, 1);

// The widget drawn at the given place in a transparent icon square.
void drawInto(QPixmap &pixmap, QWidget &widget, const QPoint &at)
{
    widget.render(&pixmap, at, QRegion(), QWidget::DrawChildren);
}

QPixmap emptyIcon()
{
    QPixmap pixmap(iconSize, iconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon meterIcon()
{
    // A stereo pair, as the main window shows them.
    constexpr int meterWidth = 12;
    constexpr int gap = 8;
    constexpr double levels[] = {-8.0, -3.0};
    QPixmap pixmap = emptyIcon();
    int x = (iconSize - 2 * meterWidth - gap) / 2;
    for (double level : levels) {
        TVKPPMMeter meter;
        meter.resize(meterWidth, iconSize);
        meter.setGradientForground(true);
        meter.setdBPosition(level);
        meter.calculatePosition();
        drawInto(pixmap, meter, QPoint(x, 0));
        x += meterWidth + gap;
    }
    return QIcon(pixmap);
}

QIcon analogClockIcon()
{
    // Dial units at icon size: lines and dots bolder than on a studio screen.
    TVKAnalogClock clock;
    clock.resize(iconSize, iconSize);
    clock.setHourLines(true);
    clock.setHourLinesLength(14);
    clock.setHourLinesWidth(7);
    clock.setDotSize(7);
    clock.setDotColor(QColor(200, 0, 0));
    clock.setHourHandWidth(16);
    clock.setMinuteHandWidth(12);
    clock.setTimeSource([] { return iconTime; });
    clock.checkTime();
    QPixmap pixmap = emptyIcon();
    drawInto(pixmap, clock, QPoint());
    return QIcon(pixmap);
}

QIcon digitalClockIcon()
{
    constexpr int timePixels = 13;
    constexpr int datePixels = 8;
    TVKDigitalClock clock;
    clock.resize(iconSize, iconSize / 2 + timePixels);
    QFont timeFont = clock.timeDisplayFont();
    timeFont.setPixelSize(timePixels);
    timeFont.setBold(true);
    clock.setTimeDisplayFont(timeFont);
    QFont dateFont = clock.dateDisplayFont();
    dateFont.setPixelSize(datePixels);
    clock.setDateDisplayFont(dateFont);
    clock.setDateTimeSource([] { return QDateTime(iconDate, iconTime); });
    clock.checkTime();
    QPixmap pixmap = emptyIcon();
    drawInto(pixmap, clock, QPoint(0, (iconSize - clock.height()) / 2));
    return QIcon(pixmap);
}

// The class name comes from the class itself, and forms include the header of
// the same name in lower case.
template <typename Widget>
WidgetPlugin::Description describe(const char *objectName, const QSize &size, const char *toolTip,
                                   const char *whatsThis, QIcon (*paintIcon)())
{
    WidgetPlugin::Description description;
    description.className = QString::fromLatin1(Widget::staticMetaObject.className());
    description.includeFile = description.className.toLower() + QStringLiteral(".h");
    description.objectName = QString::fromLatin1(objectName);
    description.size = size;
    description.toolTip = QString::fromLatin1(toolTip);
    description.whatsThis = QString::fromLatin1(whatsThis);
    description.create = [](QWidget *parent) -> QWidget * { return new Widget(parent); };
    description.paintIcon = paintIcon;
    return description;
}

} // namespace

namespace displaywidgets {

QVector<WidgetPlugin::Description> descriptions()
{
    WidgetPlugin::Description meter = describe<TVKPPMMeter>(
        "ppmMeter", QSize(16, 200), "Peak programme meter",
        "A vertical peak programme meter for one audio channel, on a DIN or linear scale. "
        "Designer shows the bar at the dBPosition level.",
        meterIcon);
    meter.create = [](QWidget *parent) -> QWidget * {
        auto *widget = new TVKPPMMeter(parent);
        new MeterPreview(widget);
        return widget;
    };
    const WidgetPlugin::Description analogClock = describe<TVKAnalogClock>(
        "analogClock", QSize(200, 200), "Analog studio clock",
        "A studio clock with hour and minute lines, two hands near the rim, a ring of second "
        "dots and optional end-time and count-down arcs.",
        analogClockIcon);
    const WidgetPlugin::Description digitalClock = describe<TVKDigitalClock>(
        "digitalClock", QSize(200, 80), "Digital clock with date",
        "The time of day over the date, each line in its own font and colour.", digitalClockIcon);
    return {meter, analogClock, digitalClock};
}

} // namespace displaywidgets
