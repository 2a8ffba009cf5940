#include "bundle.h"

#include "aboutpicture.h"
#include "background.h"
#include "gear.h"
#include "lampplate.h"
#include "modulekey.h"

#include <QHash>

namespace bundle {

namespace {

const QString keyFolder = QStringLiteral("png/VontraMeterIcons2/sunken/");
const QString lampFolder = QStringLiteral("png/VontraMeterIcons2/signals/");

// Keys and the gear are square; one side is enough.
int side(const QSize &size)
{
    return qMin(size.width(), size.height());
}

} // namespace

QVector<Picture> pictures()
{
    QVector<Picture> list;
    const QSize design = background::designSize;
    list.append({QStringLiteral("png/background_offline.png"), design,
                 [](const QSize &) { return background::paintBackground(false); }, false});
    list.append({QStringLiteral("png/background_online.png"), design,
                 [](const QSize &) { return background::paintBackground(true); }, false});
    list.append({QStringLiteral("png/BelvaneBackgroundEmpty.png"), background::fillSize,
                 [](const QSize &) { return background::paintFill(); }, false});
    for (int number = 1; number <= modulekey::moduleCount; ++number) {
        for (const modulekey::KeyState &state : modulekey::states()) {
            const QColor colour = state.colour;
            list.append({keyFolder + QStringLiteral("%1-%2.png").arg(number).arg(state.name),
                         QSize(modulekey::size, modulekey::size),
                         [number, colour](const QSize &size) {
                             return modulekey::paintKey(number, colour, side(size));
                         },
                         true});
        }
    }
    for (const lampplate::Lamp &lamp : lampplate::lamps()) {
        for (bool active : {true, false}) {
            const QString state = active ? QStringLiteral("-active") : QStringLiteral("-inactive");
            list.append({lampFolder + lamp.name + state + QStringLiteral(".png"),
                         QSize(lampplate::width, lampplate::height),
                         [lamp, active](const QSize &size) {
                             return lampplate::paintPlate(lamp, active, size);
                         },
                         true});
        }
    }
    list.append({QStringLiteral("png/Settings.png"), QSize(gear::size, gear::size),
                 [](const QSize &size) { return gear::paintGear(side(size)); }, true});
    list.append({QStringLiteral("png/about.png"), QSize(aboutpicture::width, aboutpicture::height),
                 [](const QSize &) { return aboutpicture::paintAbout(); }, false});
    return list;
}

const Picture *scalablePicture(const QString &fileName)
{
    // Built once, on first use; read-only after that.
    static const QHash<QString, Picture> scalable = [] {
        QHash<QString, Picture> table;
        for (const Picture &picture : pictures()) {
            if (picture.drawsAtAnySize)
                table.insert(root + picture.path, picture);
        }
        return table;
    }();
    const auto found = scalable.constFind(fileName);
    return found == scalable.constEnd() ? nullptr : &found.value();
}

} // namespace bundle
