#include "surface.h"

#include "artwork.h"

#include <QtGlobal>
#include <random>
#include <vector>

namespace surface {

namespace {

constexpr int shortStreak = 23; // pixels a fine scratch runs along
constexpr int longStreak = 151; // pixels a broad brushing band runs along
constexpr qreal shortStreakGain = 30.0;
constexpr qreal longStreakGain = 60.0;
constexpr qreal rowGain = 1.6;        // the whole row a little lighter or darker
constexpr qreal pixelGrainGain = 1.8; // per-pixel grain

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
    qreal sum = 0.0;
    for (int i = 0; i < length; ++i)
        sum += row[size_t(i % width)];
    for (int x = 0; x < width; ++x) {
        out[size_t((x + length / 2) % width)] = sum / length;
        sum -= row[size_t(x)];
        sum += row[size_t((x + length) % width)];
    }
    return out;
}

} // namespace

void addGrain(QImage &image, const QRect &area, quint32 seed, qreal strength)
{
    const QRect rect = area.intersected(image.rect());
    if (rect.isEmpty())
        return;
    Noise noise(seed);
    const int width = rect.width();
    std::vector<qreal> fine(static_cast<size_t>(width));
    std::vector<qreal> broad(static_cast<size_t>(width));
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = 0; x < width; ++x) {
            fine[size_t(x)] = noise.next();
            broad[size_t(x)] = noise.next();
        }
        const std::vector<qreal> scratches = smear(fine, qMin(shortStreak, width));
        const std::vector<qreal> bands = smear(broad, qMin(longStreak, width));
        const qreal row = noise.next() * rowGain;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const qreal offset = strength * (scratches[size_t(x)] * shortStreakGain +
                                             bands[size_t(x)] * longStreakGain + row +
                                             noise.next() * pixelGrainGain);
            const int delta = qRound(offset);
            QRgb &pixel = line[rect.left() + x];
            pixel =
                qRgba(qBound(0, qRed(pixel) + delta, 255), qBound(0, qGreen(pixel) + delta, 255),
                      qBound(0, qBlue(pixel) + delta, 255), qAlpha(pixel));
        }
    }
}

QImage brushedMetal(const QSize &size, quint32 seed)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(artwork::surfaceColor);
    addGrain(image, image.rect(), seed);
    return image;
}

} // namespace surface
