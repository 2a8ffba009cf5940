// Signal lamps, the silence alarm, the silence marker and the microphone timer.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "mylabel.h"

#include <QTime>

namespace {

// Which Program meters show the silence marker, by the console's channel word.
enum SilenceChannels { SilenceLeft = 0, SilenceRight = 1, SilenceBoth = 2 };

constexpr qint64 msPerSecond = 1000;
constexpr qint64 msPerMinute = 60 * msPerSecond;
constexpr qint64 msPerHour = 60 * msPerMinute;

} // namespace

QString MainWindow::micTimeText(qint64 ms)
{
    const QTime shown(int((ms / msPerHour) % 24), int((ms / msPerMinute) % 60),
                      int((ms / msPerSecond) % 60));
    return shown.toString(QStringLiteral("hh:mm:ss"));
}

void MainWindow::setLamp(QWidget *lamp, const char *fileWord, bool active)
{
    showPicture(lamp,
                QStringLiteral("image: url(:/resources/png/VontraMeterIcons2/signals/%1-%2.png);")
                    .arg(QLatin1String(fileWord), QLatin1String(active ? "active" : "inactive")));
}

void MainWindow::showPicture(QWidget *widget, const QString &styleSheet)
{
    // Setting an unchanged style sheet makes Qt re-polish the widget and
    // decode its picture again, for the same pixels on screen.
    if (widget->styleSheet() != styleSheet)
        widget->setStyleSheet(styleSheet);
}

void MainWindow::onRedrawSignals()
{
    redrawSignalsPending = false; // a lamp event from now on needs a call of its own
    // A microphone event's redraw may have merged into one queued ahead of
    // its timer restart: restart first, so that the lamp never shows a
    // microphone on with the time of the last one.
    if (micTimerPending)
        onHandleMicTimer();
    setLamp(ui->label_onair1, "onair1", onAir1 == 1);
    setLamp(ui->label_onair2, "onair2", onAir2 == 1);
    setLamp(nonStopButton, "nonstop", nonStop == 1);
    if (silenceDetected == 1) {
        setLamp(ui->label_silence, "silence", true);
        silenceAlarmTimer->start(blinkInterval);
    } else {
        silenceAlarmTimer->stop();
        setLamp(ui->label_silence, "silence", false);
    }
    setLamp(ui->label_micon, "micon", micOn == 1);
    setLamp(ui->label_crmmute, "crmmute", crmMute == 1);
    setLamp(ui->label_telring, "phone", phoneRinging == 1);
}

void MainWindow::onSilenceAlarm()
{
    setLamp(nonStopButton, "nonstop", silenceAlarmPhase);
    silenceAlarmPhase = !silenceAlarmPhase;
}

void MainWindow::onNonStopClicked()
{
    // The console reports the new state; the lamp follows that report.
    vontra_remote_non_stop(linkHandle, remoteToggle);
}

void MainWindow::onConfigSilenceDetection()
{
    silenceConfigPending = false;
    // Only the low byte carries the threshold, as a signed dB value.
    const double level = double(qint8(quint8(silenceThreshold & 0xff)));
    ui->ProgLeft->setSilenceLevel(level);
    ui->ProgRight->setSilenceLevel(level);
    if (silenceEnabled == 1) {
        switch (silenceChannels) {
        case SilenceLeft:
            ui->ProgLeft->setSilenceMarker(true);
            ui->ProgRight->setSilenceMarker(false);
            break;
        case SilenceRight:
            ui->ProgLeft->setSilenceMarker(false);
            ui->ProgRight->setSilenceMarker(true);
            break;
        case SilenceBoth:
            ui->ProgLeft->setSilenceMarker(true);
            ui->ProgRight->setSilenceMarker(true);
            break;
        default:
            break; // unknown channel choice: markers stay as they are
        }
    } else {
        ui->ProgLeft->setSilenceMarker(false);
        ui->ProgRight->setSilenceMarker(false);
    }
    ui->ProgLeft->update();
    ui->ProgRight->update();
}

void MainWindow::onHandleMicTimer()
{
    micTimerPending = false;
    if (micOn == 1)
        micElapsed->restart();
}

void MainWindow::onShowMicTimer()
{
    ui->label_mictime->setVisible(micOn == 1);
    // 64 bits: a 32-bit count would turn negative after 24.8 days on air.
    ui->label_mictime->setText(micTimeText(micElapsed->elapsed()));
}
