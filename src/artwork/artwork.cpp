#include "artwork.h"

#include <QByteArray>
#include <QFontDatabase>
#include <QResource>

// The face lives in a static library: its resources are linked in only when
// named (outside any namespace, as Qt's macro requires).
static void initFontResource()
{
    Q_INIT_RESOURCE(artworkfonts);
}

namespace artwork {

namespace {
const char *const fontFile = ":/artwork/fonts/VontraArtworkSans-Bold.ttf";
const char *const fontFamily = "Vontra Artwork Sans";
} // namespace

bool loadFonts()
{
    static const bool loaded = [] {
        initFontResource();
        // Stored uncompressed: the face is read where the program's image
        // holds it, which lives as long as the process, with no copy.
        const QResource resource(QString::fromLatin1(fontFile));
        if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression)
            return false;
        const QByteArray data = QByteArray::fromRawData(
            reinterpret_cast<const char *>(resource.data()), int(resource.size()));
        return QFontDatabase::addApplicationFontFromData(data) >= 0;
    }();
    return loaded;
}

QFont font(int pixelSize)
{
    QFont f{QString::fromLatin1(fontFamily)};
    f.setPixelSize(pixelSize);
    f.setBold(true);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

} // namespace artwork
