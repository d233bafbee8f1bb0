#pragma once

#include <QImage>
#include <QRegion>

namespace velmio {

// The outline of one frame: every pixel whose colour differs from the frame's
// top-left pixel, as the union of its horizontal runs, row by row.
// yieldAtRows is called at rows 0, 50 and 100 so a long scan stays responsive.
QRegion ShapeRegionFromFrame(const QImage& frame, void (*yieldAtRows)() = nullptr);

}  // namespace velmio
