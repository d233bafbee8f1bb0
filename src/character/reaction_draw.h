#pragma once

#include <QtGlobal>

namespace velmio {

class Clock;

// Picks one variant of a reaction kind. The generator is reseeded from the
// clock before every draw, so a set clock decides the variant.
class ReactionDraw {
public:
    explicit ReactionDraw(const Clock& clock) : clock_(clock) {}

    // A variant number from 1 to count; 1 when count is 0 or less, which the
    // caller then finds missing.
    int Draw(int count);

    // The value in [0, 1) for a given seed: the seed's own value when
    // takeNext is false, else the next one of its sequence.
    static float UnitValue(quint64 seed, bool takeNext);

private:
    const Clock& clock_;
};

}  // namespace velmio
