#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

// The signal lamps: opaque rounded plates with a caption, lit or dark.
namespace lampplate {

constexpr int width = 544;
constexpr int height = 156;

struct Lamp
{
    QString name; // file name stem
    QString caption;
    QColor lit;
};

QVector<Lamp> lamps();

// The plate at its own size, or drawn to fill another (the size it is shown
// at on a larger screen).
QImage paintPlate(const Lamp &lamp, bool active, const QSize &size = QSize(width, height));

} // namespace lampplate
