// Settings store and window placement: read once at start, written at exit
// and, for the link settings, when the settings dialog is accepted.
#include "mainwindow.h"

#include "screenplacement.h"

#include <QDebug>
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

quint16 receivePortIn(const QSettings &settings)
{
    return settings.contains(keyUdpRecv) ? portFrom(settings.value(keyUdpRecv))
                                         : MainWindow::defaultUdpRecvPort;
}

void writeLinkSettings(QSettings &settings, quint16 sendPort, quint16 recvPort, bool useDefaults,
                       const QString &remoteHost)
{
    // Widened as unsigned so that ports above 32767 are never written negative.
    settings.setValue(keyUdpSend, static_cast<int>(sendPort));
    settings.setValue(keyUdpRecv, static_cast<int>(recvPort));
    settings.setValue(keyUseDefaultPorts, useDefaults);
    settings.setValue(keyRemoteHost, remoteHost);
}

// Commits the writes; false, with a diagnostic line, when they did not reach
// the store (full, read-only). The store then stays as it was. A store that
// was garbled when read counts as written: its garbage is replaced.
bool committed(QSettings &settings, const char *what)
{
    settings.sync();
    if (settings.status() != QSettings::AccessError)
        return true;
    qWarning().noquote() << what << "not saved:" << settings.fileName() << "cannot be written";
    return false;
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
    udp_recv_port = receivePortIn(settings);
    // The flag only presets the dialog's box; it never overrides the ports here.
    use_defaults =
        settings.contains(keyUseDefaultPorts) ? settings.value(keyUseDefaultPorts).toBool() : true;
    remote_host =
        settings.contains(keyRemoteHost) ? settings.value(keyRemoteHost).toString() : QString();
}

quint16 MainWindow::storedReceivePort()
{
    setApplicationIdentity();
    return receivePortIn(QSettings());
}

void MainWindow::saveSettings()
{
    QSettings settings;
    settings.setValue(keyCurrentScreen, currentScreen());
    settings.setValue(keyGeometry, saveGeometry());
    writeLinkSettings(settings, udp_send_port, udp_recv_port, use_defaults, remote_host);
    committed(settings, "Settings");
}

bool MainWindow::saveLinkSettings()
{
    QSettings settings;
    writeLinkSettings(settings, udp_send_port, udp_recv_port, use_defaults, remote_host);
    return committed(settings, "Link settings");
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
