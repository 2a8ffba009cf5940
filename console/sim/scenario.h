// A scenario file: timed steps that drive the console, one per line,
//   at <seconds> set <field> [index ...] <value>
//   at <seconds> send <event id>
//   at <seconds> meters stop|start
//   at <seconds> silence [on|off]
//   at <seconds> quit
// with '#' starting a comment. docs/simulator.md describes the steps.
#pragma once

#include <QString>
#include <QVector>

class QIODevice;

struct ScenarioStep
{
    enum class Action { Set, Send, MetersStop, MetersStart, SilenceOn, SilenceOff, Quit };

    double at = 0.0; // seconds after start
    Action action = Action::Quit;
    int id = 0;    // Set: the field's event; Send: the event to send
    int index = 0; // Set: payload word
    qint32 value = 0;
    int line = 0;
};

class Scenario
{
public:
    // Parses the whole text; on the first bad line returns false with
    // "<file>:<line>: <problem>" in error. Steps come out ordered by time,
    // steps of the same time in file order.
    static bool parse(QIODevice *input, const QString &fileName, QVector<ScenarioStep> *steps,
                      QString *error);
    static bool load(const QString &fileName, QVector<ScenarioStep> *steps, QString *error);

    // Parses one line; an empty or comment line gives no step.
    static bool parseLine(const QString &line, bool *hasStep, ScenarioStep *step, QString *problem);
};
