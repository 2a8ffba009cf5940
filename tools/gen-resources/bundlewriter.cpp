#include "bundlewriter.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {
const char *const bundlePrefix = "/resources";
}

BundleWriter::BundleWriter(const QString &root) : root(root) {}

bool BundleWriter::prepare(const QString &path)
{
    if (!root.mkpath(QFileInfo(path).path()))
        return false;
    written.append(path);
    return true;
}

bool BundleWriter::saveImage(const QString &path, const QImage &image)
{
    return prepare(path) && image.save(root.filePath(path), "PNG");
}

bool BundleWriter::saveFile(const QString &path, const QByteArray &data)
{
    if (!prepare(path))
        return false;
    QFile file(root.filePath(path));
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool BundleWriter::writeCollection(const QString &fileName)
{
    QFile file(root.filePath(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QStringList paths = written;
    paths.sort();
    QTextStream out(&file);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n"
        << "<qresource prefix=\"" << bundlePrefix << "\">\n";
    for (const QString &path : paths)
        out << "    <file>" << path << "</file>\n";
    out << "</qresource>\n</RCC>\n";
    return out.status() == QTextStream::Ok;
}
