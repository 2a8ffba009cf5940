#pragma once

#include <QImage>

// The picture of the settings dialog: product and maker on the window's metal.
namespace aboutpicture {

constexpr int width = 358;
constexpr int height = 273;

QImage paintAbout();

} // namespace aboutpicture
