// Programme-like levels for the meter events: alternating stretches of speech
// and music, now and then a quiet stretch, left and right slightly apart.
// The levels are a function of the seed and the frame's scheduled time only,
// so a run with the same seed and rate repeats exactly.
#pragma once

#include <QRandomGenerator>

#include <array>

class ProgrammeGenerator
{
public:
    // Levels in dB as sent in a meter event: programme L/R, record bus L/R,
    // CRM L/R.
    using Levels = std::array<float, 6>;

    static constexpr float kFloor = -50.0f;
    static constexpr float kCeiling = 5.0f;
    // The control room listens a little below the programme.
    static constexpr float kCrmOffset = -4.0f;
    // The record bus carries the programme a few dB down.
    static constexpr float kRecordOffset = -3.0f;

    explicit ProgrammeGenerator(quint32 seed);

    // With quiet stretches the programme drops out now and then, long enough
    // for the silence detection to notice.
    void setQuietStretches(bool on) { quietStretches = on; }
    // Forced quiet, independent of the programme's own course.
    void setSilenced(bool on) { silenced = on; }
    bool isSilenced() const { return silenced; }

    // Levels for the frame with this running number at this time; times must
    // not go backwards.
    Levels levels(quint64 frame, double seconds, bool crmMuted);

private:
    enum class Mode { Speech, Music, Quiet };

    void startSegment(double from);
    float programmeLevel(quint64 frame, double t) const;
    float noise(quint64 frame, int channel) const; // -1 .. 1

    QRandomGenerator rng;
    quint32 noiseSeed;
    bool quietStretches = false;
    bool silenced = false;
    Mode mode = Mode::Speech;
    double segmentStart = 0.0;
    double segmentEnd = -1.0;
    double beatPeriod = 0.5;
    double syllableRate = 4.5;
    double phrasePhase = 0.0;
};
