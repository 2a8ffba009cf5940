#pragma once

#include <QImage>

// The window icon: the maker's emblem on a dark metal tile with a light border.
namespace appicon {

constexpr int sizes[] = {16, 32, 48, 64, 128, 256};

QImage paintIcon(int size);

} // namespace appicon
