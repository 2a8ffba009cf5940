// The floor for the live display's CPU figures: the least work its meter
// timing rules need, and nothing else. A window with four opaque bars at the
// canvas's meter rectangles, scaled to the window like the display's canvas;
// a precise 10 ms tick that lets each bar fall 0.133 dB and repaints a bar
// only when its top pixel moved; 50 level updates a second, a random walk.
//   vm-bench-floor        runs until killed; the bench places and sizes it
#include "ppmscale.h"

#include <QApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>

#include "platformdefaults.h"

namespace {

constexpr int designWidth = 986;
constexpr int designHeight = 650;
// The meters' rectangles on the design canvas.
constexpr int meterY = 73;
constexpr int meterWidth = 12;
constexpr int meterHeight = 415;
constexpr int meterX[4] = {54, 143, 210, 299};

constexpr double floorDb = -50.0;
constexpr double topDb = 5.0;
constexpr double releaseStepDb = 0.133;
constexpr int tickMs = 10;
constexpr int updatesPerSecond = 50;
// A programme-like walk: steps of up to this many dB, between these levels.
constexpr double walkStepDb = 6.0;
constexpr double walkLowDb = -40.0;
constexpr double walkHighDb = 3.0;

class Bar : public QWidget
{
public:
    explicit Bar(QWidget *parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

    // One tick towards the target; repaints only when the top pixel moved.
    void step(double target)
    {
        level = target >= level ? target : std::max(target, level - releaseStepDb);
        const int top = ppm::dinHeight(level, base, span, height());
        if (top != shownTop) {
            shownTop = top;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const int lit = std::clamp(shownTop, 0, height());
        painter.fillRect(0, 0, width(), height() - lit, QColor(0, 64, 0));
        painter.fillRect(0, height() - lit, width(), lit, QColor(0, 255, 0));
    }

private:
    const double base = ppm::dinPower(floorDb);
    const double span = ppm::dinPower(topDb) - base;
    double level = floorDb;
    int shownTop = 0;
};

class FloorWindow : public QWidget
{
public:
    FloorWindow()
    {
        setWindowTitle(QStringLiteral("vm-bench-floor"));
        for (auto &bar : bars)
            bar = new Bar(this);
        targets.fill(floorDb);
        tick.setTimerType(Qt::PreciseTimer);
        connect(&tick, &QTimer::timeout, this, [this] {
            for (size_t m = 0; m < bars.size(); ++m)
                bars[m]->step(targets[m]);
        });
        tick.start(tickMs);
        levels.setTimerType(Qt::PreciseTimer);
        connect(&levels, &QTimer::timeout, this, [this] {
            for (double &t : targets) {
                const double step =
                    (QRandomGenerator::global()->generateDouble() * 2 - 1) * walkStepDb;
                t = std::clamp(t + step, walkLowDb, walkHighDb);
            }
        });
        levels.start(1000 / updatesPerSecond);
        resize(designWidth, designHeight);
    }

protected:
    void resizeEvent(QResizeEvent *) override
    {
        // One uniform scale and a letter-box offset, as the display's canvas.
        const double scale =
            std::min(double(width()) / designWidth, double(height()) / designHeight);
        const int x0 = int((width() - designWidth * scale) / 2);
        const int y0 = int((height() - designHeight * scale) / 2);
        for (size_t m = 0; m < bars.size(); ++m)
            bars[m]->setGeometry(x0 + int(meterX[m] * scale), y0 + int(meterY * scale),
                                 int(meterWidth * scale), int(meterHeight * scale));
    }

private:
    std::array<Bar *, 4> bars{};
    std::array<double, 4> targets{};
    QTimer tick;
    QTimer levels;
};

} // namespace

int main(int argc, char *argv[])
{
    applyPlatformDefaults(); // the display's own platform choices
    QApplication app(argc, argv);
    FloorWindow window;
    window.show();
    return app.exec();
}
