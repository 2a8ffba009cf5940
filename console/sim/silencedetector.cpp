#include "silencedetector.h"

int SilenceDetector::thresholdDb(int word)
{
    // Only the low eight bits carry the threshold, as a signed number.
    return int(static_cast<signed char>(word & 0xff));
}

bool SilenceDetector::update(double seconds, float left, float right, const Config &config)
{
    const bool was = silent;
    if (config.enabled != 1) {
        quiet = false;
        silent = false;
        return was != silent;
    }

    const float threshold = float(thresholdDb(config.threshold));
    bool below = false;
    switch (config.channels) {
    case 0:
        below = left < threshold;
        break;
    case 1:
        below = right < threshold;
        break;
    default:
        below = left < threshold && right < threshold;
        break;
    }

    if (!below) {
        quiet = false;
        silent = false;
        return was != silent;
    }
    if (!quiet) {
        quiet = true;
        quietSince = seconds;
    }
    const int hold = config.holdSeconds > 0 && config.holdSeconds <= kMaxHoldSeconds
                         ? config.holdSeconds
                         : kDefaultHoldSeconds;
    silent = seconds - quietSince >= hold;
    return was != silent;
}
