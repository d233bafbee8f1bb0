#include "character/window_shape.h"

#include <xcb/shape.h>

#include <QEvent>
#include <QGuiApplication>
#include <QVector>
#include <cmath>
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

std::optional<QRegion> Scan(const QImage& source, const std::function<bool()>* keepGoing,
                            qreal scale) {
    if (source.isNull()) return QRegion();
    // Alpha plays no part: two pixels of one red, green and blue are one colour.
    const QImage frame = source.format() == QImage::Format_RGB32 ||
                                 source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    const int w = frame.width();
    const int h = frame.height();
    const int askEvery = qMax(1, qRound(50 * scale));
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
        if (keepGoing && y % askEvery == 0 && !(*keepGoing)()) return std::nullopt;
    }
    QRegion region;
    region.setRects(rects.constData(), int(rects.size()));
    return region;
}

const char* const kDeviceShape = "velmioDeviceShape";

bool SetX11Shape(QWidget* window, const QRegion& device) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window->testAttribute(Qt::WA_WState_Created)) return false;
    QVector<xcb_rectangle_t> rects;
    rects.reserve(device.rectCount());
    for (const QRect& r : device)
        rects.append({qint16(r.x()), qint16(r.y()), quint16(r.width()), quint16(r.height())});
    xcb_connection_t* c = x11->connection();
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED,
                         xcb_window_t(window->winId()), 0, 0, quint32(rects.size()), rects.constData());
    xcb_flush(c);
    return true;
}

// Qt sets its scaled mask again when it creates the window, before the
// window is shown: the exact outline follows it then.
struct ReshapeOnShow : QObject {
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            auto* w = static_cast<QWidget*>(o);
            const QVariant device = w->property(kDeviceShape);
            if (device.isValid()) SetX11Shape(w, device.value<QRegion>());
        }
        return false;
    }
};

}  // namespace

QRegion ShapeRegionFromFrame(const QImage& frame) { return *Scan(frame, nullptr, 1); }

std::optional<QRegion> ShapeRegionFromFrame(const QImage& frame,
                                            const std::function<bool()>& keepGoing, qreal scale) {
    return Scan(frame, keepGoing ? &keepGoing : nullptr, scale);
}

QRegion LogicalCover(const QRegion& device, qreal devicePixelRatio) {
    if (devicePixelRatio == 1) return device;
    // At fractional ratios neighbouring rows meet in one logical row, so the
    // rectangles overlap and must be united, not handed over as they are.
    QRegion cover;
    for (const QRect& r : device) {
        const int left = int(std::floor(r.left() / devicePixelRatio));
        const int top = int(std::floor(r.top() / devicePixelRatio));
        const int right = int(std::ceil((r.right() + 1) / devicePixelRatio));
        const int bottom = int(std::ceil((r.bottom() + 1) / devicePixelRatio));
        cover += QRect(left, top, right - left, bottom - top);
    }
    return cover;
}

void SetWindowShape(QWidget* window, const QRegion& device, qreal devicePixelRatio) {
    // An empty region means "no mask" to Qt: one pixel outside the window
    // leaves nothing drawn and nothing clickable.
    const QRegion none(-1, -1, 1, 1);
    if (devicePixelRatio == 1) {
        window->setProperty(kDeviceShape, QVariant());
        window->setMask(device.isEmpty() ? none : device);
        return;
    }
    const QRegion cover = LogicalCover(device, devicePixelRatio);
    window->setMask(cover.isEmpty() ? none : cover);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    if (!window->property(kDeviceShape).isValid()) {
        static ReshapeOnShow reshape;
        window->installEventFilter(&reshape);
    }
    window->setProperty(kDeviceShape, QVariant::fromValue(device));
    SetX11Shape(window, device);
}

bool PlatformShapesWindows() {
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("xcb") || name == QLatin1String("windows") ||
           name == QLatin1String("cocoa");
}

}  // namespace velmio
