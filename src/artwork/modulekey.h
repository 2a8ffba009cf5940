#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

// The source-module keys: the outline of a square key with its number in the
// upper left. The inside stays see-through because the source name label
// sits under the key.
namespace modulekey {

constexpr int size = 256;
constexpr int moduleCount = 8;

struct KeyState
{
    QString name; // file name suffix
    QColor colour;
};

QVector<KeyState> states();

// The key at its own size, or drawn pixelSize pixels square.
QImage paintKey(int number, const QColor &colour, int pixelSize = size);

} // namespace modulekey
