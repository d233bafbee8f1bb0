#pragma once

#include <QString>

namespace velmio {

// The balloon gives each character a square of the font's point size and is
// two squares high; sizes in twips (20 to the point).
struct BalloonSize {
    qint64 widthTwips = 0;
    double heightTwips = 0;
};

BalloonSize BalloonSizeFor(const QString& text, double pointSize);

}  // namespace velmio
