#include "icofile.h"

#include <QDataStream>

namespace icofile {

namespace {

constexpr quint16 iconType = 1;
constexpr int directorySize = 6;
constexpr int entrySize = 16;
constexpr quint32 bitmapHeaderSize = 40;
constexpr quint16 bitsPerPixel = 32;

int maskRowBytes(int width)
{
    return ((width + 31) / 32) * 4; // 1 bit per pixel, rows padded to 32 bits
}

// Header, colour rows bottom-up, then the transparency mask: set bits mark
// fully transparent pixels for readers that ignore the alpha channel.
QByteArray bitmap(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    const int height = image.height();
    const quint32 colourBytes = quint32(width * height * 4);
    const quint32 maskBytes = quint32(maskRowBytes(width) * height);

    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << bitmapHeaderSize << qint32(width) << qint32(2 * height) // colour plus mask
        << quint16(1) << bitsPerPixel << quint32(0) << colourBytes + maskBytes << qint32(0)
        << qint32(0) << quint32(0) << quint32(0);
    for (int y = height - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x)
            out << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
                << quint8(qAlpha(line[x]));
    }
    for (int y = height - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray row(maskRowBytes(width), '\0');
        for (int x = 0; x < width; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.writeRawData(row.constData(), row.size());
    }
    return data;
}

// A dimension byte of 0 stands for 256.
quint8 dimensionByte(int pixels)
{
    return quint8(pixels >= 256 ? 0 : pixels);
}

} // namespace

QByteArray encode(const QVector<QImage> &images)
{
    QVector<QByteArray> payloads;
    for (const QImage &image : images)
        payloads.append(bitmap(image));

    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << iconType << quint16(images.size());
    quint32 offset = quint32(directorySize + entrySize * images.size());
    for (int i = 0; i < images.size(); ++i) {
        out << dimensionByte(images[i].width()) << dimensionByte(images[i].height()) << quint8(0)
            << quint8(0) << quint16(1) << bitsPerPixel << quint32(payloads[i].size()) << offset;
        offset += quint32(payloads[i].size());
    }
    for (const QByteArray &payload : payloads)
        out.writeRawData(payload.constData(), payload.size());
    return file;
}

} // namespace icofile
