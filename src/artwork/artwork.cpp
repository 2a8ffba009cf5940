#include "artwork.h"

#include <QFile>
#include <QFontDatabase>

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
        QFile file(QString::fromLatin1(fontFile));
        return file.open(QIODevice::ReadOnly) &&
               QFontDatabase::addApplicationFontFromData(file.readAll()) >= 0;
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
