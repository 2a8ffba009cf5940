#pragma once

#include <QRect>
#include <QVector>

// A maximised window's frame sits this far left of its screen's edge, so it
// is shifted back before the screens are compared.
constexpr int maximisedFrameOffset = 8;

// Index of the screen a window is considered to be on, judged from the left
// edge of its frame alone: screens are taken as lying side by side, left to
// right in index order. 0 when there is no screen, one screen or no match.
int screenIndexFor(const QVector<QRect> &availableGeometries, int frameX, bool maximised);
