#include "csettingsdialog.h"
#include "ui_csettingsdialog.h"

#include "formscale.h"
#include "linkdefaults.h"
#include "portfieldguard.h"
#include "vontra.h"

#include <QDebug>
#include <QHostAddress>
#include <QIntValidator>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <utility>

namespace {

constexpr int lowestPort = 1;
constexpr int highestPort = 65535;

// Plain decimal digits only: a locale that accepted group separators would
// let "1,000" through the validator although it does not convert to a port.
QIntValidator *portValidator(QObject *parent)
{
    auto *validator = new QIntValidator(lowestPort, highestPort, parent);
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::RejectGroupSeparator);
    validator->setLocale(plain);
    return validator;
}

QString portText(qint16 port)
{
    return QString::number(static_cast<quint16>(port));
}

// Base 10, non-numbers give 0; the low 16 bits are the port.
qint16 portFromText(const QString &text)
{
    return static_cast<qint16>(static_cast<quint16>(text.toInt(nullptr, 10)));
}

// Lookups started and not yet answered, on the GUI thread.
QSet<int> &unansweredLookups()
{
    static QSet<int> ids;
    return ids;
}

// The address to keep for the console: its first IPv4 address when the name
// has one, else its first address, as the link itself picks from a name. A
// name with both kinds often lists IPv6 first, and that address, stored,
// keeps an IPv4-only console offline in this and every later run.
QHostAddress consoleAddress(const QList<QHostAddress> &addresses)
{
    const auto ipv4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress &a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    return ipv4 != addresses.end() ? *ipv4 : addresses.first();
}

} // namespace

CSettingsDialog::CSettingsDialog(qint16 udp_send_port, qint16 udp_recv_port, bool use_defaults,
                                 const QString &remote_host, QWidget *parent)
    : QDialog(parent), ui(new Ui::CSettingsDialog)
{
    ui->setupUi(this);
    scaleFormToDpi(this);

    ui->UdpSendPortEdit->setValidator(portValidator(this));
    ui->UdpRecvPortEdit->setValidator(portValidator(this));
    sendPortGuard = new PortFieldGuard(ui->UdpSendPortEdit);
    recvPortGuard = new PortFieldGuard(ui->UdpRecvPortEdit);

    ui->UdpSendPortEdit->setText(portText(udp_send_port));
    ui->UdpRecvPortEdit->setText(portText(udp_recv_port));
    // Checking the box runs the toggled slot, which puts in the defaults.
    ui->checkBox_use_defaults->setChecked(use_defaults);
    ui->UdpHostEdit->setText(remote_host);

    const char *version = vontra_library_version(0);
    ui->label_libversion->setText(version ? QString::fromLatin1(version) : QString());
}

CSettingsDialog::~CSettingsDialog()
{
    abandonLookup();
    delete ui;
}

void CSettingsDialog::done(int result)
{
    abandonLookup();
    QDialog::done(result);
}

void CSettingsDialog::on_checkBox_use_defaults_toggled(bool checked)
{
    if (checked) {
        ui->UdpSendPortEdit->setText(QString::number(LinkDefaults::defaultUdpSendPort));
        ui->UdpRecvPortEdit->setText(QString::number(LinkDefaults::defaultUdpRecvPort));
        ui->UdpSendPortEdit->setEnabled(false);
        ui->UdpRecvPortEdit->setEnabled(false);
    } else {
        // The ports shown before the box was checked are not brought back.
        ui->UdpSendPortEdit->setEnabled(true);
        ui->UdpRecvPortEdit->setEnabled(true);
    }
}

void CSettingsDialog::on_buttonBox_accepted()
{
    // The latest press is the one that counts, refused or not.
    abandonLookup();
    if (!portsAcceptable())
        return;
    pendingLookupId =
        QHostInfo::lookupHost(ui->UdpHostEdit->text(), this, SLOT(lookedUp(QHostInfo)));
    unansweredLookups().insert(pendingLookupId);
}

void CSettingsDialog::on_buttonBox_rejected()
{
    reject();
}

bool CSettingsDialog::lookupsOutstanding()
{
    return !unansweredLookups().isEmpty();
}

void CSettingsDialog::lookedUp(QHostInfo info)
{
    unansweredLookups().remove(info.lookupId());
    // Results of superseded lookups, or arriving after the dialog ended, are
    // dropped.
    if (pendingLookupId == noLookup || info.lookupId() != pendingLookupId)
        return;
    pendingLookupId = noLookup;

    if (info.error() != QHostInfo::NoError) {
        qDebug() << "Lookup failed:" << info.errorString();
        return;
    }
    const QList<QHostAddress> addresses = info.addresses();
    if (addresses.isEmpty()) {
        qDebug() << "Lookup failed:" << QStringLiteral("No address found");
        return;
    }

    // The fields stay editable during the lookup; refuse ports broken meanwhile.
    if (!portsAcceptable())
        return;

    const QString address = consoleAddress(addresses).toString();
    const bool useDefaults = ui->checkBox_use_defaults->isChecked();
    const qint16 recvPort = portFromText(ui->UdpRecvPortEdit->text());
    const qint16 sendPort = portFromText(ui->UdpSendPortEdit->text());

    emit setUdpPorts(sendPort, recvPort, useDefaults, address);
    accept();
}

// Marks every unusable port field and focuses the first, top to bottom.
bool CSettingsDialog::portsAcceptable()
{
    QLineEdit *firstRefused = nullptr;
    const std::pair<PortFieldGuard *, QLineEdit *> fields[] = {
        {sendPortGuard, ui->UdpSendPortEdit}, {recvPortGuard, ui->UdpRecvPortEdit}};
    for (const auto &field : fields) {
        if (field.first->isAcceptable())
            continue;
        field.first->mark();
        if (!firstRefused)
            firstRefused = field.second;
    }
    if (firstRefused)
        firstRefused->setFocus();
    return !firstRefused;
}

void CSettingsDialog::abandonLookup()
{
    if (pendingLookupId == noLookup)
        return;
    QHostInfo::abortHostLookup(pendingLookupId);
    pendingLookupId = noLookup;
}
