// A plausible studio around the console: the phone rings now and then, a
// presenter opens the microphone and goes on air, modules are switched,
// voice tracks come and go, and the programme has quiet stretches.
#pragma once

#include <QObject>
#include <QRandomGenerator>

class ConsoleServer;
class MeterFeed;
class QTimer;

class ConsoleLife : public QObject
{
    Q_OBJECT

public:
    ConsoleLife(ConsoleServer *server, MeterFeed *feed, quint32 seed, QObject *parent = nullptr);

    // Sets a plausible starting state (unreported: nobody has asked yet) and
    // starts the studio's course.
    void start();

private slots:
    void tick();

private:
    double after(double minSeconds, double maxSeconds);
    void togglePhone();
    void toggleMicrophone();
    void switchModule();
    void toggleVoiceTrack();

    ConsoleServer *server;
    MeterFeed *feed;
    QTimer *timer;
    QRandomGenerator rng;
    double phoneAt = 0.0;
    double micAt = 0.0;
    double moduleAt = 0.0;
    double voiceTrackAt = 0.0;
};
