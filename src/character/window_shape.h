#pragma once

#include <QImage>
#include <QRegion>
#include <functional>
#include <optional>

namespace velmio {

// The outline of one frame: every pixel whose red, green and blue differ from
// those of the frame's top-left pixel, as the union of its horizontal runs.
QRegion ShapeRegionFromFrame(const QImage& frame);

// The same scan, asking keepGoing after rows 0, 50 and 100 (where the caller
// lets pending events run); a false answer abandons the scan.
std::optional<QRegion> ShapeRegionFromFrame(const QImage& frame,
                                             const std::function<bool()>& keepGoing);

// Whether the window system cuts top-level windows to a mask. Qt drops a mask
// silently where it cannot, so the answer comes from the platform's name.
bool PlatformShapesWindows();

}  // namespace velmio
