#include <QApplication>
#include <QPainter>
#include <QtTest>

#include "character/form4.h"
#include "character/window_shape.h"
#include "core/app_state.h"
#include "support/fakes.h"

using namespace velmio;

namespace {

constexpr int kW = Form4::kFrameWidth;
constexpr int kH = Form4::kFrameHeight;
const QRgb kKey = qRgb(0, 255, 0);
const QRgb kInk = qRgb(40, 20, 60);

QImage Blank(QRgb background = kKey) {
    QImage frame(kW, kH, QImage::Format_RGB32);
    frame.fill(background);
    return frame;
}

void Paint(QImage& frame, const QRect& r, QRgb colour) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) frame.setPixel(x, y, colour);
}

// The first pixel, in or around the frame, where the region and the expected
// pixels part; empty when they are the same set.
QString FirstDifference(const QRegion& region, const QVector<QRect>& expected) {
    for (int y = -1; y <= kH; ++y) {
        for (int x = -1; x <= kW; ++x) {
            const QPoint p(x, y);
            bool want = false;
            for (const QRect& r : expected) want = want || r.contains(p);
            if (region.contains(p) != want)
                return QStringLiteral("pixel (%1, %2): region %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(region.contains(p) ? "in" : "out", want ? "in" : "out");
        }
    }
    return QString();
}

}  // namespace

class WindowShapeTest : public QObject {
    Q_OBJECT
private slots:
    void regionIsExactlyTheNonBackgroundPixels_data();
    void regionIsExactlyTheNonBackgroundPixels();
    void frameOfOtherPixelFormats_data();
    void frameOfOtherPixelFormats();
    void moreRunsThanThePointListHolds();
    void scanAsksToGoOnThreeTimesAndStopsWhenTold();
    void windowThatCannotBeShapedSaysSoOnce();
};

void WindowShapeTest::regionIsExactlyTheNonBackgroundPixels_data() {
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<QVector<QRect>>("expected");

    QImage block = Blank();
    Paint(block, QRect(QPoint(10, 5), QPoint(19, 7)), kInk);
    QTest::newRow("block of three rows") << block << QVector<QRect>{QRect(10, 5, 10, 3)};

    QImage toEdge = Blank();
    Paint(toEdge, QRect(QPoint(80, 12), QPoint(93, 12)), kInk);
    toEdge.setPixel(93, 13, kInk);
    QTest::newRow("run to column 93")
        << toEdge << QVector<QRect>{QRect(80, 12, 14, 1), QRect(93, 13, 1, 1)};

    QImage alternating = Blank();
    QVector<QRect> dots;
    for (int x = 1; x < kW; x += 2) {
        alternating.setPixel(x, 30, kInk);
        dots << QRect(x, 30, 1, 1);
    }
    QTest::newRow("47 one-pixel runs") << alternating << dots;

    QTest::newRow("all background") << Blank() << QVector<QRect>{};

    // The corner pixel belongs to the drawing: its colour is the background
    // everywhere, also inside the character.
    QImage corner = Blank(kInk);
    Paint(corner, QRect(20, 20, 30, 40), qRgb(200, 100, 50));
    Paint(corner, QRect(30, 30, 5, 5), kInk);
    QTest::newRow("corner pixel is part of the drawing")
        << corner
        << QVector<QRect>{QRect(20, 20, 30, 10), QRect(20, 30, 10, 5), QRect(35, 30, 15, 5),
                          QRect(20, 35, 30, 25)};

    const QRgb bg = qRgb(100, 150, 200);
    const QList<QPair<const char*, QRgb>> nearColours = {{"red one above", qRgb(101, 150, 200)},
                                                         {"red one below", qRgb(99, 150, 200)},
                                                         {"green one above", qRgb(100, 151, 200)},
                                                         {"blue one below", qRgb(100, 150, 199)}};
    for (const auto& [name, colour] : nearColours) {
        QImage near = Blank(bg);
        near.setPixel(47, 69, colour);
        QTest::newRow(name) << near << QVector<QRect>{QRect(47, 69, 1, 1)};
    }

    // Rows with equal runs stand next to each other only when no row parts them.
    QImage gap = Blank();
    Paint(gap, QRect(QPoint(5, 40), QPoint(60, 40)), kInk);
    Paint(gap, QRect(QPoint(5, 42), QPoint(60, 42)), kInk);
    QTest::newRow("equal rows with a blank row between")
        << gap << QVector<QRect>{QRect(5, 40, 56, 1), QRect(5, 42, 56, 1)};

    QImage colours = Blank();
    Paint(colours, QRect(QPoint(5, 40), QPoint(60, 41)), kInk);
    Paint(colours, QRect(QPoint(5, 42), QPoint(60, 43)), qRgb(250, 250, 250));
    Paint(colours, QRect(QPoint(5, 44), QPoint(61, 44)), qRgb(250, 250, 250));
    QTest::newRow("same columns in other colours, then one column more")
        << colours << QVector<QRect>{QRect(5, 40, 56, 4), QRect(5, 44, 57, 1)};

    QImage shifted = Blank();
    Paint(shifted, QRect(QPoint(5, 40), QPoint(9, 40)), kInk);
    Paint(shifted, QRect(QPoint(20, 40), QPoint(29, 40)), kInk);
    Paint(shifted, QRect(QPoint(5, 41), QPoint(9, 41)), kInk);
    Paint(shifted, QRect(QPoint(21, 41), QPoint(29, 41)), kInk);
    QTest::newRow("as many runs, one moved")
        << shifted
        << QVector<QRect>{QRect(5, 40, 5, 2), QRect(20, 40, 10, 1), QRect(21, 41, 9, 1)};

    QImage full = Blank();
    full.fill(kInk);
    full.setPixel(0, 0, kKey);
    QTest::newRow("everything but the corner")
        << full << QVector<QRect>{QRect(1, 0, kW - 1, 1), QRect(0, 1, kW, kH - 1)};

    QImage lastRow = Blank();
    Paint(lastRow, QRect(QPoint(0, kH - 1), QPoint(kW - 1, kH - 1)), kInk);
    QTest::newRow("the whole last row") << lastRow << QVector<QRect>{QRect(0, kH - 1, kW, 1)};
}

