// Console events into the console state, and the meter drive.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QLabel>
#include <QThread>

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

void MainWindow::emitOnce(std::atomic<bool> &pending, void (MainWindow::*signal)())
{
    // On the GUI thread the slot runs at once, as it always did. From the
    // library's thread the call waits in the GUI thread's queue; a second one
    // of the same kind behind it would only redraw the same state again, and
    // under a flood such calls piled up without limit.
    if (QThread::currentThread() == thread() || !pending.exchange(true))
        emit(this->*signal)();
}

void MainWindow::showSourceTypes()
{
    sourceTypesPending = false; // an id 100 from now on needs a call of its own
    QLabel *const labels[moduleCount] = {ui->label_src_1, ui->label_src_2, ui->label_src_3,
                                         ui->label_src_4, ui->label_src_5, ui->label_src_6,
                                         ui->label_src_7, ui->label_src_8};
    for (int i = 0; i < moduleCount; ++i)
        labels[i]->setText(QLatin1String(sourceTypes[i] != 0 ? sourceTypeName(i) : "LINE"));
}

void MainWindow::consoleEvent(const vontra_event *event)
{
    const void *p = event->payload;
    switch (event->id) {
    case STATE_MODULE_COLOURS:
        for (int i = 0; i < moduleCount; ++i)
            for (int k = 0; k < 3; ++k)
                moduleColours[i][k] = wordAt(p, 3 * i + k);
        emitOnce(redrawModulesPending, &MainWindow::doRedrawModules);
        break;
    case STATE_SILENCE_DETECTION:
        silenceThreshold = wordAt(p, 0);
        silenceParam = wordAt(p, 1);
        silenceChannels = wordAt(p, 2);
        silenceEnabled = wordAt(p, 3);
        emitOnce(silenceConfigPending, &MainWindow::doConfigSilenceDetection);
        break;
    case STATE_MODULE_ON:
        for (int i = 0; i < moduleCount; ++i)
            moduleOn[i] = wordAt(p, i);
        emitOnce(redrawModulesPending, &MainWindow::doRedrawModules);
        break;
    case STATE_MODULE_ALT:
        for (int i = 0; i < moduleCount; ++i)
            moduleAlt[i] = wordAt(p, i);
        emitOnce(redrawModulesPending, &MainWindow::doRedrawModules);
        break;
    case STATE_SOURCE_TYPES:
        for (int i = 0; i < moduleCount; ++i)
            sourceTypes[i] = wordAt(p, i);
        // Widgets belong to the GUI thread: set at once there, queued from
        // elsewhere, where one waiting call sets all eight texts.
        if (QThread::currentThread() == thread())
            showSourceTypes();
        else if (!sourceTypesPending.exchange(true))
            QMetaObject::invokeMethod(
                this, [this] { showSourceTypes(); }, Qt::QueuedConnection);
        break;
    case STATE_NON_STOP:
        nonStop = wordAt(p, 0);
        emitOnce(redrawSignalsPending, &MainWindow::doRedrawSignals);
        break;
    case STATE_MIC_ON:
        micOn = wordAt(p, 0);
        emitOnce(micTimerPending, &MainWindow::doHandleMicTimer);
        emitOnce(redrawSignalsPending, &MainWindow::doRedrawSignals);
        break;
    case STATE_ON_AIR:
        onAir1 = wordAt(p, 0);
        onAir2 = wordAt(p, 1);
        emitOnce(redrawSignalsPending, &MainWindow::doRedrawSignals);
        break;
    case STATE_SILENCE:
        silenceDetected = wordAt(p, 0);
        emitOnce(redrawSignalsPending, &MainWindow::doRedrawSignals);
        break;
    case STATE_CRM_MUTE:
        crmMute = wordAt(p, 0);
        emitOnce(redrawSignalsPending, &MainWindow::doRedrawSignals);
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
        emitOnce(redrawSignalsPending, &MainWindow::doRedrawSignals);
        break;
    }
    case STATE_METERS:
        // One pending watchdog call restarts the watchdog for every meter
        // event before it runs; more would only pile up behind a busy GUI.
        emitOnce(keepAlivePending, &MainWindow::doKeepAliveTimer);
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

void MainWindow::pollClocks()
{
    if (++ticksSinceClockPoll * meterReleaseInterval < ClockPoll::intervalMs)
        return;
    ticksSinceClockPoll = 0;
    ui->AnalogClock->checkTime();
    ui->DigitalClock->checkTime();
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
        meter->updateChangedRows();
}
