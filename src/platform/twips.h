#pragma once

#include <cmath>

class QWidget;

namespace velmio {

// Window positions and sizes are kept in twips (1/1440 inch) as stored files
// expect; Qt places windows in (device independent) pixels.
double TwipsPerPixelX(const QWidget* w = nullptr);
double TwipsPerPixelY(const QWidget* w = nullptr);

inline int TwipsToPixels(double twips, double perPixel) {
    return static_cast<int>(std::lround(twips / perPixel));
}

// Halves go to the even neighbour, as the stored numbers always did.
inline double RoundHalfEven(double v) { return std::nearbyint(v); }

}  // namespace velmio
