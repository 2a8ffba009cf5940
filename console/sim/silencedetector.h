// Decides, like the console's own detector, when the programme has been
// quiet long enough to report silence, and when it is back.
#pragma once

class SilenceDetector
{
public:
    // The console's configuration words as the display receives them:
    // threshold (low 8 bits, signed dB), hold time in seconds, channels
    // (0 left, 1 right, 2 both), enabled when 1.
    struct Config
    {
        int threshold = -40;
        int holdSeconds = 3;
        int channels = 2;
        int enabled = 1;
    };

    // Hold time used when the configured one is out of range.
    static constexpr int kDefaultHoldSeconds = 3;
    static constexpr int kMaxHoldSeconds = 600;

    // Feeds one frame; returns true when the judgement changed.
    bool update(double seconds, float left, float right, const Config &config);
    bool isSilent() const { return silent; }

    static int thresholdDb(int word);

private:
    bool silent = false;
    bool quiet = false;
    double quietSince = 0.0;
};
