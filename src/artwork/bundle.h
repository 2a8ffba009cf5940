#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

#include <functional>

// Every PNG picture of the resource bundle, with how to draw it: the one list
// the generator writes the bundle from and the program draws from when it
// shows a picture larger than the design.
namespace bundle {

const QString root = QStringLiteral(":/resources/");

struct Picture
{
    QString path; // below the bundle's root, e.g. "png/Settings.png"
    QSize size;   // its size in the bundle
    // Draws it at the bundle size or, for the pictures the window shows
    // through its style sheets, at any other.
    std::function<QImage(const QSize &)> draw;
    bool drawsAtAnySize;
};

QVector<Picture> pictures();

// The picture drawn for a bundle file name (":/resources/png/..."), or null
// when the name is not one of the pictures that draw at any size.
const Picture *scalablePicture(const QString &fileName);

} // namespace bundle
