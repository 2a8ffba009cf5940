#include "diagnosticchannel.h"

#include <QByteArray>
#include <QMetaObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdio>

namespace {

// The channel's state. It outlives the channel object when the writer is
// stuck in a write at the end of the run: the thread then keeps it until the
// process ends.
struct Channel
{
    QThread thread;
    QObject writer; // lives in the thread; lines are queued calls to it
    std::atomic<int> waiting{0};
    std::atomic<qint64> dropped{0};
    std::atomic<qint64> droppedInAll{0};
    QtMessageHandler previous = nullptr;
};

std::atomic<Channel *> current{nullptr};

void writeNow(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void reportDropped(Channel &channel)
{
    const qint64 lost = channel.dropped.exchange(0);
    if (lost > 0)
        writeNow(QByteArray::number(lost) +
                 " diagnostic lines dropped: standard error did not take them in time\n");
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Channel *channel = current.load();
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    if (channel == nullptr || type == QtFatalMsg) {
        writeNow(line); // the program ends right after a fatal message: say why first
        return;
    }
    if (channel->waiting.fetch_add(1) >= DiagnosticChannel::maxWaitingLines) {
        channel->waiting.fetch_sub(1);
        channel->dropped.fetch_add(1);
        channel->droppedInAll.fetch_add(1);
        return;
    }
    QMetaObject::invokeMethod(
        &channel->writer,
        [channel, line] {
            reportDropped(*channel);
            writeNow(line);
            channel->waiting.fetch_sub(1);
        },
        Qt::QueuedConnection);
}

} // namespace

DiagnosticChannel::DiagnosticChannel()
{
    auto *channel = new Channel;
    channel->thread.setObjectName(QStringLiteral("diagnostics"));
    channel->writer.moveToThread(&channel->thread);
    channel->thread.start();
    current = channel;
    channel->previous = qInstallMessageHandler(handleMessage);
}

DiagnosticChannel::~DiagnosticChannel()
{
    Channel *channel = current.exchange(nullptr);
    qInstallMessageHandler(channel->previous);
    // Queued after every waiting line, so those are written first.
    QMetaObject::invokeMethod(
        &channel->writer,
        [channel] {
            reportDropped(*channel);
            channel->thread.quit();
        },
        Qt::QueuedConnection);
    // A writer stuck in a write to standard error is left to the end of the
    // process; the program does not wait for it.
    if (channel->thread.wait(closeWaitMs))
        delete channel;
}

qint64 DiagnosticChannel::droppedLines()
{
    const Channel *channel = current.load();
    return channel == nullptr ? 0 : channel->droppedInAll.load();
}
