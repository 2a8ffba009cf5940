#include "tvkppmmeter.h"

#include "ppmscale.h"

#include <QFileInfo>
#include <QPainter>
#include <QPen>

#include <cmath>

namespace {

constexpr double defaultMindB = -50.0;
constexpr double defaultMaxdB = 5.0;
constexpr int defaultWidth = 16;
constexpr int defaultHeight = 200;
// The solid part of a gradient bar reaches this many rows above the middle,
// where the gradient part overdraws it.
constexpr int solidOverlapRows = 2;
constexpr double markerWidth = 3.0;
// A marker line this far outside the widget is invisible; keeping it there
// keeps the row arithmetic far from int overflow.
constexpr int markerMargin = 4;

// Pixel rows first..last inclusive across the full width; empty when last <
// first.
QRect rows(int first, int last, int width)
{
    return QRect(0, first, width, last - first + 1);
}

} // namespace

TVKPPMMeter::TVKPPMMeter(QWidget *parent)
    : QWidget(parent), m_mindBPosition(defaultMindB), m_maxdBPosition(defaultMaxdB),
      m_maxColor(255, 0, 0), m_minColor(0, 255, 0), m_maxBackgroundColor(64, 0, 0),
      m_minBackgroundColor(0, 64, 0)
{
    updateScale();
    m_backgroundGradient.setStops({{0.0, m_minBackgroundColor}, {1.0, m_maxBackgroundColor}});
    m_barGradient.setStops({{0.0, m_minColor}, {1.0, m_maxColor}});
    loadBackground();
    // The fills below cover every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(tr("PPM Meter"));
    resize(defaultWidth, defaultHeight);
}

TVKPPMMeter::~TVKPPMMeter() = default;

void TVKPPMMeter::setdBPosition(double_db NewdBPosition)
{
    m_dBPosition = NewdBPosition;
    update();
}

void TVKPPMMeter::setLevelWithoutRepaint(double_db level)
{
    m_dBPosition = level;
}

void TVKPPMMeter::setMindBPosition(double value)
{
    if (value == m_mindBPosition) // NaN never compares equal: always a change
        return;
    m_mindBPosition = value;
    updateScale();
    update();
}

void TVKPPMMeter::setMaxdBPosition(double value)
{
    if (value == m_maxdBPosition)
        return;
    m_maxdBPosition = value;
    updateScale();
    update();
}

void TVKPPMMeter::setReleasePerSecond(double value)
{
    if (value == m_releasePerSecond)
        return;
    m_releasePerSecond = value;
}

void TVKPPMMeter::setDINCurve(bool value)
{
    if (value == m_dinCurve)
        return;
    m_dinCurve = value;
    update();
}

void TVKPPMMeter::setGradientBackground(bool value)
{
    if (value == m_gradientBackground)
        return;
    m_gradientBackground = value;
    update();
}

void TVKPPMMeter::setGradientForground(bool value)
{
    if (value == m_gradientForground)
        return;
    m_gradientForground = value;
    update();
}

void TVKPPMMeter::setMaxColor(const QColor &color)
{
    m_maxColor = color;
    m_barGradient.setColorAt(1.0, color);
    update();
}

void TVKPPMMeter::setMinColor(const QColor &color)
{
    m_minColor = color;
    m_barGradient.setColorAt(0.0, color);
    update();
}

void TVKPPMMeter::setMaxBackgroundColor(const QColor &color)
{
    m_maxBackgroundColor = color;
    m_backgroundGradient.setColorAt(1.0, color);
    update();
}

void TVKPPMMeter::setMinBackgroundColor(const QColor &color)
{
    m_minBackgroundColor = color;
    m_backgroundGradient.setColorAt(0.0, color);
    update();
}

void TVKPPMMeter::setSkinEnvironmentVariable(const QString &name)
{
    if (name == m_skinEnvironmentVariable)
        return;
    m_skinEnvironmentVariable = name;
    loadBackground();
    update();
}

void TVKPPMMeter::setPPMMeterBackgroundFileName(const QString &fileName)
{
    if (fileName == m_backgroundFileName)
        return;
    m_backgroundFileName = fileName;
    loadBackground();
    update();
}

void TVKPPMMeter::setSilenceLevel(double level)
{
    if (level == m_silenceLevel)
        return;
    m_silenceLevel = level;
}

void TVKPPMMeter::setSilenceMarker(bool on)
{
    if (on == m_silenceMarker)
        return;
    m_silenceMarker = on;
}

