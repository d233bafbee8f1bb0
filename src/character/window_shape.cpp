#include "character/window_shape.h"

#include <QGuiApplication>
#include <QVector>
#include <cstring>

namespace velmio {
namespace {

constexpr quint32 kRgbBits = 0x00FFFFFF;

// Appends the runs of one row as one-pixel-high rectangles.
inline void AppendRuns(const quint32* line, int width, quint32 background, int y,
                       QVector<QRect>& rects) {
    int x = 0;
    while (x < width) {
        while (x < width && ((line[x] ^ background) & kRgbBits) == 0) ++x;
        if (x == width) break;
        const int start = x;
        while (x < width && ((line[x] ^ background) & kRgbBits) != 0) ++x;
        rects.append(QRect(QPoint(start, y), QPoint(x - 1, y)));
    }
}

inline bool SameColumns(const QRect* a, const QRect* b, int count) {
    for (int i = 0; i < count; ++i)
        if (a[i].left() != b[i].left() || a[i].right() != b[i].right()) return false;
    return true;
}

std::optional<QRegion> Scan(const QImage& source, const std::function<bool()>* keepGoing) {
    if (source.isNull()) return QRegion();
    // Alpha plays no part: two pixels of one red, green and blue are one colour.
    const QImage frame = source.format() == QImage::Format_RGB32 ||
                                 source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    const int w = frame.width();
    const int h = frame.height();
    const auto* first = reinterpret_cast<const quint32*>(frame.constScanLine(0));
    const quint32 background = first[0] & kRgbBits;

    // Rows with the same runs as the row above join its rectangles, which is
    // the banded form QRegion itself keeps, so setRects can take the list as
    // it stands and the window system gets far fewer rectangles.
    QVector<QRect> rects;
    rects.reserve(512);
    int bandStart = 0;  // the rectangles of the row above
    int bandCount = 0;
    const quint32* above = nullptr;
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const quint32*>(frame.constScanLine(y));
        if (above && std::memcmp(line, above, size_t(w) * sizeof(quint32)) == 0) {
            for (int i = bandStart; i < bandStart + bandCount; ++i) rects[i].setBottom(y);
        } else {
            const int rowStart = int(rects.size());
            AppendRuns(line, w, background, y, rects);
            const int rowCount = int(rects.size()) - rowStart;
            if (rowCount > 0 && rowCount == bandCount &&
                SameColumns(rects.constData() + bandStart, rects.constData() + rowStart,
                            rowCount)) {
                for (int i = bandStart; i < rowStart; ++i) rects[i].setBottom(y);
                rects.resize(rowStart);
            } else {
                bandStart = rowStart;
                bandCount = rowCount;
            }
        }
        above = line;
        if (keepGoing && y % 50 == 0 && !(*keepGoing)()) return std::nullopt;
    }
    QRegion region;
    region.setRects(rects.constData(), int(rects.size()));
    return region;
}

}  // namespace

QRegion ShapeRegionFromFrame(const QImage& frame) { return *Scan(frame, nullptr); }

std::optional<QRegion> ShapeRegionFromFrame(const QImage& frame,
                                            const std::function<bool()>& keepGoing) {
    return Scan(frame, keepGoing ? &keepGoing : nullptr);
}

bool PlatformShapesWindows() {
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("xcb") || name == QLatin1String("windows") ||
           name == QLatin1String("cocoa");
}

}  // namespace velmio
