#include <QApplication>
#include <QtTest>

#include "character/device_frame.h"
#include "character/form4.h"
#include "character/window_shape.h"
#include "core/app_state.h"
#include "support/fakes.h"

using namespace velmio;
using Rects = QVector<QRect>;

namespace {

constexpr int kW = Form4::kFrameWidth;
constexpr int kH = Form4::kFrameHeight;
const QRgb kKey = qRgb(0, 255, 0);
const QRgb kInk = qRgb(40, 20, 60);

void Fill(QImage& frame, const Rects& rects, QRgb colour) {
    for (const QRect& r : rects)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) frame.setPixel(x, y, colour);
}

QImage Frame(const Rects& inked = {}, QRgb background = kKey) {
    QImage frame(kW, kH, QImage::Format_RGB32);
    frame.fill(background);
    Fill(frame, inked, kInk);
    return frame;
}

qint64 Area(const QRegion& r) {
    qint64 a = 0;
    for (const QRect& rect : r) a += qint64(rect.width()) * rect.height();
    return a;
}

// Aligned 2 x 2 blocks that the region covers in part: none in a picture
// blown up from half the size, many along the edges of one drawn at 2.
int MixedBlocks(const QImage& frame) {
    const QRgb key = frame.pixel(0, 0);
    int mixed = 0;
    for (int y = 0; y + 1 < frame.height(); y += 2)
        for (int x = 0; x + 1 < frame.width(); x += 2) {
            const int in = (frame.pixel(x, y) != key) + (frame.pixel(x + 1, y) != key) +
                           (frame.pixel(x, y + 1) != key) + (frame.pixel(x + 1, y + 1) != key);
            mixed += in != 0 && in != 4;
        }
    return mixed;
}

