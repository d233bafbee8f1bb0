#pragma once

#include <QtGlobal>

namespace velmio {

struct AppSettings;

// The minute count behind automatic checks: a check is due on every
// Min-th tick (every tick for Min 1 or less); with TelHodai only from 23:00 to 7:59.
class AutoCheck {
public:
    static bool InFlatRateHours(int hour) { return hour >= 23 || hour < 8; }

    // One tick of the one-minute timer at the given hour; true when a check
    // is to start now.
    bool Tick(const AppSettings& settings, int hour);

    qint16 MinuteCount() const { return minuteCount_; }

private:
    qint16 minuteCount_ = 0;
};

}  // namespace velmio
