#pragma once

#include <QRectF>

class QPainter;

// The maker's mark: a ring around rising level bars over the word
// "ORVENDEL", in silver, filling the given area.
namespace logo {

void paintMakerLogo(QPainter &painter, const QRectF &area);

// The emblem alone (ring and bars), for small places such as the icon.
void paintEmblem(QPainter &painter, const QRectF &square);

} // namespace logo
