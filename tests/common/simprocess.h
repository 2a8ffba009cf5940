// Runs the simulator as a child process for a test and hands out free
// loopback ports. Every wait is bounded.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

// A port that was free a moment ago, chosen by the system so that parallel
// test runs do not meet.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::LocalHost, 0, QUdpSocket::DontShareAddress))
        return 0;
    return probe.localPort();
}

class SimProcess
{
public:
    static constexpr int kStartTimeoutMs = 10000;

    SimProcess() { process.setProcessChannelMode(QProcess::MergedChannels); }
    ~SimProcess() { finish(); }

    // Starts the simulator and waits for its start-up line; the clock then
    // runs from that line. A port that the previous test's simulator still
    // holds (a killed process's sockets may close a moment later, under Wine
    // especially) is waited for.
    bool start(const QStringList &arguments)
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            output.clear();
            process.start(QStringLiteral(SIM_PATH), arguments);
            if (!process.waitForStarted(kStartTimeoutMs))
                return false;
            const bool ready = waitForOutput(QStringLiteral("console listening"), kStartTimeoutMs);
            clock.start();
            if (ready || !output.contains(QLatin1String("cannot listen")) ||
                waited.elapsed() > kStartTimeoutMs)
                return ready;
            process.waitForFinished(1000);
            QTest::qWait(200);
        }
    }

    bool waitForOutput(const QString &text, int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            output += QString::fromLocal8Bit(process.readAll());
            if (output.contains(text))
                return true;
            const qint64 left = timeoutMs - waited.elapsed();
            if (left <= 0 || process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(int(qMin<qint64>(left, 100)));
        }
    }

    // Runs to its end; returns the exit code, or -1 if it did not end in time.
    int waitForExit(int timeoutMs)
    {
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(timeoutMs))
            return -1;
        output += QString::fromLocal8Bit(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    void finish()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    double seconds() const { return double(clock.nsecsElapsed()) / 1e9; }

    QProcess process;
    QString output;
    QElapsedTimer clock;
};
