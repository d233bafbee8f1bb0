#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

namespace velmio {

// The balloon gives each character a square of the font's point size and is
// two squares high; sizes in twips (20 to the point).
struct BalloonSize {
    qint64 widthTwips = 0;
    double heightTwips = 0;
};

BalloonSize BalloonSizeFor(const QString& text, double pointSize);

// Where the balloon stands beside the character, in pixels: at her left, its
// right edge touching her left edge, with its top at top. Where that leaves
// the screen (its available area) she speaks from her right instead, at the
// same height; with room on neither side it is pushed inside the screen.
// Either way it is kept inside the screen vertically.
struct BalloonPlace {
    QPoint topLeft;
    bool atRight = false;
};
BalloonPlace BalloonBeside(const QRect& character, const QSize& balloon, int top, const QRect& screen);

}  // namespace velmio
