#pragma once

#include <QRect>

#include "platform/twips.h"

namespace velmio {

// A rectangle given as left, top, width and height in twips, in pixels on the
// screen of w. Each edge is converted on its own so that neighbours given in
// twips stay neighbours in pixels.
inline QRect TwipsRect(const QWidget* w, double left, double top, double width, double height) {
    const double tx = TwipsPerPixelX(w);
    const double ty = TwipsPerPixelY(w);
    const int x0 = TwipsToPixels(left, tx);
    const int y0 = TwipsToPixels(top, ty);
    return QRect(x0, y0, TwipsToPixels(left + width, tx) - x0, TwipsToPixels(top + height, ty) - y0);
}

}  // namespace velmio