bool TVKPPMMeter::calculatePosition()
{
    // A level that is not a number cannot be placed; it is taken as the
    // bottom of the scale and written back, so that the owner's release,
    // which starts from the stored level, recovers at once.
    if (std::isnan(m_dBPosition))
        m_dBPosition = m_mindBPosition;
    if (m_mindBPosition > m_dBPosition)
        m_dBPosition = m_mindBPosition;
    if (m_dBPosition > m_maxdBPosition)
        m_dBPosition = m_maxdBPosition;

    const int h = height();
    m_barHeight = qBound(0, levelToHeight(m_dBPosition, h), h);
    m_zeroHeight = qBound(0, levelToHeight(0.0, h), h);

    if (m_barHeight == m_lastBarHeight)
        return false;
    m_previousBarHeight = m_lastBarHeight;
    m_lastBarHeight = m_barHeight;
    return true;
}

void TVKPPMMeter::updateChangedRows()
{
    // What a row shows depends on the bar height only through two rows: the
    // lit top (h - bar) and the top of the gradient part (2 x half - bar, a
    // row lower for odd heights). Between two heights only the rows from the
    // higher bar's top to the lower bar's gradient top can differ; one row of
    // margin either side.
    const int h = height();
    const int higher = qMax(m_previousBarHeight, m_barHeight);
    const int lower = qMin(m_previousBarHeight, m_barHeight);
    const int first = h - higher - 1;
    const int last = h + 1 - lower + 1; // 2 x half <= h + 1
    update(rows(first, last, width()).intersected(rect()));
}

void TVKPPMMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    const int w = width();
    const int h = height();
    const int half = (h + 1) / 2; // trunc(h x 0.5 + 0.5) for h >= 0

    if (!m_background.isNull())
        painter.drawImage(0, 0, m_background);

    m_backgroundGradient.setStart(0, half);
    m_backgroundGradient.setFinalStop(0, 0);
    m_barGradient.setStart(0, half);
    m_barGradient.setFinalStop(0, 0);

    if (m_gradientBackground) {
        painter.fillRect(rows(half, 2 * half - 1, w), m_minBackgroundColor);
        painter.fillRect(rows(0, half - 1, w), m_backgroundGradient);
    } else {
        painter.fillRect(rows(h - m_zeroHeight, h - 1, w), m_minBackgroundColor);
        painter.fillRect(rows(0, h - m_zeroHeight - 1, w), m_maxBackgroundColor);
    }

    if (!m_gradientForground) {
        if (m_barHeight <= m_zeroHeight) {
            painter.fillRect(rows(h - m_barHeight, h - 1, w), m_minColor);
        } else {
            painter.fillRect(rows(h - m_zeroHeight, h - 1, w), m_minColor);
            painter.fillRect(rows(h - m_barHeight, h - m_zeroHeight - 1, w), m_maxColor);
        }
    } else {
        painter.fillRect(rows(h - qMin(m_barHeight, half + solidOverlapRows), h - 1, w),
                         m_minColor);
        if (m_barHeight > half)
            painter.fillRect(rows(2 * half - m_barHeight, half - 1, w), m_barGradient);
    }

    if (m_silenceMarker && std::isfinite(m_silenceLevel)) {
        const int marker =
            qBound(-markerMargin, levelToHeight(m_silenceLevel, h), h + markerMargin);
        painter.setPen(QPen(Qt::red, markerWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawLine(0, h - marker, w, h - marker);
    }
}

void TVKPPMMeter::updateScale()
{
    m_dinBase = ppm::dinPower(m_mindBPosition);
    m_dinSpan = ppm::dinPower(m_maxdBPosition) - m_dinBase;
    m_linearSpan = m_maxdBPosition - m_mindBPosition;
}

void TVKPPMMeter::loadBackground()
{
    const QByteArray directory = qgetenv(m_skinEnvironmentVariable.toLatin1().constData());
    const QString path = QString::fromLatin1(directory) + QLatin1Char('/') + m_backgroundFileName;
    // Exactly that file or none. For a path that is no file, Qt would try it
    // again with every image suffix appended, loading every image-format
    // plugin on the way: the program's meters name no picture, and each paid
    // for that at start-up.
    if (!QFileInfo(path).isFile() || !m_background.load(path))
        m_background = QImage();
}

// Height in pixels above the bottom edge for a level, by the selected scale;
// not limited to 0..height. Limits or levels that are not finite have no
// place on the scale and give 0, the bottom.
int TVKPPMMeter::levelToHeight(double level, int height) const
{
    if (!std::isfinite(level) || !std::isfinite(m_mindBPosition) || !std::isfinite(m_maxdBPosition))
        return 0;
    if (m_dinCurve)
        return ppm::dinHeight(level, m_dinBase, m_dinSpan, height);
    return ppm::linearHeight(level, m_mindBPosition, m_linearSpan, height);
}
