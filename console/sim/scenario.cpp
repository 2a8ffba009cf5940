#include "scenario.h"

#include "consolestate.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

namespace {

// A day is more than any test or demonstration needs, and keeps the times
// within what a timer can wait for.
constexpr double kMaxSeconds = 86400.0;

bool toInt(const QString &text, int *out)
{
    bool ok = false;
    const int value = text.toInt(&ok, 0);
    if (ok)
        *out = value;
    return ok;
}

} // namespace

bool Scenario::parseLine(const QString &line, bool *hasStep, ScenarioStep *step, QString *problem)
{
    *hasStep = false;
    const int hash = line.indexOf(QLatin1Char('#'));
    const QString text = hash >= 0 ? line.left(hash) : line;
    const QStringList words =
        text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;

    if (words[0] != QLatin1String("at") || words.size() < 3) {
        *problem = QStringLiteral("expected \"at <seconds> <step>\"");
        return false;
    }
    bool ok = false;
    step->at = words[1].toDouble(&ok);
    if (!ok || !(step->at >= 0.0) || step->at > kMaxSeconds) {
        *problem =
            QStringLiteral("bad time \"%1\" (seconds from 0 to %2)").arg(words[1]).arg(kMaxSeconds);
        return false;
    }

    const QString action = words[2];
    const QStringList args = words.mid(3);
    if (action == QLatin1String("set")) {
        if (args.isEmpty()) {
            *problem = QStringLiteral("set needs a field and a value");
            return false;
        }
        const ConsoleState::Field *field = ConsoleState::field(args[0]);
        if (!field) {
            *problem = QStringLiteral("unknown field \"%1\" (known: %2)")
                           .arg(args[0], ConsoleState::fieldNames().join(QStringLiteral(", ")));
            return false;
        }
        if (args.size() < 2 || !toInt(args.last(), &step->value)) {
            *problem = QStringLiteral("set %1 needs a whole-number value").arg(args[0]);
            return false;
        }
        QVector<int> indices;
        for (int i = 1; i < args.size() - 1; ++i) {
            int index = 0;
            if (!toInt(args[i], &index)) {
                *problem = QStringLiteral("bad index \"%1\"").arg(args[i]);
                return false;
            }
            indices << index;
        }
        const int word = ConsoleState::wordIndex(*field, indices);
        if (word < 0) {
            const QString shape =
                field->dim1 > 0 ? QStringLiteral("a module 0..%1 and a slot 0..%2")
                                      .arg(field->dim0 - 1)
                                      .arg(field->dim1 - 1)
                : field->dim0 > 0 ? QStringLiteral("an index 0..%1").arg(field->dim0 - 1)
                                  : QStringLiteral("no index");
            *problem = QStringLiteral("field %1 takes %2").arg(QLatin1String(field->name), shape);
            return false;
        }
        step->action = ScenarioStep::Action::Set;
        step->id = field->id;
        step->index = word;
    } else if (action == QLatin1String("send")) {
        if (args.size() != 1 || !toInt(args[0], &step->id) ||
            !(ConsoleState::isStateId(step->id) || step->id == ConsoleState::kIdMeters)) {
            *problem = QStringLiteral("send needs one event id the console sends");
            return false;
        }
        step->action = ScenarioStep::Action::Send;
    } else if (action == QLatin1String("meters")) {
        if (args.size() != 1 ||
            (args[0] != QLatin1String("stop") && args[0] != QLatin1String("start"))) {
            *problem = QStringLiteral("meters needs \"stop\" or \"start\"");
            return false;
        }
        step->action = args[0] == QLatin1String("stop") ? ScenarioStep::Action::MetersStop
                                                        : ScenarioStep::Action::MetersStart;
    } else if (action == QLatin1String("silence")) {
        if (args.size() > 1 || (args.size() == 1 && args[0] != QLatin1String("on") &&
                                args[0] != QLatin1String("off"))) {
            *problem = QStringLiteral("silence takes nothing, \"on\" or \"off\"");
            return false;
        }
        step->action = args.isEmpty() || args[0] == QLatin1String("on")
                           ? ScenarioStep::Action::SilenceOn
                           : ScenarioStep::Action::SilenceOff;
    } else if (action == QLatin1String("quit")) {
        if (!args.isEmpty()) {
            *problem = QStringLiteral("quit takes nothing");
            return false;
        }
        step->action = ScenarioStep::Action::Quit;
    } else {
        *problem =
            QStringLiteral("unknown step \"%1\" (set, send, meters, silence, quit)").arg(action);
        return false;
    }
    *hasStep = true;
    return true;
}

bool Scenario::parse(QIODevice *input, const QString &fileName, QVector<ScenarioStep> *steps,
                     QString *error)
{
    QTextStream in(input);
    QVector<ScenarioStep> parsed;
    int lineNumber = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNumber;
        ScenarioStep step;
        bool hasStep = false;
        QString problem;
        if (!parseLine(line, &hasStep, &step, &problem)) {
            *error = QStringLiteral("%1:%2: %3").arg(fileName).arg(lineNumber).arg(problem);
            return false;
        }
        if (hasStep) {
            step.line = lineNumber;
            parsed << step;
        }
    }
    std::stable_sort(parsed.begin(), parsed.end(),
                     [](const ScenarioStep &a, const ScenarioStep &b) { return a.at < b.at; });
    *steps = parsed;
    return true;
}

bool Scenario::load(const QString &fileName, QVector<ScenarioStep> *steps, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("%1: cannot read: %2").arg(fileName, file.errorString());
        return false;
    }
    return parse(&file, fileName, steps, error);
}
