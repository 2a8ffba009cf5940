#pragma once

#include <QImage>

// The settings button: a dark grey gear; hole and surroundings see-through.
namespace gear {

constexpr int size = 256;

// The gear at its own size, or drawn pixelSize pixels square.
QImage paintGear(int pixelSize = size);

} // namespace gear
