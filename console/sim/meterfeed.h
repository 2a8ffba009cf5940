// Sends meter events at a steady rate. Each frame is due at start + n/rate on
// a monotonic clock, so the rate holds over any stretch however late single
// timer shots come.
#pragma once

#include "programmegenerator.h"
#include "silencedetector.h"

#include <QElapsedTimer>
#include <QObject>

class ConsoleServer;
class QTimer;

class MeterFeed : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultRate = 50;
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 1000;

    MeterFeed(ConsoleServer *server, quint32 seed, QObject *parent = nullptr);

    void setRate(int perSecond);
    int rate() const { return perSecond; }
    ProgrammeGenerator &programme() { return generator; }
    bool isRunning() const;

public slots:
    void start();
    void stop();
    // One extra frame now, outside the schedule.
    void sendNow();
    // Forced quiet programme, as when a presenter forgets to open a fader.
    void setSilenced(bool on);

private slots:
    void sendDueFrames();

private:
    void sendFrame();
    ProgrammeGenerator::Levels nextLevels();
    void scheduleNext();

    ConsoleServer *server;
    QTimer *timer;
    QElapsedTimer clock;
    ProgrammeGenerator generator;
    SilenceDetector detector;
    int perSecond = kDefaultRate;
    quint64 frame = 0;          // frames sent since start
    qint64 startNs = 0;         // clock time of frame 0
    double programmeTime = 0.0; // programme time of frame 0
};
