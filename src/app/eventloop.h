#pragma once

#include <QByteArray>
#include <QtGlobal>

// Chooses the event loop's dispatcher; call before the application object
// exists. The window wakes a hundred times a second for the meter tick, all
// day, and on Linux Qt's own dispatcher costs less per wake-up than the GLib
// one it takes by default (docs/performance.md). Nothing in the program needs
// GLib's loop. A QT_NO_GLIB setting of the user's, even an empty one, stands.
inline void preferLeanEventLoop()
{
#ifdef Q_OS_UNIX
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
#endif
}
