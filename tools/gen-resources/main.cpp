// Draws every picture of the resource bundle into the given resources
// directory and writes the bundle's collection file, then the program icon as
// the desktop's icon theme wants it: one PNG per size. Run offscreen:
//   QT_QPA_PLATFORM=offscreen gen-resources <repo>/resources <repo>/packaging/icons/hicolor

#include "aboutpicture.h"
#include "appicon.h"
#include "artwork.h"
#include "background.h"
#include "bundlewriter.h"
#include "gear.h"
#include "icofile.h"
#include "lampplate.h"
#include "modulekey.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

namespace {

const QString keyFolder = QStringLiteral("png/VontraMeterIcons2/sunken/");
const QString lampFolder = QStringLiteral("png/VontraMeterIcons2/signals/");
// The icon's name in the desktop's icon theme (and in the desktop entry).
const QString themeIconName = QStringLiteral("vontra-meters");

bool writeBackgrounds(BundleWriter &writer)
{
    return writer.saveImage(QStringLiteral("png/background_offline.png"),
                            background::paintBackground(false)) &&
           writer.saveImage(QStringLiteral("png/background_online.png"),
                            background::paintBackground(true)) &&
           writer.saveImage(QStringLiteral("png/BelvaneBackgroundEmpty.png"),
                            background::paintFill());
}

bool writeKeys(BundleWriter &writer)
{
    for (int number = 1; number <= modulekey::moduleCount; ++number) {
        for (const modulekey::KeyState &state : modulekey::states()) {
            const QString path =
                keyFolder + QStringLiteral("%1-%2.png").arg(number).arg(state.name);
            if (!writer.saveImage(path, modulekey::paintKey(number, state.colour)))
                return false;
        }
    }
    return true;
}

bool writeLamps(BundleWriter &writer)
{
    for (const lampplate::Lamp &lamp : lampplate::lamps()) {
        if (!writer.saveImage(lampFolder + lamp.name + QStringLiteral("-active.png"),
                              lampplate::paintPlate(lamp, true)) ||
            !writer.saveImage(lampFolder + lamp.name + QStringLiteral("-inactive.png"),
                              lampplate::paintPlate(lamp, false)))
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
        err << "gen-resources: the DejaVu fonts (fonts-dejavu-core) are missing\n";
        return 1;
    }

    BundleWriter writer(arguments.at(1));
    const bool ok = writeBackgrounds(writer) && writeKeys(writer) && writeLamps(writer) &&
                    writeIcon(writer) &&
                    writer.saveImage(QStringLiteral("png/Settings.png"), gear::paintGear()) &&
                    writer.saveImage(QStringLiteral("png/about.png"), aboutpicture::paintAbout()) &&
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
