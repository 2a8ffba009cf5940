#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QtGlobal>

// Platform choices made before the application object exists
// (docs/performance.md). Each is only a default: a setting of the user's, even
// an empty one, stands; but Qt's per-screen scaling, which desktops turn on for
// every Qt program, stays off.
inline void applyPlatformDefaults()
{
    // The window lays its canvas out in device pixels and fits its fonts to
    // the screen's DPI itself (mainwindow_layout.cpp). Qt's own scaling, which
    // a desktop may turn on for every Qt program (QT_SCREEN_SCALE_FACTORS,
    // QT_AUTO_SCREEN_SCALE_FACTOR), would make the 986 x 650 minimum size
    // 1972 x 1300 pixels at 200 %, larger than a 1920 x 1080 screen. A global
    // QT_SCALE_FACTOR still counts. (Qt takes the attribute only before the
    // application object exists.)
    if (!QCoreApplication::instance())
        QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
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
