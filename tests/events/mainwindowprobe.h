#pragma once

// White-box access to the main window for the event, module and lamp tests,
// plus the small helpers both test programs share: sending console events,
// reading the console state and playing the console on loopback UDP.

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QString>
#include <QTimer>
#include <QUdpSocket>
#include <QVector>

#include <cstring>

#include "mainwindow.h"
#include "mylabel.h"
#include "tvkppmmeter.h"
#include "ui_mainwindow.h"
#include "vontra_wire.h"

class MainWindowProbe
{
public:
    explicit MainWindowProbe(MainWindow &window) : w(window) {}

    Ui::MainWindow *ui() const { return w.ui; }
    static QString micTimeText(qint64 ms) { return MainWindow::micTimeText(ms); }
    myLabel *moduleButton(int index) const { return w.moduleButtons[size_t(index)]; }
    myLabel *nonStopButton() const { return w.nonStopButton; }
    TVKPPMMeter *meter(int index) const { return w.meters()[size_t(index)]; }

    QTimer *meterReleaseTimer() const { return w.meterReleaseTimer; }
    QTimer *silenceAlarmTimer() const { return w.silenceAlarmTimer; }
    QTimer *voicetrackTimer() const { return w.voicetrackTimer; }
    QTimer *micDisplayTimer() const { return w.micDisplayTimer; }
    QTimer *keepAliveTimer() const { return w.keepAliveTimer; }
    qint64 micElapsedMs() const { return w.micElapsed->elapsed(); }
    bool isOnline() const { return w.online; }
    void reopenLink()
    {
        vontra_close(w.linkHandle);
        w.openLink();
    }

    // Keeps the timers that would otherwise change the display behind a
    // test's back from running; tests call the slots themselves.
    void stopBackgroundTimers() const
    {
        w.meterReleaseTimer->stop();
        w.keepAliveTimer->stop();
        w.voicetrackTimer->stop();
        w.micDisplayTimer->stop();
        w.silenceAlarmTimer->stop();
    }

    double target(int index) const { return w.meterTargets[size_t(index)]; }
    void setTarget(int index, double level) const { w.meterTargets[size_t(index)] = level; }
    void setModuleIcon(int index, int code) const { w.setModuleIcon(index, code); }

    // The whole console state, flattened in declaration order: moduleOn (8),
    // moduleAlt (8), moduleColours (24), silenceThreshold, silenceParam,
    // silenceChannels, silenceEnabled, onAir1, onAir2, nonStop,
    // silenceDetected, micOn, crmMute, phoneRinging, voiceTrack (8).
    QVector<qint32> consoleState() const
    {
        QVector<qint32> s;
        for (const auto &v : w.moduleOn)
            s << v;
        for (const auto &v : w.moduleAlt)
            s << v;
        for (const auto &module : w.moduleColours)
            for (const auto &v : module)
                s << v;
        s << w.silenceThreshold << w.silenceParam << w.silenceChannels << w.silenceEnabled
          << w.onAir1 << w.onAir2 << w.nonStop << w.silenceDetected << w.micOn << w.crmMute
          << w.phoneRinging;
        for (const auto &v : w.voiceTrack)
            s << v;
        return s;
    }

    // Offsets into consoleState().
    enum Offset {
        ModuleOn = 0,
        ModuleAlt = 8,
        ModuleColours = 16,
        SilenceThreshold = 40,
        SilenceParam,
        SilenceChannels,
        SilenceEnabled,
        OnAir1,
        OnAir2,
        NonStop,
        SilenceDetected,
        MicOn,
        CrmMute,
        PhoneRinging,
        VoiceTrack,
        StateSize = VoiceTrack + 8
    };

private:
    MainWindow &w;
};

namespace eventtest {

// Hands one event to the decoder the way the library callback does.
inline void sendEvent(MainWindow &window, qint32 id, const QVector<qint32> &words)
{
    vontra_event event{};
    event.id = id;
    event.reserved = quint32(words.size());
    event.payload = words.isEmpty() ? nullptr : words.constData();
    window.consoleEvent(&event);
}

inline qint32 floatBits(float value)
{
    qint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Meter payload: floats 0, 1, 4 and 5 are the four displayed levels.
inline QVector<qint32> meterWords(float progLeft, float progRight, float crmLeft, float crmRight)
{
    return {floatBits(progLeft), floatBits(progRight), floatBits(99.0f),
            floatBits(-99.0f),   floatBits(crmLeft),   floatBits(crmRight)};
}

inline QString moduleStyle(int index, const char *colour)
{
    return QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/sunken/%1-%2.png);")
        .arg(index + 1)
        .arg(QLatin1String(colour));
}

inline QString lampStyle(const char *fileWord, bool active)
{
    return QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/signals/%1-%2.png);")
        .arg(QLatin1String(fileWord), QLatin1String(active ? "active" : "inactive"));
}

// Reads the next datagram of the given kind that the display sends to the
// console socket, skipping others (the request batch); false on timeout.
inline bool nextCommand(QUdpSocket &console, vontra::wire::Kind kind,
                        vontra::wire::Message &message, int timeoutMs = 3000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (console.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = console.receiveDatagram();
            const QByteArray data = datagram.data();
            vontra::wire::Message decoded;
            if (vontra::wire::decode(reinterpret_cast<const uint8_t *>(data.constData()),
                                     size_t(data.size()),
                                     decoded) == vontra::wire::DecodeError::None &&
                decoded.kind == kind) {
                message = decoded;
                return true;
            }
        }
        console.waitForReadyRead(50);
    }
    return false;
}

} // namespace eventtest
