#pragma once

#include <cmath>
#include <limits>

// The level-to-height mapping of the peak programme meter, shared with the
// resource generator so that the printed scales and the bars cannot drift
// apart. Heights are pixels above the bottom edge of a meter H pixels tall.
namespace ppm {

constexpr double dinExponentDivisor = 80.0; // height grows with 10^(dB/80)

inline double dinPower(double db)
{
    return std::pow(10.0, db / dinExponentDivisor);
}

// trunc() toward zero for any double: NaN gives 0, values beyond int's range
// saturate, so no input can reach an undefined conversion.
inline int truncToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(value); // truncates toward zero
}

// DIN scale: trunc(H x (10^(dB/80) - base) / span).
inline int dinHeight(double db, double dinBase, double dinSpan, int height)
{
    return truncToInt(height * (dinPower(db) - dinBase) / dinSpan);
}

// Linear scale: trunc(trunc(H x (dB - min)) / span); the product is truncated
// before the division.
inline int linearHeight(double db, double minDb, double linearSpan, int height)
{
    const double product = std::trunc(height * (db - minDb));
    return truncToInt(product / linearSpan);
}

} // namespace ppm
