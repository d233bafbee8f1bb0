#include "character/reaction_draw.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

#include "platform/clock.h"

namespace velmio {
namespace {

constexpr quint64 kGolden = 0x9E3779B97F4A7C15ULL;

// splitmix64: well mixed even for seeds that differ in one millisecond.
quint64 Mix(quint64 z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

float ReactionDraw::UnitValue(quint64 seed, bool takeNext) {
    const quint64 state = takeNext ? seed + kGolden : seed;
    // The top 24 bits fill a float's mantissa exactly, so 1.0 is never reached.
    return static_cast<float>(Mix(state) >> 40) * (1.0f / 16777216.0f);
}

int ReactionDraw::Draw(int count) {
    const QDateTime now = clock_.now();
    const quint64 seed = static_cast<quint64>(now.toMSecsSinceEpoch());
    const int seconds = now.time().second();
    // Second 0 takes the fresh seed's own value, any other second the next one.
    const float r = UnitValue(seed, seconds > 0);
    if (count <= 0) return 1;
    const int k = static_cast<int>(std::floor(static_cast<double>(r) * count)) + 1;
    return std::min(k, count);
}

}  // namespace velmio
