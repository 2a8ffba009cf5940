#include "consolelife.h"

#include "consoleserver.h"
#include "meterfeed.h"

#include <QTimer>

namespace {

constexpr int kTickMs = 100;
// Channels that can be in voice-track mode: 1, 2, 3 and 8.
constexpr int kVoiceTrackChannels[] = {0, 1, 2, 7};

} // namespace

ConsoleLife::ConsoleLife(ConsoleServer *server, MeterFeed *feed, quint32 seed, QObject *parent)
    : QObject(parent), server(server), feed(feed), timer(new QTimer(this)), rng(seed)
{
    connect(timer, SIGNAL(timeout()), this, SLOT(tick()));
}

double ConsoleLife::after(double minSeconds, double maxSeconds)
{
    return server->seconds() + minSeconds + rng.generateDouble() * (maxSeconds - minSeconds);
}

void ConsoleLife::start()
{
    ConsoleState &state = server->state();
    for (int m = 0; m < ConsoleState::kModules; ++m) {
        state.setWord(ConsoleState::kIdModuleOn, m, rng.bounded(3) == 0 ? 0 : 1);
        state.setWord(ConsoleState::kIdModuleAlt, m, rng.bounded(4) == 0 ? 1 : 0);
    }
    for (int channel : kVoiceTrackChannels)
        state.setWord(ConsoleState::kIdVoiceTrack, channel, rng.bounded(3) == 0 ? 1 : 0);
    feed->programme().setQuietStretches(true);

    phoneAt = after(10, 40);
    micAt = after(5, 20);
    moduleAt = after(8, 25);
    voiceTrackAt = after(30, 90);
    timer->start(kTickMs);
}

void ConsoleLife::tick()
{
    const double now = server->seconds();
    if (now >= phoneAt)
        togglePhone();
    if (now >= micAt)
        toggleMicrophone();
    if (now >= moduleAt)
        switchModule();
    if (now >= voiceTrackAt)
        toggleVoiceTrack();
}

void ConsoleLife::togglePhone()
{
    const bool ringing = server->state().word(ConsoleState::kIdPhoneRinging, 0) == 1;
    server->change(ConsoleState::kIdPhoneRinging, 0, ringing ? 0 : 1);
    // Rings for a few seconds, then nobody calls for a while.
    phoneAt = ringing ? after(20, 60) : after(4, 10);
}

void ConsoleLife::toggleMicrophone()
{
    // The microphone's module fader start puts the studio on air with it.
    ConsoleState &state = server->state();
    const bool open = state.word(ConsoleState::kIdMicOn, 0) == 1;
    if (open) {
        state.setWord(ConsoleState::kIdOnAir, 0, 0);
        state.setWord(ConsoleState::kIdOnAir, 1, 0);
    } else {
        state.setWord(ConsoleState::kIdOnAir, 0, 1);
        state.setWord(ConsoleState::kIdOnAir, 1, rng.bounded(3) == 0 ? 1 : 0);
    }
    server->report(ConsoleState::kIdOnAir);
    server->change(ConsoleState::kIdMicOn, 0, open ? 0 : 1);
    micAt = open ? after(15, 45) : after(10, 40);
}

void ConsoleLife::switchModule()
{
    const int module = int(rng.bounded(ConsoleState::kModules));
    ConsoleState &state = server->state();
    if (rng.bounded(4) == 0) {
        const qint32 alt = state.word(ConsoleState::kIdModuleAlt, module) == 1 ? 0 : 1;
        server->change(ConsoleState::kIdModuleAlt, module, alt);
    } else {
        const qint32 on = state.word(ConsoleState::kIdModuleOn, module) == 1 ? 0 : 1;
        server->change(ConsoleState::kIdModuleOn, module, on);
    }
    moduleAt = after(8, 25);
}

void ConsoleLife::toggleVoiceTrack()
{
    const int channel = kVoiceTrackChannels[rng.bounded(4)];
    const qint32 on = server->state().word(ConsoleState::kIdVoiceTrack, channel) == 0 ? 1 : 0;
    server->change(ConsoleState::kIdVoiceTrack, channel, on);
    voiceTrackAt = after(30, 90);
}
