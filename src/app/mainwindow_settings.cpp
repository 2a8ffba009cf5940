// Settings store and window placement: read once at start, written once at exit.
#include "mainwindow.h"

#include "screenplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QVector>

namespace {
const char *const keyCurrentScreen = "current_screen";
const char *const keyGeometry = "geometry";
const char *const keyUdpSend = "udp_send";
const char *const keyUdpRecv = "udp_recv";
const char *const keyUseDefaultPorts = "use_default_ports";
const char *const keyRemoteHost = "remote_host";

// Ports are stored as plain ints; only their low 16 bits are a port.
quint16 portFrom(const QVariant &value)
{
    return static_cast<quint16>(value.toInt());
}
} // namespace

void MainWindow::loadSettings()
{
    QSettings settings;

    // An index naming no screen yields an empty rectangle: the window goes to (0, 0).
    const int screenIndex = settings.value(keyCurrentScreen).toInt();
    const QList<QScreen *> screens = QGuiApplication::screens();
    QRect screenGeometry;
    if (screenIndex >= 0 && screenIndex < screens.size())
        screenGeometry = screens.at(screenIndex)->geometry();
    move(screenGeometry.topLeft());

    // A refused or empty block leaves the window where it was just put.
    restoreGeometry(settings.value(keyGeometry).toByteArray());

    udp_send_port =
        settings.contains(keyUdpSend) ? portFrom(settings.value(keyUdpSend)) : defaultUdpSendPort;
    udp_recv_port =
        settings.contains(keyUdpRecv) ? portFrom(settings.value(keyUdpRecv)) : defaultUdpRecvPort;
    // The flag only presets the dialog's box; it never overrides the ports here.
    use_defaults =
        settings.contains(keyUseDefaultPorts) ? settings.value(keyUseDefaultPorts).toBool() : true;
    remote_host =
        settings.contains(keyRemoteHost) ? settings.value(keyRemoteHost).toString() : QString();
}

void MainWindow::saveSettings()
{
    QSettings settings;
    settings.setValue(keyCurrentScreen, currentScreen());
    settings.setValue(keyGeometry, saveGeometry());
    // Widened as unsigned so that ports above 32767 are never written negative.
    settings.setValue(keyUdpSend, static_cast<int>(udp_send_port));
    settings.setValue(keyUdpRecv, static_cast<int>(udp_recv_port));
    settings.setValue(keyUseDefaultPorts, use_defaults);
    settings.setValue(keyRemoteHost, remote_host);
}

int MainWindow::currentScreen() const
{
    QVector<QRect> availableGeometries;
    const QList<QScreen *> screens = QGuiApplication::screens();
    availableGeometries.reserve(screens.size());
    for (const QScreen *screen : screens)
        availableGeometries.append(screen->availableGeometry());
    return screenIndexFor(availableGeometries, pos().x(), isMaximized());
}
