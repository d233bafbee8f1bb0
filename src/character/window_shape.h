#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <optional>

namespace velmio {

// The outline of one frame: every pixel whose red, green and blue differ from
// those of the frame's top-left pixel, as the union of its horizontal runs.
QRegion ShapeRegionFromFrame(const QImage& frame);

// The same scan, asking keepGoing after rows 0, 50 and 100 (where the caller
// lets pending events run); a false answer abandons the scan. A frame drawn
// at a larger scale is asked at the same rows of the picture: 0, 100 and 200
// at scale 2.
std::optional<QRegion> ShapeRegionFromFrame(const QImage& frame,
                                             const std::function<bool()>& keepGoing,
                                             qreal scale = 1);

// The logical pixels a region of device pixels touches at this ratio.
QRegion LogicalCover(const QRegion& device, qreal devicePixelRatio);

// Cuts a top-level window to an outline given in device pixels. Qt takes a
// mask in logical pixels and scales it whole pixels at a time, a staircase of
// 2 x 2 blocks at a ratio of 2; on X11 the exact outline is set beside it, and
// set again whenever the window is shown. An empty outline leaves nothing.
void SetWindowShape(QWidget* window, const QRegion& device, qreal devicePixelRatio);

// Whether the window system cuts top-level windows to a mask. Qt drops a mask
// silently where it cannot, so the answer comes from the platform's name.
bool PlatformShapesWindows();

}  // namespace velmio
