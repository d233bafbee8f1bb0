#include "character/window_shape.h"

#include <QVector>

namespace velmio {

QRegion ShapeRegionFromFrame(const QImage& source, void (*yieldAtRows)()) {
    if (source.isNull()) return {};
    const QImage frame = source.format() == QImage::Format_RGB32 ||
                                 source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    const int w = frame.width();
    const int h = frame.height();
    const QRgb background = frame.pixel(0, 0) & 0x00FFFFFF;
    QVector<QRect> runs;
    runs.reserve(256);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        int start = -1;
        for (int x = 0; x < w; ++x) {
            const bool ink = (line[x] & 0x00FFFFFF) != background;
            if (ink && start < 0) start = x;
            if (!ink && start >= 0) {
                runs.append(QRect(start, y, x - start, 1));
                start = -1;
            }
        }
        if (start >= 0) runs.append(QRect(start, y, w - start, 1));
        if (yieldAtRows && y % 50 == 0) yieldAtRows();
    }
    QRegion region;
    region.setRects(runs.constData(), static_cast<int>(runs.size()));
    return region;
}

}  // namespace velmio
