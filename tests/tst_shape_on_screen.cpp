#include <QProcess>
#include <QScreen>
#include <QtTest>

#include "character/form4.h"
#include "character/window_shape.h"
#include "core/app_state.h"
#include "support/fakes.h"

using namespace velmio;

namespace {

const QColor kRoot(0x30, 0x60, 0xc0);
// Away from the tray host in the top right corner.
const QPoint kPlace(900, 500);

// Where the screen shows something other than the root colour around a
// background pixel of the frame, or other than the frame's own pixel where
// the character is; empty when every pixel is as it should be.
QString ScreenDifference(const Form4& f) {
    const QImage frame = f.frame().convertToFormat(QImage::Format_RGB32);
    const QRgb background = frame.pixel(0, 0) & 0xFFFFFF;
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, f.x(), f.y(), frame.width(), frame.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    if (shot.size() != frame.size()) return QStringLiteral("screenshot of the wrong size");
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb own = frame.pixel(x, y) & 0xFFFFFF;
            const QRgb want = own == background ? kRoot.rgb() & 0xFFFFFF : own;
            const QRgb seen = shot.pixel(x, y) & 0xFFFFFF;
            if (seen != want)
                return QStringLiteral("pixel (%1, %2): screen #%3, expected #%4")
                    .arg(x)
                    .arg(y)
                    .arg(seen, 6, 16, QLatin1Char('0'))
                    .arg(want, 6, 16, QLatin1Char('0'));
        }
    }
    return QString();
}

int FramesInStrip() {
    return LoadPictureFile(QStringLiteral(VELMIO_DIST_DIR "/velmio_s.dat")).width() /
           Form4::kFrameWidth;
}

struct ShownCharacter {
    test::ProgramFolder folder;
    AppState state;
    test::RecordingMessages msgs;
    std::unique_ptr<Form4> form;

    ShownCharacter() {
        state.AppPath = folder.path();
        state.settings.Clearness = true;
        form = std::make_unique<Form4>(state, msgs);
        form->Load();
        form->move(kPlace);
        form->show();
    }
};

// Shows `frame` after `hops` further trips through the event loop, so that it
// arrives at one of the later points where a running scan lets events run.
void ShowLater(Form4* f, int frame, int hops) {
    QTimer::singleShot(0, f, [f, frame, hops] {
        if (hops == 0)
            f->ShowPicture(frame);
        else
            ShowLater(f, frame, hops - 1);
    });
}

}  // namespace

class ShapeOnScreenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void rootShowsThroughAroundTheCharacter_data();
    void rootShowsThroughAroundTheCharacter();
    void newerPictureFromPendingEventsWins_data();
    void newerPictureFromPendingEventsWins();
    void clicksAroundTheCharacterReachTheWindowBelow();
};

void ShapeOnScreenTest::initTestCase() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server (run under scripts/test-env.sh)");
    QVERIFY(PlatformShapesWindows());
    QCOMPARE(QProcess::execute(QStringLiteral("xsetroot"),
                               {QStringLiteral("-solid"), kRoot.name()}),
             0);
}

void ShapeOnScreenTest::rootShowsThroughAroundTheCharacter_data() {
    QTest::addColumn<int>("frame");
    const int frames = FramesInStrip();
    QVERIFY(frames >= 5);
    for (int n = 0; n < frames; ++n) QTest::addRow("frame %d", n) << n;
}

void ShapeOnScreenTest::rootShowsThroughAroundTheCharacter() {
    QFETCH(int, frame);
    ShownCharacter c;
    QVERIFY(QTest::qWaitForWindowExposed(c.form.get()));
    // A change of picture after the window is up, as every reaction does.
    c.form->ShowPicture(frame);
    QTRY_COMPARE_WITH_TIMEOUT(ScreenDifference(*c.form), QString(), 5000);
    QVERIFY(c.msgs.texts.isEmpty());
}

void ShapeOnScreenTest::newerPictureFromPendingEventsWins_data() {
    QTest::addColumn<int>("hops");
    for (int hops = 0; hops < 5; ++hops) QTest::addRow("after %d trips", hops) << hops;
}

// A timer or socket event served during the scan shows another picture: the
// window ends with that picture in that picture's outline.
void ShapeOnScreenTest::newerPictureFromPendingEventsWins() {
    QFETCH(int, hops);
    ShownCharacter c;
    QVERIFY(QTest::qWaitForWindowExposed(c.form.get()));
    ShowLater(c.form.get(), 2, hops);
    c.form->ShowPicture(4);
    QTRY_COMPARE(c.form->shownFrame(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(ScreenDifference(*c.form), QString(), 5000);
}

// The shape is also the window's input region: a click on the background
// goes to the window below, a click on the character to the character.
void ShapeOnScreenTest::clicksAroundTheCharacterReachTheWindowBelow() {
    QWidget below;
    below.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    below.setGeometry(QRect(kPlace - QPoint(20, 20), QSize(140, 180)));
    int belowPresses = 0;
    struct PressCounter : QObject {
        int* count;
        explicit PressCounter(int* c) : count(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::MouseButtonPress) ++*count;
            return false;
        }
    };
    PressCounter belowCounter(&belowPresses);
    below.installEventFilter(&belowCounter);
    below.show();
    QVERIFY(QTest::qWaitForWindowExposed(&below));

    ShownCharacter c;
    QVERIFY(QTest::qWaitForWindowExposed(c.form.get()));
    int characterPresses = 0;
    PressCounter characterCounter(&characterPresses);
    c.form->installEventFilter(&characterCounter);

    const QImage frame = c.form->frame();
    const QRgb background = frame.pixel(0, 0);
    QPoint ink(-1, -1);
    for (int y = frame.height() / 2; y < frame.height() && ink.x() < 0; ++y)
        for (int x = 0; x < frame.width() && ink.x() < 0; ++x)
            if (frame.pixel(x, y) != background) ink = QPoint(x, y);
    QVERIFY(ink.x() >= 0);

    auto click = [](const QPoint& global) {
        return QProcess::execute(QStringLiteral("xdotool"),
                                 {QStringLiteral("mousemove"), QString::number(global.x()),
                                  QString::number(global.y()), QStringLiteral("click"),
                                  QStringLiteral("1")});
    };
    QCOMPARE(click(c.form->mapToGlobal(QPoint(1, 1))), 0);
    QTRY_COMPARE(belowPresses, 1);
    QCOMPARE(characterPresses, 0);

    QCOMPARE(click(c.form->mapToGlobal(ink)), 0);
    QTRY_COMPARE(characterPresses, 1);
    QCOMPARE(belowPresses, 1);
}

QTEST_MAIN(ShapeOnScreenTest)
#include "tst_shape_on_screen.moc"
