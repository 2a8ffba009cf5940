// The console link: opening it, the request batch, the watchdog that decides
// between online and offline, and reopening after the settings dialog.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "csettingsdialog.h"
#include "mylabel.h"
#include "singledisplay.h"

#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QSettings>

namespace {

// Library callback; user is the MainWindow that registered it.
void linkCallback(const vontra_event *event, void *user)
{
    static_cast<MainWindow *>(user)->consoleEvent(event);
}

// Everything the display shows, in the order the console is asked for it.
constexpr int requestBatch[] = {
    100, // STATE_SOURCE_TYPES
    96,  // STATE_MODULE_ON
    98,  // STATE_MODULE_ALT
    73,  // STATE_MODULE_COLOURS
    75,  // STATE_SILENCE_DETECTION
    111, // STATE_VT
    104, // STATE_ON_AIR
    101, // STATE_NON_STOP
    105, // STATE_SILENCE
    102, // STATE_MIC_ON
    107, // STATE_CRM_MUTE
};

} // namespace

void MainWindow::openLink()
{
    // The port is this display's, whether or not the open succeeds: a second
    // start for it comes to this window.
    if (!singleDisplay)
        singleDisplay = new SingleDisplay(this);
    singleDisplay->serve(udp_recv_port);
    const QByteArray host = remote_host.toUtf8(); // NUL-terminated for the call
    linkHandle = vontra_open(host.constData(), int(udp_recv_port), int(udp_send_port));
    if (linkHandle == 0)
        return;
    vontra_logging(linkHandle, 1);
    vontra_register_callback(linkHandle, linkCallback, this);
    keepAliveTimer->start(keepAliveInterval);
    sendRequests();
}

void MainWindow::sendRequests()
{
    micDisplayTimer->start(micDisplayInterval);
    micElapsed->start();
    for (int id : requestBatch)
        vontra_request(linkHandle, id);
}

void MainWindow::onKeepAliveTimer()
{
    // Cleared first: a meter event from now on needs a call of its own.
    keepAlivePending = false;
    // An expired watchdog means the console was away: refresh everything.
    if (!keepAliveTimer->isActive())
        sendRequests();
    keepAliveTimer->start(keepAliveInterval);
    if (!online) {
        online = true;
        voicetrackTimer->start(blinkInterval);
        setOnline();
    }
}

void MainWindow::onKeepAliveTimeout()
{
    online = false;
    setOnline();
    micDisplayTimer->stop();
    silenceAlarmTimer->stop();
    voicetrackTimer->stop();
    resetModules();
    for (auto &target : meterTargets)
        target = meterFloor;
    ui->label_mictime->hide();
    // The phone lamp keeps its picture: a ringing phone is still worth seeing.
    setLamp(ui->label_onair1, "onair1", false);
    setLamp(ui->label_onair2, "onair2", false);
    setLamp(nonStopButton, "nonstop", false);
    setLamp(ui->label_silence, "silence", false);
    setLamp(ui->label_micon, "micon", false);
    setLamp(ui->label_crmmute, "crmmute", false);
}

void MainWindow::setOnline()
{
    // Decoded straight into the pixmap, as at construction: the picture let go
    // of below does not linger in Qt's pixmap cache.
    QPixmap *next = new QPixmap(
        QPixmap::fromImage(QImage(online ? onlineBackgroundPath : offlineBackgroundPath)));
    if (!online)
        micOn = 0;
    delete background;
    background = next;
    // Shown by the next paint, which rescales for the new picture.
    rescalePending = true;
}

void MainWindow::onlineStatusChanged()
{
    setOnline();
}

void MainWindow::openSettings()
{
    auto *dialog = new CSettingsDialog(qint16(udp_send_port), qint16(udp_recv_port), use_defaults,
                                       remote_host, this);
    connect(dialog, SIGNAL(setUdpPorts(qint16, qint16, bool, QString)), this,
            SLOT(onSetUdpPorts(qint16, qint16, bool, QString)));
    const int result = dialog->exec();
    // A finished dialog has nothing more to say; dropping it also drops any
    // host lookup still on its way to it.
    dialog->deleteLater();
    if (result == QDialog::Accepted) {
        vontra_close(linkHandle);
        openLink();
        // Kept at once, so that the operator learns now, not never, when the
        // store cannot keep them.
        if (!saveLinkSettings())
            warnSettingsNotKept();
    }
}

void MainWindow::warnSettingsNotKept()
{
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("Settings"),
        tr("The new settings are in use, but they could not be saved: %1 cannot be written. "
           "The next start uses the old settings unless it can be written by the time the "
           "display is closed.")
            .arg(QDir::toNativeSeparators(QSettings().fileName())),
        QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::onSetUdpPorts(qint16 udp_send_port, qint16 udp_recv_port, bool use_defaults,
                               QString remote_host)
{
    // Ports travel as signed 16 bits; the bits are the unsigned port number.
    this->udp_send_port = quint16(udp_send_port);
    this->udp_recv_port = quint16(udp_recv_port);
    this->use_defaults = use_defaults;
    this->remote_host = remote_host;
}
