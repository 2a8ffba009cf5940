// Draws every picture of the resource bundle into the given resources
// directory and writes the bundle's collection file. Run offscreen:
//   QT_QPA_PLATFORM=offscreen gen-resources <repo>/resources

#include "aboutpicture.h"
#include "appicon.h"
#include "artwork.h"
#include "background.h"
#include "bundlewriter.h"
#include "gear.h"
#include "icofile.h"
#include "lampplate.h"
#include "modulekey.h"

#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

namespace {

const QString keyFolder = QStringLiteral("png/VontraMeterIcons2/sunken/");
const QString lampFolder = QStringLiteral("png/VontraMeterIcons2/signals/");

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

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        err << "usage: gen-resources <resources directory>\n";
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
    return 0;
}
