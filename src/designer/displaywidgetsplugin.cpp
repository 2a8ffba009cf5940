#include "displaywidgetsplugin.h"

#include "displaywidgets.h"

namespace {
const char *const group = "Vontra Meters";
}

DisplayWidgetsPlugin::DisplayWidgetsPlugin(QObject *parent) : QObject(parent)
{
    for (const WidgetPlugin::Description &description : displaywidgets::descriptions())
        m_widgets.append(new WidgetPlugin(QString::fromLatin1(group), description, this));
}
