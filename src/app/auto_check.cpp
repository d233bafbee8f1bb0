#include "app/auto_check.h"

#include "core/app_settings.h"

namespace velmio {

bool AutoCheck::Tick(const AppSettings& s, int hour) {
    const bool allowed = s.AutoCheck && (!s.TelHodai || InFlatRateHours(hour));
    // Counted before the comparison, so Min 10 means every tenth tick and
    // Min 1 or less every tick; the count stays below Min.
    if (minuteCount_ + 1 < s.Min) {
        ++minuteCount_;
        return false;
    }
    // A due tick, whether it checks or not. Outside the flat-rate hours the
    // timer keeps running, so the next night checks again.
    minuteCount_ = 0;
    return allowed;
}

}  // namespace velmio
