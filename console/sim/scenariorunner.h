// Plays a scenario's steps at their times, measured from start().
#pragma once

#include "scenario.h"

#include <QElapsedTimer>
#include <QObject>

class ConsoleServer;
class MeterFeed;
class QTimer;

class ScenarioRunner : public QObject
{
    Q_OBJECT

public:
    ScenarioRunner(ConsoleServer *server, MeterFeed *feed, const QVector<ScenarioStep> &steps,
                   QObject *parent = nullptr);

    void start();

signals:
    void quitRequested();

private slots:
    void runDueSteps();

private:
    void run(const ScenarioStep &step);

    ConsoleServer *server;
    MeterFeed *feed;
    QTimer *timer;
    QElapsedTimer clock;
    QVector<ScenarioStep> steps;
    int next = 0;
};
