#pragma once

#include <QByteArray>
#include <QImage>
#include <QVector>

// Windows icon container: a directory of entries, each a 32-bit BGRA device
// independent bitmap with its 1-bit mask, as every ICO reader accepts.
namespace icofile {

// The images must be square, 1 to 256 pixels.
QByteArray encode(const QVector<QImage> &images);

} // namespace icofile
