#include "meterfeed.h"

#include "consoleserver.h"

#include <QTimer>

#include <algorithm>

namespace {

// A stall longer than this (a stopped process, a busy machine) restarts the
// schedule instead of bursting out every missed frame.
constexpr qint64 kMaxLagNs = 250'000'000;
constexpr qint64 kNsPerSecond = 1'000'000'000;
constexpr qint64 kNsPerMs = 1'000'000;

qint64 frameDueNs(qint64 startNs, quint64 frame, int perSecond)
{
    return startNs + qint64(frame) * kNsPerSecond / perSecond;
}

} // namespace

MeterFeed::MeterFeed(ConsoleServer *server, quint32 seed, QObject *parent)
    : QObject(parent), server(server), timer(new QTimer(this)), generator(seed)
{
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, SIGNAL(timeout()), this, SLOT(sendDueFrames()));
    clock.start();
}

void MeterFeed::setRate(int rate)
{
    perSecond = std::clamp(rate, kMinRate, kMaxRate);
}

bool MeterFeed::isRunning() const
{
    return timer->isActive();
}

void MeterFeed::start()
{
    if (timer->isActive())
        return;
    // Programme time goes on from where it stopped.
    programmeTime += double(frame) / perSecond;
    frame = 0;
    startNs = clock.nsecsElapsed();
    sendDueFrames();
}

void MeterFeed::stop()
{
    timer->stop();
}

void MeterFeed::setSilenced(bool on)
{
    generator.setSilenced(on);
}

void MeterFeed::sendDueFrames()
{
    const qint64 now = clock.nsecsElapsed();
    if (now - frameDueNs(startNs, frame, perSecond) > kMaxLagNs) {
        programmeTime += double(frame) / perSecond;
        frame = 0;
        startNs = now;
    }
    while (frameDueNs(startNs, frame, perSecond) <= now)
        sendFrame();
    scheduleNext();
}

void MeterFeed::scheduleNext()
{
    const qint64 wait = frameDueNs(startNs, frame, perSecond) - clock.nsecsElapsed();
    // Rounded up: a shot that comes early would find nothing due.
    timer->start(int(std::max<qint64>(0, (wait + kNsPerMs - 1) / kNsPerMs)));
}

ProgrammeGenerator::Levels MeterFeed::nextLevels()
{
    const double t = programmeTime + double(frame) / perSecond;
    const bool crmMuted = server->state().word(ConsoleState::kIdCrmMute, 0) == 1;
    return generator.levels(frame, t, crmMuted);
}

void MeterFeed::sendNow()
{
    server->sendMeters(nextLevels());
}

void MeterFeed::sendFrame()
{
    const double t = programmeTime + double(frame) / perSecond;
    const ProgrammeGenerator::Levels levels = nextLevels();
    server->sendMeters(levels);
    ++frame;

    const ConsoleState &state = server->state();
    SilenceDetector::Config config;
    config.threshold = state.word(ConsoleState::kIdSilenceDetection, 0);
    config.holdSeconds = state.word(ConsoleState::kIdSilenceDetection, 1);
    config.channels = state.word(ConsoleState::kIdSilenceDetection, 2);
    config.enabled = state.word(ConsoleState::kIdSilenceDetection, 3);
    if (detector.update(t, levels[0], levels[1], config))
        server->change(ConsoleState::kIdSilence, 0, detector.isSilent() ? 1 : 0);
}
