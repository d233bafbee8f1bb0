#include <QProcess>
#include <QScreen>
#include <QtTest>

#include "character/form4.h"
#include "character/window_shape.h"
#include "core/app_state.h"
#include "support/fakes.h"
#include "support/real_part.h"

using namespace velmio;

namespace {

const QColor kRoot(0x30, 0x60, 0xc0);

// Away from the tray host in the top right corner, on a whole device pixel
// at every scale the tests run at (QT_SCALE_FACTOR 1, 1.5, 2).
QPoint Place() {
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    return QPoint(centre.x() & ~3, centre.y() & ~3);
}

// What the screen shows where the character stands, in device pixels, and
// what it should show: her own pixels, and the root colour where the frame
// has background.
QImage Shot(const Form4& f) {
    QImage shot = QGuiApplication::primaryScreen()
                      ->grabWindow(0, f.x(), f.y(), f.width(), f.height())
                      .toImage()
                      .convertToFormat(QImage::Format_RGB32);
    shot.setDevicePixelRatio(f.frame().devicePixelRatio());
    return shot;
}
QImage Expected(const Form4& f) {
    QImage want = f.frame().convertToFormat(QImage::Format_RGB32);
    const QRgb background = want.pixel(0, 0);
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if (want.pixel(x, y) == background) want.setPixel(x, y, kRoot.rgb());
    return want;
}

struct ShownCharacter {
    test::ProgramFolder folder;
    AppState state;
    test::RecordingMessages msgs;
    std::unique_ptr<Form4> form;

    ShownCharacter() {
        state.paths = AppPaths::ProgramFolder(folder.path());
        state.settings.Clearness = true;
        form = std::make_unique<Form4>(state, msgs);
        form->Load();
        form->move(Place());
        form->show();
    }
};

// Shows `frame` after `hops` further trips through the event loop, so that it
// arrives at one of the later points where a running scan lets events run.
void ShowLater(Form4* f, int frame, int hops) {
    QTimer::singleShot(0, f, [f, frame, hops] { hops == 0 ? f->ShowPicture(frame) : ShowLater(f, frame, hops - 1); });
}

// Counts the presses that reach the object it watches.
struct PressCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        presses += e->type() == QEvent::MouseButtonPress;
        return false;
    }
};

}  // namespace

class ShapeOnScreenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        REQUIRE_REAL_PART(QGuiApplication::platformName() == QLatin1String("xcb"), "X server");
        QVERIFY(PlatformShapesWindows());
        QCOMPARE(QProcess::execute("xsetroot", {"-solid", kRoot.name()}), 0);
    }

    void rootShowsThroughAroundTheCharacter_data() {
        QTest::addColumn<int>("frame");
        const int frames = LoadPictureFile(VELMIO_DIST_DIR "/velmio_s.dat").width() / Form4::kFrameWidth;
        QVERIFY(frames >= 5);
        for (int n = 0; n < frames; ++n) QTest::addRow("frame %d", n) << n;
    }

    // A change of picture after the window is up, as every reaction does.
    void rootShowsThroughAroundTheCharacter() {
        QFETCH(int, frame);
        ShownCharacter c;
        QVERIFY(QTest::qWaitForWindowExposed(c.form.get()));
        c.form->ShowPicture(frame);
        QTRY_COMPARE_WITH_TIMEOUT(Shot(*c.form), Expected(*c.form), 5000);
        QVERIFY(c.msgs.texts.isEmpty());
        // As large as her outline at 1 scaled, give or take a pixel of that size.
        const qreal ratio = c.form->devicePixelRatioF();
        const QImage one = LoadPictureFile(VELMIO_DIST_DIR "/velmio_s.dat")
                               .copy(frame * Form4::kFrameWidth, 0, Form4::kFrameWidth, Form4::kFrameHeight);
        const QRectF want = QTransform::fromScale(ratio, ratio).mapRect(QRectF(ShapeRegionFromFrame(one).boundingRect()));
        const QRect seen = ShapeRegionFromFrame(Shot(*c.form)).boundingRect();
        QVERIFY2(qAbs(seen.left() - want.left()) <= ratio && qAbs(seen.top() - want.top()) <= ratio &&
                     qAbs(seen.right() + 1 - want.right()) <= ratio && qAbs(seen.bottom() + 1 - want.bottom()) <= ratio,
                 qPrintable(QStringLiteral("seen %1,%2 %3x%4").arg(seen.x()).arg(seen.y()).arg(seen.width()).arg(seen.height())));
    }

    void newerPictureFromPendingEventsWins_data() {
        QTest::addColumn<int>("hops");
        for (int hops = 0; hops < 5; ++hops) QTest::addRow("after %d trips", hops) << hops;
    }

    // A timer or socket event served during the scan shows another picture: the
    // window ends with that picture in that picture's outline.
    void newerPictureFromPendingEventsWins() {
        QFETCH(int, hops);
        ShownCharacter c;
        QVERIFY(QTest::qWaitForWindowExposed(c.form.get()));
        ShowLater(c.form.get(), 2, hops);
        c.form->ShowPicture(4);
        QTRY_COMPARE(c.form->shownFrame(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(Shot(*c.form), Expected(*c.form), 5000);
    }

    // The shape is also the window's input region: a click on the background
    // goes to the window below, a click on the character to the character.
    void clicksAroundTheCharacterReachTheWindowBelow() {
        QWidget below;
        below.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
        below.setGeometry(QRect(Place() - QPoint(20, 20), QSize(140, 180)));
        PressCounter belowPresses, characterPresses;
        below.installEventFilter(&belowPresses);
        below.show();
        QVERIFY(QTest::qWaitForWindowExposed(&below));
        ShownCharacter c;
        QVERIFY(QTest::qWaitForWindowExposed(c.form.get()));
        c.form->installEventFilter(&characterPresses);

        // In device pixels, which xdotool speaks.
        const qreal ratio = c.form->devicePixelRatioF();
        const QRegion outline = ShapeRegionFromFrame(c.form->frame());
        QVERIFY(!outline.isEmpty());
        const QPoint ink = outline.begin()->center();
        const auto click = [&](const QPoint& at) {
            const QPoint g = c.form->mapToGlobal(QPoint(0, 0)) * ratio + at;
            const QStringList args{"mousemove", QString::number(g.x()), QString::number(g.y()), "click", "1"};
            return QProcess::execute("xdotool", args);
        };
        QCOMPARE(click(QPoint(1, 1)), 0);
        QTRY_COMPARE(belowPresses.presses, 1);
        QCOMPARE(characterPresses.presses, 0);
        QCOMPARE(click(ink), 0);
        QTRY_COMPARE(characterPresses.presses, 1);
        QCOMPARE(belowPresses.presses, 1);
    }
};

QTEST_MAIN(ShapeOnScreenTest)
#include "tst_shape_on_screen.moc"
