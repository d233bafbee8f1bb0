// Shaping one frame of our own character: the scan-line implementation against
// a straightforward port that reads every pixel through QImage::pixel() and
// adds each run to the region one by one.
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QRegion>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "character/window_shape.h"

namespace {

constexpr int kFrameWidth = 94;
constexpr int kFrameHeight = 138;

QRegion StraightforwardShape(const QImage& frame) {
    const QRgb background = frame.pixel(0, 0);
    QRegion region;
    for (int y = 0; y < frame.height(); ++y) {
        int start = -1;
        for (int x = 0; x < frame.width(); ++x) {
            const bool ink = frame.pixel(x, y) != background;
            if (ink && start < 0) start = x;
            if (!ink && start >= 0) {
                region += QRect(start, y, x - start, 1);
                start = -1;
            }
        }
        if (start >= 0) region += QRect(start, y, frame.width() - start, 1);
    }
    return region;
}

template <typename F>
double MedianMicroseconds(F shape, int rounds, int perRound) {
    std::vector<double> samples;
    QElapsedTimer timer;
    for (int r = 0; r < rounds; ++r) {
        timer.start();
        for (int i = 0; i < perRound; ++i) shape();
        samples.push_back(double(timer.nsecsElapsed()) / perRound / 1000.0);
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString path = QStringLiteral(VELMIO_DIST_DIR "/velmio_s.dat");
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage strip = reader.read().convertToFormat(QImage::Format_RGB32);
    if (strip.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    const int frames = strip.width() / kFrameWidth;
    std::printf("shaping one %dx%d frame of %s (%d frames)\n", kFrameWidth, kFrameHeight,
                qPrintable(path), frames);
    std::printf("%-6s %8s %14s %14s %8s\n", "frame", "rects", "ours us", "per-pixel us",
                "ratio");
    std::vector<double> ours, plain;
    for (int n = 0; n < frames; ++n) {
        const QImage frame = strip.copy(n * kFrameWidth, 0, kFrameWidth, kFrameHeight);
        const QRegion a = velmio::ShapeRegionFromFrame(frame);
        const QRegion b = StraightforwardShape(frame);
        if (a.xored(b).rectCount() != 0) {
            std::fprintf(stderr, "frame %d: the two regions differ\n", n);
            return 1;
        }
        volatile int sink = 0;
        const double o = MedianMicroseconds(
            [&] { sink += velmio::ShapeRegionFromFrame(frame).rectCount(); }, 31, 200);
        const double p =
            MedianMicroseconds([&] { sink += StraightforwardShape(frame).rectCount(); }, 11, 5);
        ours.push_back(o);
        plain.push_back(p);
        std::printf("%-6d %8d %14.2f %14.2f %7.1fx\n", n, int(a.rectCount()), o, p, p / o);
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const double o = median(ours);
    const double p = median(plain);
    std::printf("median over frames: ours %.2f us, per-pixel port %.2f us, ratio %.1fx\n", o, p,
                p / o);
    return 0;
}
