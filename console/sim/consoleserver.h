// The console's network side: one UDP socket on the console port that takes
// the display's requests and remote commands and sends the console's events.
#pragma once

#include "consolestate.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>

#include <array>

class QUdpSocket;

class ConsoleServer : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kDefaultDisplayPort = 19548;

    explicit ConsoleServer(QObject *parent = nullptr);

    // Binds the console port; on failure returns false with a reason.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const;

    // A fixed destination for events; without it events go to wherever the
    // display's last message came from.
    void setFixedTarget(const QHostAddress &host, quint16 port);
    QString targetText() const;

    void setVerbose(bool on) { verbose = on; }
    // Loses this share of the datagrams in each direction, as a bad network
    // would: requests and commands that arrive, and events that leave.
    void setLoss(int percent, quint32 seed);
    bool isVerbose() const { return verbose; }

    ConsoleState &state() { return consoleState; }
    const ConsoleState &state() const { return consoleState; }

    // Stores a value and reports it when it changed (or always, if asked).
    void change(int id, int index, qint32 value, bool reportAlways = false);

    void sendMeters(const std::array<float, 6> &levels);

    // One line on stderr; `traffic` lines only with --verbose.
    void log(const QString &line, bool traffic = false) const;
    double seconds() const { return double(clock.nsecsElapsed()) / 1e9; }

public slots:
    // Sends the current value of a state event.
    void report(int id);

signals:
    void moduleToggled(int module);
    void nonStopToggled();

private slots:
    void readDatagrams();

private:
    void handleDatagram(const QByteArray &data, const QHostAddress &from, quint16 fromPort);
    void sendEvent(int id, const QVector<qint32> &words, bool logIt);

    QUdpSocket *socket;
    ConsoleState consoleState;
    QElapsedTimer clock;
    QHostAddress target = QHostAddress(QHostAddress::LocalHost);
    quint16 targetPort = kDefaultDisplayPort;
    bool fixedTarget = false;
    bool verbose = false;
    bool lost();
    int lossPercent = 0;
    QRandomGenerator lossRandom;
    // Meter events are too many to log one by one; one line a second instead.
    quint64 metersSent = 0;
    quint64 metersLogged = 0;
    double meterLogAt = 0.0;
};
