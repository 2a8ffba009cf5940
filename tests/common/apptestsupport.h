#pragma once

// Shared set-up for tests that construct the real main window: a private
// settings store and link ports of the test's own, so that tests running in
// parallel neither touch the user's settings nor fight over UDP ports.

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

namespace apptest {

// Ports unlikely to clash between test processes running at the same time.
inline quint16 basePort()
{
    return quint16(30000 + (QCoreApplication::applicationPid() % 1000) * 20);
}

// Points the settings store at a fresh temporary folder and, unless told
// otherwise, stores link ports of this process's own with a loopback console.
class IsolatedSettings
{
public:
    explicit IsolatedSettings(bool writePorts = true)
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setDefaultFormat(QSettings::NativeFormat);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        QCoreApplication::setOrganizationName("Orvendel");
        QCoreApplication::setApplicationName("Vontra Meters");
        // Empty already, except where the native store ignores the folder
        // (the registry on Windows): what earlier tests left must not count.
        QSettings().clear();
        if (writePorts) {
            QSettings store;
            store.setValue("udp_send", int(sendPort()));
            store.setValue("udp_recv", int(recvPort()));
            store.setValue("remote_host", "127.0.0.1");
        }
    }
    quint16 sendPort() const { return basePort(); }
    quint16 recvPort() const { return quint16(basePort() + 1); }
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
};

} // namespace apptest
