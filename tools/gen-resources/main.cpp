// Draws every picture of the resource bundle into the given resources
// directory and writes the bundle's collection file, then the program icon as
// the desktop's icon theme wants it: one PNG per size. Run offscreen:
//   QT_QPA_PLATFORM=offscreen gen-resources <repo>/resources <repo>/packaging/icons/hicolor

#include "appicon.h"
#include "artwork.h"
#include "bundle.h"
#include "bundlewriter.h"
#include "icofile.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

namespace {

// The icon's name in the desktop's icon theme (and in the desktop entry).
const QString themeIconName = QStringLiteral("vontra-meters");

bool writePictures(BundleWriter &writer)
{
    for (const bundle::Picture &picture : bundle::pictures()) {
        if (!writer.saveImage(picture.path, picture.draw(picture.size)))
            return false;
    }
    return true;
}

bool writeIcon(BundleWriter &writer)
{
    QVector<QImage> images;
    for (int size : appicon::sizes)
        images.append(appicon::paintIcon(size));
    return writer.saveFile(QStringLiteral("ico/BelvaneIcon256x256Border.ico"),
                           icofile::encode(images));
}

// <theme>/NxN/apps/<name>.png for every size of the window icon.
bool writeThemeIcons(const QString &themeDirectory)
{
    const QDir theme(themeDirectory);
    for (int size : appicon::sizes) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = folder + QLatin1Char('/') + themeIconName + QStringLiteral(".png");
        if (!theme.mkpath(folder) || !appicon::paintIcon(size).save(theme.filePath(file), "PNG"))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        err << "usage: gen-resources <resources directory> <icon theme directory>\n";
        return 2;
    }
    if (!artwork::loadFonts()) {
        err << "gen-resources: the artwork's compiled-in face could not be registered\n";
        return 1;
    }

    BundleWriter writer(arguments.at(1));
    const bool ok = writePictures(writer) && writeIcon(writer) &&
                    writer.writeCollection(QStringLiteral("resources.qrc"));
    if (!ok) {
        err << "gen-resources: could not write into " << arguments.at(1) << "\n";
        return 1;
    }
    if (!writeThemeIcons(arguments.at(2))) {
        err << "gen-resources: could not write into " << arguments.at(2) << "\n";
        return 1;
    }
    return 0;
}
