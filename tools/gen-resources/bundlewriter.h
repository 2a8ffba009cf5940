#pragma once

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QStringList>

// Writes pictures under the resources directory and keeps the list of them
// for the bundle's collection file.
class BundleWriter
{
public:
    explicit BundleWriter(const QString &root);

    bool saveImage(const QString &path, const QImage &image);
    bool saveFile(const QString &path, const QByteArray &data);
    bool writeCollection(const QString &fileName);

private:
    bool prepare(const QString &path);

    QDir root;
    QStringList written;
};
