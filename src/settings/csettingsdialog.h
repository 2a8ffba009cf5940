#pragma once

#include <QDialog>
#include <QHostInfo>
#include <QString>

class PortFieldGuard;

namespace Ui {
class CSettingsDialog;
}

// Lets the operator edit the console link's host and UDP ports. OK resolves
// the host first; only a successful lookup hands the values back through
// setUdpPorts and accepts the dialog.
class CSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    CSettingsDialog(qint16 udp_send_port, qint16 udp_recv_port, bool use_defaults,
                    const QString &remote_host, QWidget *parent = nullptr);
    ~CSettingsDialog() override;

    // Ends the dialog; any lookup still running is abandoned so that a late
    // result cannot hand back values after Cancel.
    void done(int result) override;

    // Whether a lookup started by any dialog of this run may still be running
    // (one abandoned is counted until the end of the run).
    static bool lookupsOutstanding();

signals:
    // Ports carry the 16 bits of a port number 0..65535 unchanged.
    void setUdpPorts(qint16 udp_send_port, qint16 udp_recv_port, bool use_defaults,
                     QString remote_host);

private slots:
    void on_checkBox_use_defaults_toggled(bool checked);
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();
    void lookedUp(QHostInfo info);

private:
    static constexpr int noLookup = -1;

    bool portsAcceptable();
    void abandonLookup();

    Ui::CSettingsDialog *ui = nullptr;
    PortFieldGuard *sendPortGuard = nullptr;
    PortFieldGuard *recvPortGuard = nullptr;
    // Only the result of the latest lookup counts; noLookup when none is due.
    int pendingLookupId = noLookup;
};
