#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

class QScreen;
class QWidget;
class QWindow;

// Tells when what a window is drawn for may have changed scale: the window
// went to another screen, or its screen's logical DPI changed while it runs
// (the desktop's scaling was changed). Qt tells both only through the native
// window, which a widget gets when it is first shown.
class ScreenWatch : public QObject
{
    Q_OBJECT

public:
    explicit ScreenWatch(QWidget *window);

signals:
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void onScreenChanged(QScreen *screen);

private:
    void follow(QScreen *screen);

    QWidget *window;
    QPointer<QWindow> handle;
    QMetaObject::Connection dpiConnection;
};
