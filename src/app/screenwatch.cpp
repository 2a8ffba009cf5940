#include "screenwatch.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

ScreenWatch::ScreenWatch(QWidget *window) : QObject(window), window(window)
{
    window->installEventFilter(this);
}

bool ScreenWatch::eventFilter(QObject *watched, QEvent *event)
{
    // A window made anew (e.g. after a change of its flags) has a new handle.
    if (watched == window && event->type() == QEvent::Show && window->windowHandle() &&
        window->windowHandle() != handle) {
        handle = window->windowHandle();
        connect(handle, SIGNAL(screenChanged(QScreen *)), this, SLOT(onScreenChanged(QScreen *)));
        follow(handle->screen());
    }
    return false;
}

void ScreenWatch::onScreenChanged(QScreen *screen)
{
    follow(screen);
    emit changed();
}

void ScreenWatch::follow(QScreen *screen)
{
    disconnect(dpiConnection);
    if (screen)
        dpiConnection =
            connect(screen, SIGNAL(logicalDotsPerInchChanged(qreal)), this, SIGNAL(changed()));
}
