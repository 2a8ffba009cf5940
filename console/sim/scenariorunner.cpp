#include "scenariorunner.h"

#include "consoleserver.h"
#include "meterfeed.h"

#include <QTimer>

#include <cmath>

ScenarioRunner::ScenarioRunner(ConsoleServer *server, MeterFeed *feed,
                               const QVector<ScenarioStep> &steps, QObject *parent)
    : QObject(parent), server(server), feed(feed), timer(new QTimer(this)), steps(steps)
{
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, SIGNAL(timeout()), this, SLOT(runDueSteps()));
}

void ScenarioRunner::start()
{
    clock.start();
    next = 0;
    runDueSteps();
}

void ScenarioRunner::runDueSteps()
{
    const double now = double(clock.nsecsElapsed()) / 1e9;
    while (next < steps.size() && steps[next].at <= now) {
        const ScenarioStep step = steps[next++];
        run(step);
        if (step.action == ScenarioStep::Action::Quit)
            return;
    }
    if (next < steps.size()) {
        const double wait = steps[next].at - double(clock.nsecsElapsed()) / 1e9;
        // Rounded up: an early shot would find nothing due.
        timer->start(int(std::max(0.0, std::ceil(wait * 1000.0))));
    }
}

void ScenarioRunner::run(const ScenarioStep &step)
{
    server->log(QStringLiteral("scenario line %1 at %2 s").arg(step.line).arg(step.at), true);
    switch (step.action) {
    case ScenarioStep::Action::Set:
        server->change(step.id, step.index, step.value, true);
        break;
    case ScenarioStep::Action::Send:
        if (step.id == ConsoleState::kIdMeters)
            feed->sendNow();
        else
            server->report(step.id);
        break;
    case ScenarioStep::Action::MetersStop:
        feed->stop();
        break;
    case ScenarioStep::Action::MetersStart:
        feed->start();
        break;
    case ScenarioStep::Action::SilenceOn:
        feed->setSilenced(true);
        break;
    case ScenarioStep::Action::SilenceOff:
        feed->setSilenced(false);
        break;
    case ScenarioStep::Action::Quit:
        emit quitRequested();
        break;
    }
}
