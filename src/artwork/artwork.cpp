#include "artwork.h"

#include <QFontDatabase>
#include <QStringList>

namespace artwork {

namespace {
const char *const fontDirectory = "/usr/share/fonts/truetype/dejavu/";
const char *const fontFamily = "DejaVu Sans";
} // namespace

bool loadFonts()
{
    const QStringList files = {QStringLiteral("DejaVuSans.ttf"),
                               QStringLiteral("DejaVuSans-Bold.ttf")};
    for (const QString &file : files) {
        if (QFontDatabase::addApplicationFont(QLatin1String(fontDirectory) + file) < 0)
            return false;
    }
    return true;
}

QFont font(int pixelSize, bool bold)
{
    QFont f{QString::fromLatin1(fontFamily)};
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

} // namespace artwork
