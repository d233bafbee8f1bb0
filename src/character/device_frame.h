#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace velmio {

class AppPaths;

// The picture strips come at scale 1 (velmio.dat) and scale 2 (velmio@2x.dat
// beside it). Screens of a device pixel ratio above 1.5 take the larger one.
int StripScaleFor(qreal devicePixelRatio);

// A strip file to read for this device pixel ratio, and the scale it holds.
// The larger strip counts only beside the strip of scale 1 in use, so a
// picture of the user's own is never traded for the stock one, and a strip
// missing at scale 1 is missing at every scale.
struct StripFile {
    QString path;
    int scale = 1;
};
StripFile StripFileFor(const AppPaths& paths, const QString& name, qreal devicePixelRatio);

// The device pixels of a window of logicalSize at this ratio, as Qt sizes
// its window and backing store.
QSize DeviceSize(const QSize& logicalSize, qreal devicePixelRatio);

// One frame as the screen shows it: art (a frame of the strip at its own
// scale) resampled to the device pixels of logicalSize, carrying the ratio so
// that it paints at logicalSize. A keyed frame stays keyed: every pixel is
// either the key (its top-left colour) or opaque art, so it shapes cleanly.
QImage FrameForDevice(const QImage& art, const QSize& logicalSize, qreal devicePixelRatio,
                      bool keyed);

}  // namespace velmio
