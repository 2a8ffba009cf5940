#include "keepawake.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QFileInfo>

// The desktop's screen saver, asked over the session bus to hold off
// (org.freedesktop.ScreenSaver, which desktops serve for video players).
namespace {
const char *const service = "org.freedesktop.ScreenSaver";
const char *const path = "/org/freedesktop/ScreenSaver";
const char *const interface = "org.freedesktop.ScreenSaver";
const char *const applicationName = "Vontra Meters";
const char *const reason = "Studio display: meters and clock on air";
// The release at exit waits no longer for a bus that does not answer.
constexpr int releaseTimeoutMs = 500;

// Where the bus library would find the session bus. Without one of the two
// it would try to start a bus of its own.
bool sessionBusKnown()
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
           (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + "/bus"));
}
} // namespace

KeepAwake::KeepAwake(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!sessionBusKnown() || !bus.isConnected()) {
        qInfo("The screen may sleep: no session bus to ask the screen saver");
        return;
    }
    QDBusMessage inhibit = QDBusMessage::createMethodCall(service, path, interface, "Inhibit");
    inhibit << QString::fromLatin1(applicationName) << QString::fromLatin1(reason);
    // Not waited for: the window comes up whatever the bus does.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                const QDBusPendingReply<uint> reply = *call;
                call->deleteLater();
                if (reply.isError()) {
                    qInfo().noquote() << "The screen may sleep: asking the screen saver failed:"
                                      << reply.error().message();
                    return;
                }
                const uint cookie = reply.value();
                release = [cookie] {
                    QDBusMessage unInhibit =
                        QDBusMessage::createMethodCall(service, path, interface, "UnInhibit");
                    unInhibit << cookie;
                    QDBusConnection::sessionBus().call(unInhibit, QDBus::Block, releaseTimeoutMs);
                };
            });
}

KeepAwake::~KeepAwake()
{
    if (release)
        release();
}
