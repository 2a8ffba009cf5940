#pragma once

#include "canvasscale.h"

#include <QImage>
#include <QRect>
#include <QSize>

// The window's background pictures. Every mark sits at the design position of
// the widget it belongs to, since those widgets draw no background of their own.
namespace background {

constexpr QSize designSize(986, 650);
constexpr QSize fillSize(1024, 580);

// The online indication: the only difference between the two backgrounds.
constexpr QRect onlineLine(821, 149, 116, 4);

QImage paintBackground(bool online);

// The bare surface that fills the letter-box bands around the background.
QImage paintFill();

// Draws every mark of the background onto a canvas that already holds the
// surface, at the canvas's scale (the bundle's pictures: scale 1).
void paintMarks(QImage &image, bool online, const CanvasScale &canvas);

// A window larger than the design, at its device size: one brushed surface
// for the whole window (the letter-box fill), and the background cut from the
// same surface where the canvas lies in it (CanvasScale::area), so that the
// surface runs on into the bands without a seam.
QImage paintSurface(const QSize &window, const CanvasScale &canvas);
QImage paintCanvas(const QImage &surface, const CanvasScale &canvas, bool online);

} // namespace background
