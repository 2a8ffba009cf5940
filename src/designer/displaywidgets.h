#pragma once

#include "widgetplugin.h"

#include <QVector>

// The three display widgets as Designer offers them.
namespace displaywidgets {

QVector<WidgetPlugin::Description> descriptions();

} // namespace displaywidgets