void WindowShapeTest::regionIsExactlyTheNonBackgroundPixels() {
    QFETCH(QImage, frame);
    QFETCH(QVector<QRect>, expected);
    const QRegion region = ShapeRegionFromFrame(frame);
    QCOMPARE(FirstDifference(region, expected), QString());
}

void WindowShapeTest::frameOfOtherPixelFormats_data() {
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<QVector<QRect>>("expected");
    QImage base = Blank();
    Paint(base, QRect(10, 10, 20, 30), kInk);
    const QVector<QRect> ink{QRect(10, 10, 20, 30)};
    QTest::newRow("24-bit") << base.convertToFormat(QImage::Format_RGB888) << ink;
    QTest::newRow("indexed") << base.convertToFormat(QImage::Format_Indexed8) << ink;

    // Only red, green and blue count: a pixel of the key colour with another
    // alpha is still background.
    QImage alpha = base.convertToFormat(QImage::Format_ARGB32);
    alpha.setPixel(50, 50, qRgba(0, 255, 0, 10));
    QTest::newRow("alpha alone differs") << alpha << ink;
}

void WindowShapeTest::frameOfOtherPixelFormats() {
    QFETCH(QImage, frame);
    QFETCH(QVector<QRect>, expected);
    QCOMPARE(FirstDifference(ShapeRegionFromFrame(frame), expected), QString());
}

// 47 runs in each of 138 rows: 25,944 corners, four times what a list of
// 6,487 points would hold.
void WindowShapeTest::moreRunsThanThePointListHolds() {
    QImage chequer = Blank();
    QVector<QRect> expected;
    for (int y = 0; y < kH; ++y) {
        for (int x = (y + 1) % 2; x < kW; x += 2) {
            chequer.setPixel(x, y, kInk);
            expected << QRect(x, y, 1, 1);
        }
    }
    QCOMPARE(expected.size(), 47 * kH);
    const QRegion region = ShapeRegionFromFrame(chequer);
    QCOMPARE(FirstDifference(region, expected), QString());
}

void WindowShapeTest::scanAsksToGoOnThreeTimesAndStopsWhenTold() {
    QImage frame = Blank();
    Paint(frame, QRect(1, 0, kW - 1, kH), kInk);
    int asked = 0;
    const auto whole = ShapeRegionFromFrame(frame, [&] { return ++asked > 0; });
    QCOMPARE(asked, 3);
    QVERIFY(whole.has_value());
    QCOMPARE(whole->boundingRect(), QRect(1, 0, kW - 1, kH));

    asked = 0;
    const auto abandoned = ShapeRegionFromFrame(frame, [&] { return ++asked < 2; });
    QCOMPARE(asked, 2);
    QVERIFY(!abandoned.has_value());
}

// This test runs on the offscreen platform, which cuts no window.
void WindowShapeTest::windowThatCannotBeShapedSaysSoOnce() {
    QVERIFY(!PlatformShapesWindows());
    test::ProgramFolder folder;
    AppState state;
    state.AppPath = folder.path();
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

int main(int argc, char** argv) {
    // Regions are computed here, not shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowShapeTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_shape.moc"
