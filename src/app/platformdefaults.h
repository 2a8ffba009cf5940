#pragma once

#include <QByteArray>
#include <QtGlobal>

// Platform choices made before the application object exists
// (docs/performance.md). Each is only a default: a setting of the user's, even
// an empty one, stands.
inline void applyPlatformDefaults()
{
#ifdef Q_OS_UNIX
    const auto preset = [](const char *name, const char *value) {
        if (!qEnvironmentVariableIsSet(name))
            qputenv(name, value);
    };
    // The window wakes a hundred times a second for the meter tick, all day,
    // and Qt's own dispatcher costs less per wake-up than the GLib one Qt takes
    // by default. Nothing in the program needs GLib's loop.
    preset("QT_NO_GLIB", "1");
    // Everything is painted by the raster engine. Without this, Qt's X11
    // platform loads the OpenGL libraries when it makes the first window: with
    // Mesa's software renderer some 50 MB and 80 ms of start-up, never used.
    preset("QT_XCB_GL_INTEGRATION", "none");
#endif
}
