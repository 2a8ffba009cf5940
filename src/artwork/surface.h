#pragma once

#include <QImage>
#include <QRect>

// Brushed metal. The grain is pseudo-random noise smeared along x, the way a
// brushing wheel leaves it; a fixed seed makes every run draw the same grain.
namespace surface {

// Adds the grain to every pixel of area (clipped to the image). strength 1 is
// the grain of the main surface; silver parts use more. scale: device pixels
// per design pixel; at 1 the grain is the bundle's, pixel for pixel.
void addGrain(QImage &image, const QRect &area, quint32 seed, qreal strength = 1.0,
              qreal scale = 1.0);

// The window's dark-grey surface, without any marks.
QImage brushedMetal(const QSize &size, quint32 seed, qreal scale = 1.0);

// Seed of the window surface; the fill picture and both backgrounds share it.
constexpr quint32 windowSeed = 0x564d3031; // "VM01"

} // namespace surface
