// A long run of the real main window against the simulator with its studio
// life on, as tools/soak.sh starts it (not part of the test suite: it takes
// as long as it is told). Every 30 s it prints resident memory and CPU use;
// at the end it checks that memory did not grow after the warm-up, that CPU
// use stayed flat, and that the display shows exactly the state the
// simulator last reported.
//
//   VM_SOAK_MINUTES   run time, at least 2 (default 10; the first is warm-up)
//   VM_SOAK_LIMIT_KB  allowed growth after the warm-up (default 1024)
#include "apptestsupport.h"
#include "mainwindow.h"
#include "mylabel.h"
#include "platformdefaults.h"
#include "simprocess.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <sys/resource.h>

#include <algorithm>
#include <map>

class MainWindowProbe
{
public:
    explicit MainWindowProbe(const MainWindow &window) : w(window) {}
    Ui::MainWindow *ui() const { return w.ui; }
    bool online() const { return w.online; }
    const myLabel *module(int i) const { return w.moduleButtons[size_t(i)]; }
    const myLabel *nonStop() const { return w.nonStopButton; }

    // The console state as the decoder stored it, by event id, in the
    // order of the event's words.
    std::map<int, QVector<qint32>> state() const
    {
        std::map<int, QVector<qint32>> s;
        for (int i = 0; i < 8; ++i) {
            s[96] << w.moduleOn[size_t(i)];
            s[98] << w.moduleAlt[size_t(i)];
            s[111] << w.voiceTrack[size_t(i)];
            for (int k = 0; k < 3; ++k)
                s[73] << w.moduleColours[size_t(i)][size_t(k)];
        }
        s[75] << w.silenceThreshold << w.silenceParam << w.silenceChannels << w.silenceEnabled;
        s[104] << w.onAir1 << w.onAir2;
        s[101] << w.nonStop;
        s[105] << w.silenceDetected;
        s[102] << w.micOn;
        s[107] << w.crmMute;
        s[112] << w.phoneRinging;
        return s;
    }

private:
    const MainWindow &w;
};