QImage StripFrame(const QString& file, int n, int scale) {
    return LoadPictureFile(QStringLiteral(VELMIO_DIST_DIR "/") + file)
        .copy(n * kW * scale, 0, kW * scale, kH * scale)
        .convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class WindowShapeTest : public QObject {
    Q_OBJECT
public:
    // Regions are computed here, not shown.
    static void initMain() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

private slots:
    void regionIsExactlyTheNonBackgroundPixels_data() {
        QTest::addColumn<QImage>("frame");
        QTest::addColumn<Rects>("expected");
        const auto inked = [](const char* name, const Rects& rects) { QTest::newRow(name) << Frame(rects) << rects; };
        inked("block of three rows", {QRect(10, 5, 10, 3)});
        inked("run to column 94", {QRect(80, 12, 14, 1), QRect(93, 13, 1, 1)});
        Rects dots, chequer;
        for (int x = 1; x < kW; x += 2) dots << QRect(x, 30, 1, 1);
        inked("47 one-pixel runs", dots);
        // 47 runs in each of 138 rows: 25,944 corners, four times what a list
        // of 6,487 points would hold.
        for (int y = 0; y < kH; ++y)
            for (int x = (y + 1) % 2; x < kW; x += 2) chequer << QRect(x, y, 1, 1);
        inked("more runs than the point list holds", chequer);
        inked("all background", {});
        // Rows with equal runs stand next to each other only when no row parts them.
        inked("equal rows with a blank row between", {QRect(5, 40, 56, 1), QRect(5, 42, 56, 1)});
        inked("as many runs, one moved", {QRect(5, 40, 5, 2), QRect(20, 40, 10, 1), QRect(21, 41, 9, 1)});
        inked("everything but the corner", {QRect(1, 0, kW - 1, 1), QRect(0, 1, kW, kH - 1)});
        inked("the whole last row", {QRect(0, kH - 1, kW, 1)});

        QImage colours = Frame({QRect(5, 40, 56, 2)});
        Fill(colours, {QRect(5, 42, 56, 2), QRect(5, 44, 57, 1)}, qRgb(250, 250, 250));
        QTest::newRow("same columns in other colours, then one column more")
            << colours << Rects{QRect(5, 40, 56, 4), QRect(5, 44, 57, 1)};
        // The corner pixel's colour is the background everywhere, whatever it is.
        const QRgb paper = qRgb(200, 100, 50);
        QImage ring = Frame({QRect(20, 20, 30, 40)}, paper);
        Fill(ring, {QRect(30, 30, 5, 5)}, paper);
        QTest::newRow("ring on another background")
            << ring << Rects{QRect(20, 20, 30, 10), QRect(20, 30, 10, 5), QRect(35, 30, 15, 5), QRect(20, 35, 30, 25)};
        // One unit away from the background in one channel, up or down.
        QImage near = Frame({}, qRgb(100, 150, 200));
        near.setPixel(47, 69, qRgb(101, 150, 200));
        near.setPixel(10, 70, qRgb(99, 150, 200));
        near.setPixel(0, 71, qRgb(100, 151, 200));
        near.setPixel(93, 72, qRgb(100, 150, 199));
        QTest::newRow("a colour one unit away")
            << near << Rects{QRect(47, 69, 1, 1), QRect(10, 70, 1, 1), QRect(0, 71, 1, 1), QRect(93, 72, 1, 1)};

        const Rects ink{QRect(10, 10, 20, 30)};
        QTest::newRow("24-bit") << Frame(ink).convertToFormat(QImage::Format_RGB888) << ink;
        QTest::newRow("indexed") << Frame(ink).convertToFormat(QImage::Format_Indexed8) << ink;
        // Only red, green and blue count: the key colour with another alpha is background.
        QImage alpha = Frame(ink).convertToFormat(QImage::Format_ARGB32);
        alpha.setPixel(50, 50, qRgba(0, 255, 0, 10));
        QTest::newRow("alpha alone differs") << alpha << ink;
    }

    void regionIsExactlyTheNonBackgroundPixels() {
        QFETCH(QImage, frame);
        QFETCH(Rects, expected);
        QRegion want;
        for (const QRect& r : expected) want += r;
        QCOMPARE((ShapeRegionFromFrame(frame) ^ want).boundingRect(), QRect());  // where they differ
    }

    void scanAsksToGoOnThreeTimesAndStopsWhenTold() {
        const QImage frame = Frame({QRect(1, 0, kW - 1, kH)});
        int asked = 0;
        const auto whole = ShapeRegionFromFrame(frame, [&] { return ++asked > 0; });
        QCOMPARE(asked, 3);
        QCOMPARE(whole.value_or(QRegion()).boundingRect(), QRect(1, 0, kW - 1, kH));
        asked = 0;
        QVERIFY(!ShapeRegionFromFrame(frame, [&] { return ++asked < 2; }));
        QCOMPARE(asked, 2);
    }

    void outlineAtScaleFollowsOutlineAtOne_data() {
        QTest::addColumn<int>("frame");
        QTest::addColumn<qreal>("ratio");
        const int frames = LoadPictureFile(VELMIO_DIST_DIR "/velmio_s.dat").width() / kW;
        QCOMPARE(LoadPictureFile(VELMIO_DIST_DIR "/velmio_s@2x.dat").size(), QSize(frames * kW * 2, kH * 2));
        for (const qreal ratio : {2.0, 1.5, 1.25})
            for (int n = 0; n < frames; ++n) QTest::addRow("frame %d at %g", n, ratio) << n << ratio;
    }

    // The outline she gets on a scaled screen is her outline at 1, scaled: a
    // frame of the larger strip out of place, out of order or stretched
    // differs along much more than her edge, and so does an outline cut off.
    void outlineAtScaleFollowsOutlineAtOne() {
        QFETCH(int, frame);
        QFETCH(qreal, ratio);
        const QImage one = StripFrame("velmio_s.dat", frame, 1);
        const StripFile file = StripFileFor(AppPaths::ProgramFolder(VELMIO_DIST_DIR), "velmio_s.dat", ratio);
        const QImage art = StripFrame(QFileInfo(file.path).fileName(), frame, file.scale);
        const QImage shown = FrameForDevice(art, QSize(kW, kH), ratio, true);
        QCOMPARE(shown.size(), QSize(kW, kH) * ratio);

        const QRegion scaledUp = QTransform::fromScale(ratio, ratio).map(ShapeRegionFromFrame(one));
        const QRegion outline = ShapeRegionFromFrame(shown);
        const qint64 differing = Area(outline ^ scaledUp);
        QVERIFY2(differing < Area(scaledUp) / 20,
                 qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(differing).arg(Area(scaledUp))));
        // Qt paints her within the logical mask: it must hold every pixel of the outline.
        QCOMPARE(outline - QTransform::fromScale(ratio, ratio).map(LogicalCover(outline, ratio)), QRegion());
        // Drawn at its size, not blown up: its diagonals step by one pixel.
        if (ratio == 2) QVERIFY2(MixedBlocks(shown) > 200, qPrintable(QString::number(MixedBlocks(shown))));
    }

    void stripForRatio_data() {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QString>("ownPicture");  // the user's velmio_s.dat, when there is one; "-": none at all
        QTest::addColumn<QString>("expected");
        QTest::newRow("1") << 1.0 << "" << "share/velmio_s.dat";
        QTest::newRow("1.5") << 1.5 << "" << "share/velmio_s.dat";
        QTest::newRow("1.75") << 1.75 << "" << "share/velmio_s@2x.dat";
        QTest::newRow("2") << 2.0 << "" << "share/velmio_s@2x.dat";
        QTest::newRow("3") << 3.0 << "" << "share/velmio_s@2x.dat";
        QTest::newRow("own picture at 2") << 2.0 << "velmio_s.dat" << "config/velmio_s.dat";
        QTest::newRow("own pictures at 2") << 2.0 << "velmio_s@2x.dat" << "config/velmio_s@2x.dat";
        QTest::newRow("none at 1, at 2") << 2.0 << "-" << "share/velmio_s.dat";
    }

    // Installed: the stock strips in share/, the user's own in the config folder.
    void stripForRatio() {
        QFETCH(qreal, ratio);
        QFETCH(QString, ownPicture);
        QFETCH(QString, expected);
        QTemporaryDir root;
        QDir(root.path()).mkpath("bin");
        QDir(root.path()).mkpath("share/velmio-check");
        QDir(root.path()).mkpath("config/velmio-check");
        const auto put = [&](const QString& file) { QFile(file).open(QIODevice::WriteOnly); };
        if (ownPicture != "-") put(root.filePath("share/velmio-check/velmio_s.dat"));
        put(root.filePath("share/velmio-check/velmio_s@2x.dat"));
        if (!ownPicture.isEmpty() && ownPicture != "-") {
            put(root.filePath("config/velmio-check/velmio_s.dat"));
            put(root.filePath("config/velmio-check/") + ownPicture);
        }
        QProcessEnvironment env;
        env.insert("XDG_CONFIG_HOME", root.filePath("config"));
        const AppPaths paths = AppPaths::Locate(root.filePath("bin"), env);
        const StripFile file = StripFileFor(paths, "velmio_s.dat", ratio);
        QCOMPARE(file.path, root.filePath(expected.replace('/', "/velmio-check/")));
        QCOMPARE(file.scale, expected.contains("@2x") ? 2 : 1);
    }

    // The offscreen platform cuts no window.
    void windowThatCannotBeShapedSaysSoOnce() {
        QVERIFY(!PlatformShapesWindows());
        test::ProgramFolder folder;
        AppState state;
        state.paths = AppPaths::ProgramFolder(folder.path());
        state.settings.Clearness = true;
        test::RecordingMessages msgs;
        Form4 f(state, msgs);
        f.Load();
        f.ShowPicture(1);
        f.ShowPicture(0);
        QCOMPARE(msgs.texts, QStringList{QStringLiteral("フォームの変形に失敗しました。")});
        QCOMPARE(msgs.styles, QList<int>{0});
        QCOMPARE(msgs.captions, QStringList{kAppTitle});
        QVERIFY(f.mask().isEmpty());
        QCOMPARE(f.shownFrame(), 0);
    }
};

QTEST_MAIN(WindowShapeTest)
#include "tst_window_shape.moc"
