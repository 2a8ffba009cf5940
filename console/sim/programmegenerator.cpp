#include "programmegenerator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Stretch lengths in seconds.
constexpr double kSpeechMin = 3.0, kSpeechMax = 10.0;
constexpr double kMusicMin = 8.0, kMusicMax = 20.0;
constexpr double kQuietMin = 6.0, kQuietMax = 12.0;
// Share of stretches that are quiet when quiet stretches are allowed.
constexpr double kQuietChance = 0.12;

// Speech: phrases of syllables with short breaths between them.
constexpr double kPhraseLength = 2.6;
constexpr double kBreathLength = 0.45;
constexpr float kSpeechBase = -30.0f;
constexpr float kSpeechSwing = 24.0f;
constexpr float kBreathLevel = -34.0f;

// Music: a slowly moving body with a beat on top.
constexpr float kMusicBody = -15.0f;
constexpr float kMusicDrift = 3.0f;
constexpr float kBeatHeight = 13.0f;
constexpr double kBeatDecay = 0.12;

// Left and right wander apart by up to this much.
constexpr float kStereoSpread = 1.2f;

double uniform(QRandomGenerator &rng, double lo, double hi)
{
    return lo + rng.generateDouble() * (hi - lo);
}

// A well-mixed hash so that each frame's jitter needs no generator state.
quint32 mix(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return quint32(x);
}

} // namespace

ProgrammeGenerator::ProgrammeGenerator(quint32 seed) : rng(seed), noiseSeed(mix(seed) | 1u) {}

void ProgrammeGenerator::startSegment(double from)
{
    segmentStart = from;
    if (quietStretches && mode != Mode::Quiet && rng.generateDouble() < kQuietChance) {
        mode = Mode::Quiet;
        segmentEnd = from + uniform(rng, kQuietMin, kQuietMax);
        return;
    }
    if (rng.generateDouble() < 0.5) {
        mode = Mode::Speech;
        segmentEnd = from + uniform(rng, kSpeechMin, kSpeechMax);
        syllableRate = uniform(rng, 3.5, 5.5);
        phrasePhase = uniform(rng, 0.0, kPhraseLength);
    } else {
        mode = Mode::Music;
        segmentEnd = from + uniform(rng, kMusicMin, kMusicMax);
        beatPeriod = uniform(rng, 0.42, 0.65);
    }
}

float ProgrammeGenerator::noise(quint64 frame, int channel) const
{
    const quint32 h = mix(frame * 8u + quint64(channel) + (quint64(noiseSeed) << 20));
    return float(h) / float(0xffffffffu) * 2.0f - 1.0f;
}

float ProgrammeGenerator::programmeLevel(quint64 frame, double t) const
{
    const double inSegment = t - segmentStart;
    switch (mode) {
    case Mode::Quiet:
        return kFloor + 1.0f + noise(frame, 0);
    case Mode::Speech: {
        const double inPhrase = std::fmod(inSegment + phrasePhase, kPhraseLength + kBreathLength);
        if (inPhrase > kPhraseLength)
            return kBreathLevel + 2.0f * noise(frame, 0);
        const double syllable = std::max(0.0, std::sin(kTwoPi * syllableRate * inSegment));
        return kSpeechBase + kSpeechSwing * float(std::sqrt(syllable)) + 2.0f * noise(frame, 0);
    }
    case Mode::Music: {
        const double body = kMusicDrift * std::sin(kTwoPi * t / 7.3);
        const double beat = std::exp(-std::fmod(inSegment, beatPeriod) / kBeatDecay);
        return kMusicBody + float(body) + kBeatHeight * float(beat) + 1.5f * noise(frame, 0);
    }
    }
    return kFloor;
}

ProgrammeGenerator::Levels ProgrammeGenerator::levels(quint64 frame, double seconds, bool crmMuted)
{
    while (seconds >= segmentEnd)
        startSegment(segmentEnd < 0.0 ? seconds : segmentEnd);

    const auto clamp = [](float db) { return std::clamp(db, kFloor, kCeiling); };
    float left = programmeLevel(frame, seconds);
    float right =
        left + kStereoSpread * float(std::sin(kTwoPi * seconds / 5.1)) + 0.7f * noise(frame, 1);
    if (silenced) {
        left = kFloor + 0.5f + 0.5f * noise(frame, 2);
        right = kFloor + 0.5f + 0.5f * noise(frame, 3);
    }
    left = clamp(left);
    right = clamp(right);

    Levels out;
    out[0] = left;
    out[1] = right;
    out[2] = clamp(left + kRecordOffset);
    out[3] = clamp(right + kRecordOffset);
    out[4] = crmMuted ? kFloor : clamp(left + kCrmOffset);
    out[5] = crmMuted ? kFloor : clamp(right + kCrmOffset);
    return out;
}
