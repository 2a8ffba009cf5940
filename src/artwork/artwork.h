#pragma once

#include <QColor>
#include <QFont>

// Colours and type shared by all pictures, so that plates, keys and the
// backgrounds read as one piece of equipment.
namespace artwork {

// Mean colour of the brushed surface; corners of opaque plates use it so that
// they melt into the background around them.
const QColor surfaceColor(60, 62, 65);
const QColor panelInk(214, 218, 222); // printed scale marks and numbers
const QColor engravedInk(38, 40, 44); // dark lettering on silver parts
const QColor silverLight(206, 210, 214);
const QColor silverDark(128, 132, 137);
const QColor scaleRed(205, 28, 28);
const QColor onlineGreen(40, 230, 80);

const QColor litGreen(34, 200, 64);
const QColor litRed(226, 30, 30);
const QColor litYellow(248, 204, 0);
const QColor keyGrey(168, 172, 176);

// Registers the face the pictures are lettered with, compiled in, so that
// every platform and every run draws the same outlines whatever fonts the
// system has. Its family name is the artwork's own: the window's texts never
// pick it up. Returns false when it cannot be registered. GUI thread.
bool loadFonts();

// The artwork's face (DejaVu Sans Bold) at a pixel size, unhinted so the
// outlines do not depend on the rasteriser's hinting settings.
QFont font(int pixelSize);

} // namespace artwork