namespace {

constexpr int kSampleSeconds = 30;
constexpr int kRate = 50;

long rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const auto match = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB"))
                           .match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Takes the complete lines of the simulator's log out of its buffer and keeps
// only the payload each state event last reported, so that the harness's own
// memory does not grow with an hour of log. Returns the state events read.
int absorbLog(SimProcess &sim, std::map<int, QVector<qint32>> &last)
{
    sim.waitForOutput(QStringLiteral("\x01"), 10); // reads what has come
    const int end = sim.output.lastIndexOf(QLatin1Char('\n')) + 1;
    const QString complete = sim.output.left(end);
    sim.output.remove(0, end);
    static const QRegularExpression line(QStringLiteral("send event (\\d+) \\[([-0-9 ]*)\\]"));
    int events = 0;
    auto it = line.globalMatch(complete);
    while (it.hasNext()) {
        const auto m = it.next();
        QVector<qint32> words;
        for (const QString &w : m.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            words << w.toInt();
        last[m.captured(1).toInt()] = words;
        ++events;
    }
    return events;
}

QString moduleFile(int i, qint32 code)
{
    return QStringLiteral("/%1-%2.png")
        .arg(i + 1)
        .arg(code == 1   ? "red"
             : code == 2 ? "green"
                         : "grey");
}

QString lampFile(const char *word, bool active)
{
    return QStringLiteral("/%1-%2.png").arg(QLatin1String(word), active ? "active" : "inactive");
}

// What the screen shows against what the simulator last reported; empty
// when they agree.
QStringList differences(const MainWindowProbe &probe, const std::map<int, QVector<qint32>> &sim)
{
    QStringList wrong;
    const auto shown = probe.state();
    for (const auto &[id, words] : shown) {
        const auto reported = sim.find(id);
        if (reported != sim.end() && reported->second != words)
            wrong << QStringLiteral("event %1 stored differently").arg(id);
    }
    Ui::MainWindow *ui = probe.ui();
    const auto word = [&](int id, int i) { return shown.at(id).value(i); };
    if (sim.count(100)) {
        const QLabel *labels[8] = {ui->label_src_1, ui->label_src_2, ui->label_src_3,
                                   ui->label_src_4, ui->label_src_5, ui->label_src_6,
                                   ui->label_src_7, ui->label_src_8};
        const char *types[8] = {"MIC", "MIC", "MIC", "USB", "USB", "USB", "USB", "VOIP"};
        for (int i = 0; i < 8; ++i)
            if (labels[i]->text() != QLatin1String(sim.at(100).value(i) != 0 ? types[i] : "LINE"))
                wrong << QStringLiteral("source type %1").arg(i + 1);
    }
    const struct
    {
        const QWidget *lamp;
        const char *word;
        bool on;
    } lamps[] = {{ui->label_onair1, "onair1", word(104, 0) == 1},
                 {ui->label_onair2, "onair2", word(104, 1) == 1},
                 {ui->label_silence, "silence", word(105, 0) == 1},
                 {ui->label_micon, "micon", word(102, 0) == 1},
                 {ui->label_crmmute, "crmmute", word(107, 0) == 1},
                 {ui->label_telring, "phone", word(112, 0) == 1}};
    for (const auto &l : lamps)
        if (!l.lamp->styleSheet().contains(lampFile(l.word, l.on)))
            wrong << QStringLiteral("lamp %1").arg(QLatin1String(l.word));
    // The non-stop lamp blinks while silence is reported.
    if (word(105, 0) != 1 &&
        !probe.nonStop()->styleSheet().contains(lampFile("nonstop", word(101, 0) == 1)))
        wrong << QStringLiteral("lamp nonstop");
    for (int i = 0; i < 8; ++i) {
        const int slot = word(96, i) != 1 ? 2 : word(98, i) == 1 ? 1 : 0;
        const QString normal = moduleFile(i, word(73, 3 * i + slot));
        const QString style = probe.module(i)->styleSheet();
        const bool blinking = (i < 3 || i == 7) && word(111, i) != 0;
        // A voice-track module alternates with its slot-2 colour.
        if (!style.contains(normal) &&
            !(blinking && style.contains(moduleFile(i, word(73, 3 * i + 2)))))
            wrong << QStringLiteral("module %1").arg(i + 1);
    }
    return wrong;
}

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT

private slots:
    void longRun();
};

void SoakTest::longRun()
{
    const int minutes = qMax(2, qEnvironmentVariableIntValue("VM_SOAK_MINUTES") > 0
                                    ? qEnvironmentVariableIntValue("VM_SOAK_MINUTES")
                                    : 10);
    const long limitKb = qEnvironmentVariableIntValue("VM_SOAK_LIMIT_KB") > 0
                             ? qEnvironmentVariableIntValue("VM_SOAK_LIMIT_KB")
                             : 1024;
    apptest::IsolatedSettings settings;
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(settings.sendPort()), "--target",
                       QStringLiteral("127.0.0.1:%1").arg(settings.recvPort()), "--rate",
                       QString::number(kRate), "--verbose"}));
    MainWindow window;
    window.show();
    window.move(0, 0);
    window.resize(1920, 1080);
    const MainWindowProbe probe(window);
    QTRY_VERIFY_WITH_TIMEOUT(probe.online(), 3000);

    std::map<int, QVector<qint32>> reported;
    std::printf("soak: %d min at 1920 x 1080, simulator at %d meter events/s with its life\n",
                minutes, kRate);
    std::printf("%8s %10s %8s\n", "time", "RSS kB", "CPU %");
    std::fflush(stdout);
    long warmKb = 0;
    long lastKb = 0;
    QVector<double> cpu;
    double cpuBefore = cpuSeconds();
    QElapsedTimer interval;
    interval.start();
    for (int step = 1; step <= minutes * 60 / kSampleSeconds; ++step) {
        QTest::qWait(kSampleSeconds * 1000);
        absorbLog(sim, reported);
        QVERIFY2(sim.process.state() == QProcess::Running, "the simulator stopped");
        const double cpuNow = cpuSeconds();
        const double percent = 100.0 * (cpuNow - cpuBefore) / (interval.restart() / 1000.0);
        cpuBefore = cpuNow;
        lastKb = rssKb();
        if (step * kSampleSeconds == 60)
            warmKb = lastKb;
        if (step * kSampleSeconds > 60)
            cpu << percent;
        std::printf("%5d:%02d %10ld %8.2f\n", step * kSampleSeconds / 60,
                    step * kSampleSeconds % 60, lastKb, percent);
        std::fflush(stdout);
        QVERIFY(probe.online());
    }

    // The display against the simulator's last word, at a moment when none
    // is on its way: no state event may be logged while the two are compared.
    QStringList wrong;
    for (int attempt = 0; attempt < 20; ++attempt) {
        absorbLog(sim, reported);
        QTest::qWait(300);
        int moved = absorbLog(sim, reported);
        wrong = differences(probe, reported);
        moved += absorbLog(sim, reported);
        if (moved == 0)
            break;
    }

    const long growthKb = lastKb - warmKb;
    std::sort(cpu.begin(), cpu.end());
    const double median = cpu.isEmpty() ? 0.0 : cpu[cpu.size() / 2];
    const double highest = cpu.isEmpty() ? 0.0 : cpu.last();
    std::printf("soak: RSS after warm-up (1:00) %ld kB, at the end %ld kB, growth %ld kB (limit "
                "%ld kB); CPU median %.2f%%, highest %.2f%%; %s\n",
                warmKb, lastKb, growthKb, limitKb, median, highest,
                wrong.isEmpty() ? "the display shows the simulator's last state"
                                : qPrintable("differs: " + wrong.join(", ")));
    std::fflush(stdout);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(", ")));
    QVERIFY2(growthKb < limitKb, "memory grew after the warm-up");
    // Flat: no interval far above the usual one.
    QVERIFY2(highest <= 2.0 * median + 1.0, "CPU use did not stay flat");
}

int main(int argc, char *argv[])
{
    applyPlatformDefaults(); // as the program starts
    QApplication application(argc, argv);
    SoakTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "soak.moc"
