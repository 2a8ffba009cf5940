// Console events into the console state, and the meter drive.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QLabel>

#include <cmath>
#include <cstring>

namespace {

enum EventId : qint32 {
    STATE_MODULE_COLOURS = 73,
    STATE_SILENCE_DETECTION = 75,
    STATE_MODULE_ON = 96,
    STATE_MODULE_ALT = 98,
    STATE_SOURCE_TYPES = 100,
    STATE_NON_STOP = 101,
    STATE_MIC_ON = 102,
    STATE_ON_AIR = 104,
    STATE_SILENCE = 105,
    STATE_CRM_MUTE = 107,
    STATE_VT = 111,
    STATE_PHONE_RINGING = 112,
    STATE_METERS = 128,
};

// Meter event floats shown by ProgLeft, ProgRight, CrmLeft, CrmRight.
constexpr int meterFloatIndex[4] = {0, 1, 4, 5};

// Source type shown for a non-zero word; a zero word is a line input.
const char *sourceTypeName(int word)
{
    if (word < 3)
        return "MIC";
    if (word < 7)
        return "USB";
    return "VOIP";
}

// The payload may be unaligned; read it a word at a time.
qint32 wordAt(const void *payload, int index)
{
    qint32 value;
    std::memcpy(&value, static_cast<const char *>(payload) + sizeof(qint32) * index, sizeof value);
    return value;
}

float floatAt(const void *payload, int index)
{
    float value;
    std::memcpy(&value, static_cast<const char *>(payload) + sizeof(float) * index, sizeof value);
    return value;
}

} // namespace

void MainWindow::consoleEvent(const vontra_event *event)
{
    const void *p = event->payload;
    switch (event->id) {
    case STATE_MODULE_COLOURS:
        for (int i = 0; i < moduleCount; ++i)
            for (int k = 0; k < 3; ++k)
                moduleColours[i][k] = wordAt(p, 3 * i + k);
        emit doRedrawModules();
        break;
    case STATE_SILENCE_DETECTION:
        silenceThreshold = wordAt(p, 0);
        silenceParam = wordAt(p, 1);
        silenceChannels = wordAt(p, 2);
        silenceEnabled = wordAt(p, 3);
        emit doConfigSilenceDetection();
        break;
    case STATE_MODULE_ON:
        for (int i = 0; i < moduleCount; ++i)
            moduleOn[i] = wordAt(p, i);
        emit doRedrawModules();
        break;
    case STATE_MODULE_ALT:
        for (int i = 0; i < moduleCount; ++i)
            moduleAlt[i] = wordAt(p, i);
        emit doRedrawModules();
        break;
    case STATE_SOURCE_TYPES: {
        QLabel *const labels[moduleCount] = {ui->label_src_1, ui->label_src_2, ui->label_src_3,
                                             ui->label_src_4, ui->label_src_5, ui->label_src_6,
                                             ui->label_src_7, ui->label_src_8};
        for (int i = 0; i < moduleCount; ++i) {
            const QString text = QLatin1String(wordAt(p, i) != 0 ? sourceTypeName(i) : "LINE");
            // Widgets belong to the GUI thread: direct there, queued from elsewhere.
            QMetaObject::invokeMethod(labels[i], "setText", Qt::AutoConnection,
                                      Q_ARG(QString, text));
        }
        break;
    }
    case STATE_NON_STOP:
        nonStop = wordAt(p, 0);
        emit doRedrawSignals();
        break;
    case STATE_MIC_ON:
        micOn = wordAt(p, 0);
        emit doHandleMicTimer();
        emit doRedrawSignals();
        break;
    case STATE_ON_AIR:
        onAir1 = wordAt(p, 0);
        onAir2 = wordAt(p, 1);
        emit doRedrawSignals();
        break;
    case STATE_SILENCE:
        silenceDetected = wordAt(p, 0);
        emit doRedrawSignals();
        break;
    case STATE_CRM_MUTE:
        crmMute = wordAt(p, 0);
        emit doRedrawSignals();
        break;
    case STATE_VT:
        for (int i = 0; i < moduleCount; ++i)
            voiceTrack[i] = wordAt(p, i);
        qDebug() << "STATE_VT"
                 << "Ch.1: " << voiceTrack[0].load() << "Ch.2: " << voiceTrack[1].load()
                 << "Ch.3: " << voiceTrack[2].load() << "Ch.8: " << voiceTrack[7].load();
        break;
    case STATE_PHONE_RINGING: {
        const qint32 state = wordAt(p, 0);
        qDebug() << "STATE_PHONE_RINGING"
                 << "state: " << state;
        phoneRinging = state;
        emit doRedrawSignals();
        break;
    }
    case STATE_METERS:
        // One pending watchdog call restarts the watchdog for every meter
        // event before it runs; more would only pile up behind a busy GUI.
        if (!keepAlivePending.exchange(true))
            emit doKeepAliveTimer();
        for (int m = 0; m < 4; ++m)
            meterTargets[m] = double(floatAt(p, meterFloatIndex[m]));
        break;
    default:
        break; // not ours to show
    }
}

void MainWindow::meterRelease()
{
    const auto all = meters();
    for (int m = 0; m < 4; ++m)
        releaseMeter(all[m], meterTargets[m]);
}

void MainWindow::releaseMeter(TVKPPMMeter *meter, double target)
{
    // A console sending a level that is not a number must not freeze the
    // bar at NaN for good; such a level counts as silence.
    if (std::isnan(target))
        target = meterFloor;
    const double level = meter->dBPosition();
    if (!(level > meterFloor) && !(target > meterFloor))
        return; // idle at the floor: no write, no repaint
    float change = float(target - level);
    const float maxFall = float(meterReleaseStep);
    if (change < -maxFall)
        change = -maxFall;
    if (change == 0.0f)
        return;
    meter->setLevelWithoutRepaint(level + double(change));
    if (meter->calculatePosition())
        meter->update();
}
