#include "surface.h"

#include "artwork.h"

#include <QThread>
#include <QtGlobal>
#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

namespace surface {

namespace {

constexpr int shortStreak = 23; // pixels a fine scratch runs along
constexpr int longStreak = 151; // pixels a broad brushing band runs along
constexpr qreal shortStreakGain = 30.0;
constexpr qreal longStreakGain = 60.0;
constexpr qreal rowGain = 1.6;        // the whole row a little lighter or darker
constexpr qreal pixelGrainGain = 1.8; // per-pixel grain
constexpr int bandRows = 32;          // rows of one sequence when drawn larger
constexpr quint32 bandSeedStep = 0x9e3779b9;

// Streak lengths follow the scale; a mean over more pixels varies less, so
// the gains grow with the square root to keep the grain's contrast.
struct Streaks
{
    explicit Streaks(qreal scale)
        : shortLength(qMax(1, qRound(shortStreak * scale))),
          longLength(qMax(1, qRound(longStreak * scale))),
          shortGain(shortStreakGain * std::sqrt(qreal(shortLength) / shortStreak)),
          longGain(longStreakGain * std::sqrt(qreal(longLength) / longStreak))
    {
    }
    int shortLength;
    int longLength;
    qreal shortGain;
    qreal longGain;
};

// Uniform in [-1, 1]. The raw engine output is used instead of a standard
// distribution because only the engine's sequence is fixed by the standard.
class Noise
{
public:
    explicit Noise(quint32 seed) : engine(seed) {}
    qreal next() { return qreal(engine()) / qreal(std::mt19937::max()) * 2.0 - 1.0; }

private:
    std::mt19937 engine;
};

// Mean over a window of the given length, wrapping around the row so that
// the grain has no seam at the edges.
std::vector<qreal> smear(const std::vector<qreal> &row, int length)
{
    const int width = int(row.size());
    std::vector<qreal> out(row.size());
    // length <= width, so one subtraction wraps an index (no division: this
    // runs for every pixel of the window).
    const auto wrap = [width](int i) { return size_t(i < width ? i : i - width); };
    qreal sum = 0.0;
    for (int i = 0; i < length; ++i)
        sum += row[wrap(i)];
    for (int x = 0; x < width; ++x) {
        out[wrap(x + length / 2)] = sum / length;
        sum -= row[size_t(x)];
        sum += row[wrap(x + length)];
    }
    return out;
}

// Uniform in [-1, 1] as well, several times cheaper: the grain of a large
// window is millions of pixels and must be drawn within a frame or two.
class FastNoise
{
public:
    explicit FastNoise(quint32 seed) : state(0x853c49e6748fea9bULL ^ seed) { next(); }
    qreal next()
    {
        // xorshift64*
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const quint32 bits = quint32((state * 0x2545f4914f6cdd1dULL) >> 32);
        return qreal(bits) * (2.0 / 4294967295.0) - 1.0;
    }

private:
    quint64 state;
};

// The grain of rows [top, bottom] of rect, from one noise sequence.
template <typename Sequence>
void grainRows(QImage &image, const QRect &rect, int top, int bottom, Sequence &noise,
               const Streaks &streaks, qreal strength)
{
    const int width = rect.width();
    std::vector<qreal> fine(static_cast<size_t>(width));
    std::vector<qreal> broad(static_cast<size_t>(width));
    for (int y = top; y <= bottom; ++y) {
        for (int x = 0; x < width; ++x) {
            fine[size_t(x)] = noise.next();
            broad[size_t(x)] = noise.next();
        }
        const std::vector<qreal> scratches = smear(fine, qMin(streaks.shortLength, width));
        const std::vector<qreal> bands = smear(broad, qMin(streaks.longLength, width));
        const qreal row = noise.next() * rowGain;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const qreal offset = strength * (scratches[size_t(x)] * streaks.shortGain +
                                             bands[size_t(x)] * streaks.longGain + row +
                                             noise.next() * pixelGrainGain);
            const int delta = qRound(offset);
            QRgb &pixel = line[rect.left() + x];
            pixel =
                qRgba(qBound(0, qRed(pixel) + delta, 255), qBound(0, qGreen(pixel) + delta, 255),
                      qBound(0, qBlue(pixel) + delta, 255), qAlpha(pixel));
        }
    }
}

} // namespace

void addGrain(QImage &image, const QRect &area, quint32 seed, qreal strength, qreal scale)
{
    const QRect rect = area.intersected(image.rect());
    if (rect.isEmpty())
        return;
    if (scale == 1.0) {
        // The bundle's grain: one sequence down the whole area.
        Noise noise(seed);
        grainRows(image, rect, rect.top(), rect.bottom(), noise, Streaks(1.0), strength);
        return;
    }
    // Larger: streaks as long as the design's on screen, and bands of rows with
    // their own sequences, drawn side by side on the processor's cores. The
    // result does not depend on how many there are.
    const Streaks streaks(scale);
    const int bandCount = (rect.height() + bandRows - 1) / bandRows;
    std::atomic<int> nextBand{0};
    auto work = [&] {
        for (int band = nextBand++; band < bandCount; band = nextBand++) {
            FastNoise noise(seed + quint32(band) * bandSeedStep);
            const int top = rect.top() + band * bandRows;
            grainRows(image, rect, top, qMin(rect.bottom(), top + bandRows - 1), noise, streaks,
                      strength);
        }
    };
    const int helpers = qBound(0, QThread::idealThreadCount() - 1, bandCount - 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < helpers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
}

QImage brushedMetal(const QSize &size, quint32 seed, qreal scale)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(artwork::surfaceColor);
    addGrain(image, image.rect(), seed, 1.0, scale);
    return image;
}

} // namespace surface
