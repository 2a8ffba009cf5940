#pragma once

#include <QImage>

// The settings button: a dark grey gear; hole and surroundings see-through.
namespace gear {

constexpr int size = 256;

QImage paintGear();

} // namespace gear
