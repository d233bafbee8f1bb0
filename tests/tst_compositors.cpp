#include <QProcess>
#include <QtTest>
#include <csignal>
#include <map>

#include "app/tray_icon.h"
#include "support/desktop.h"
#include "support/dovecot.h"
#include "support/real_part.h"

using namespace velmio;
using test::Desktop;
using test::XWindow;

namespace {

// Her saved top left at 600, 300 (in twips at 96 dpi); an ordinary window covers her right.
const QByteArray kSavedIni = "[System]\r\nXpos=4500\r\nYpos=9000\r\n";
const QStringList kXterm = {"-geometry", "60x24+650+20"};
const QStringList kTrayer = {"--edge", "bottom", "--widthtype", "pixel", "--width", "60"};

// Long enough for her to notice a tray host that came or went.
constexpr int kTrayPollMs = 2 * TrayIcon::kHostPollMs + 500;

bool IsHer(const XWindow& w) { return w.rect.size() == QSize(94, 138); }

// xdotool's words for a click on her, left of where the ordinary window covers her.
QStringList ClickOn(const XWindow& her, int button) {
    const QPoint at = her.rect.topLeft() + QPoint(20, 100);
    return {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", QString::number(button)};
}

// Her windows that the window manager keeps (not the tray icon nor the menu).
QList<XWindow> managed(const Desktop& d) {
    QList<XWindow> list = d.windows("velmio");
    if (d.kind() != "screens") list.removeIf([](const XWindow& w) { return w.stack < 0; });
    return list;
}

// Her menu by a right click on her, and 部屋に戻す(&I) by its key; false when no menu opened.
bool putAway(const Desktop& d, const XWindow& her) {
    const qsizetype before = d.windows("velmio").size();
    d.run("xdotool", ClickOn(her, 3));
    const bool menu = QTest::qWaitFor([&] { return d.windows("velmio").size() > before; }, 5000);
    d.run("xdotool", {"key", "i"});
    QTest::qWait(500);
    return menu;
}

}  // namespace

// The built program on the desktops people use, through XWayland: GNOME
// Shell and KWin started for these tests, and a bare X server of two screens.
class CompositorsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cleanupTestCase() { desktops_.clear(); }
    void standsAboveWithHerBalloon_data();
    void standsAboveWithHerBalloon();
    void withoutTray();
    void newMailReachesTheShell();
    void severalScreens_data();
    void severalScreens();

private:
    Desktop* desktop(const QString& kind);
    // The program on a settings file of these lines, or another program.
    QProcess* start(Desktop& d, const QByteArray& ini) {
        QFile file(folder_->filePath("velmio.ini"));
        if (!ini.isEmpty() && file.open(QIODevice::WriteOnly)) file.write(ini);
        return start(d, folder_->filePath("velmio"), {});
    }
    QProcess* start(Desktop& d, const QString& program, const QStringList& args);
    // Her window and her balloon, once both are shown.
    bool both(Desktop& d, XWindow* her, XWindow* balloon);
    void drag(Desktop& d, const QPoint& from, const QPoint& to);
    bool shown(Desktop& d, const QString& wmClass, int count) { return d.windows(wmClass).size() == count; }

    std::map<QString, std::unique_ptr<Desktop>> desktops_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QTemporaryDir> runtime_;
    QList<QProcess*> processes_;
};

Desktop* CompositorsTest::desktop(const QString& kind) {
    auto& d = desktops_[kind];
    if (!d) d = std::make_unique<Desktop>(kind);
    return d->started() ? d.get() : nullptr;
}

void CompositorsTest::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    runtime_ = std::make_unique<QTemporaryDir>();
    for (const char* f : {"velmio", "velmio.dat", "velmio_s.dat", "velmio.tbl"})
        QVERIFY(QFile::copy(QStringLiteral(VELMIO_DIST_DIR "/") + f, folder_->filePath(f)));
    QFile::setPermissions(folder_->filePath("velmio"), QFile::permissions(QStringLiteral(VELMIO_DIST_DIR "/velmio")));
}

void CompositorsTest::cleanup() {
    for (QProcess* p : processes_) {
        p->kill();
        p->waitForFinished(3000);
        delete p;
    }
    processes_.clear();
}

QProcess* CompositorsTest::start(Desktop& d, const QString& program, const QStringList& args) {
    auto* p = new QProcess;
    processes_ << p;
    QProcessEnvironment env = d.environment();
    env.insert("XDG_RUNTIME_DIR", runtime_->path());
    p->setProcessEnvironment(env);
    p->start(program, args);
    p->waitForStarted(5000);
    return p;
}

bool CompositorsTest::both(Desktop& d, XWindow* her, XWindow* balloon) {
    return QTest::qWaitFor([&] {
        const QList<XWindow> shown = managed(d);
        if (shown.size() != 2) return false;
        *her = IsHer(shown[0]) ? shown[0] : shown[1];
        *balloon = IsHer(shown[0]) ? shown[1] : shown[0];
        return IsHer(*her) && !IsHer(*balloon);
    }, 20000);
}

void CompositorsTest::drag(Desktop& d, const QPoint& from, const QPoint& to) {
    QStringList steps = {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"};
    for (int i = 1; i <= 5; ++i) {
        const QPoint at = from + (to - from) * i / 5;
        steps << "sleep" << "0.05" << "mousemove" << QString::number(at.x()) << QString::number(at.y());
    }
    d.run("xdotool", steps << "sleep" << "0.1" << "mouseup" << "1");
}

void CompositorsTest::standsAboveWithHerBalloon_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("alwaysActive");
    QTest::addColumn<int>("top");  // where her place was saved
    for (const char* kind : {"gnome", "kwin"}) {
        QTest::addRow("%s, AlwaysActive", kind) << kind << true << 300;
        // GNOME's top bar is there: she and her balloon stand below it.
        QTest::addRow("%s, not on top, at the top edge", kind) << kind << false << 0;
    }
}

// At the saved place, above an ordinary window while AlwaysActive is on even
// when that window is activated; the balloon beside her and directly above
// her whatever raises her; her menu opens; a drag keeps her where it ended,
// also at the next start.
void CompositorsTest::standsAboveWithHerBalloon() {
    QFETCH(QString, kind);
    QFETCH(bool, alwaysActive);
    QFETCH(int, top);
    Desktop* d = desktop(kind);
    REQUIRE_REAL_PART(d, "the compositor");
    // "_NET_WORKAREA(CARDINAL) = 0, 32, 1280, 768"
    const int areaTop = d->run("xprop", {"-root", "_NET_WORKAREA"}).section(',', 1, 1).toInt();
    start(*d, "xterm", kXterm);
    QTRY_VERIFY_WITH_TIMEOUT(shown(*d, "xterm", 1), 10000);
    QProcess* program = start(*d, "[System]\r\nXpos=" + QByteArray::number(top * 15) + "\r\nYpos=9000\r\nAlwaysActive=" +
                                      (alwaysActive ? "1" : "0") + "\r\n");
    XWindow her, balloon;
    QVERIFY(both(*d, &her, &balloon));
    QCOMPARE(her.rect.topLeft(), QPoint(600, qMax(top, areaTop)));
    QCOMPARE(balloon.rect.right() + 1, her.rect.left());
    QCOMPARE(balloon.rect.top(), her.rect.top() + her.rect.height() / 2);
    QCOMPARE(her.above, alwaysActive);
    // Neither window is listed in GNOME's window switcher.
    if (kind == "gnome") QVERIFY(!d->eval("global.display.get_tab_list(0, null).map(w => w.get_wm_class()).join()").contains("velmio"));

    const QString xterm = d->windows("xterm").value(0).id;
    d->run("xdotool", {"windowactivate", "--sync", xterm});
    QTest::qWait(300);
    QVERIFY(both(*d, &her, &balloon));
    const int xtermStack = d->windows("xterm").value(0).stack;
    QCOMPARE(her.stack > xtermStack, alwaysActive);
    QVERIFY(balloon.stack > her.stack);

    // A click raises her; her balloon comes along.
    d->run("xdotool", ClickOn(her, 1));
    QTest::qWait(300);
    QVERIFY(both(*d, &her, &balloon));
    QVERIFY(her.stack > d->windows("xterm").value(0).stack);
    QCOMPARE(balloon.stack, her.stack + 1);

    d->run("xdotool", ClickOn(her, 3));
    QTRY_VERIFY_WITH_TIMEOUT(shown(*d, "velmio", 3), 5000);  // the menu
    d->run("xdotool", {"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(shown(*d, "velmio", 2), 5000);

    const QPoint dropped = her.rect.topLeft() + QPoint(-250, 120);
    drag(*d, her.rect.topLeft() + QPoint(20, 100), dropped + QPoint(20, 100));
    QTRY_VERIFY_WITH_TIMEOUT(both(*d, &her, &balloon) && her.rect.topLeft() == dropped, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(both(*d, &her, &balloon) && balloon.rect.right() + 1 == her.rect.left(), 5000);
    ::kill(pid_t(program->processId()), SIGTERM);
    QVERIFY(program->waitForFinished(5000));
    start(*d, QByteArray());
    QVERIFY(both(*d, &her, &balloon));
    QCOMPARE(her.rect.topLeft(), dropped);
}

// Vanilla GNOME has no tray: she cannot be put away where nothing calls her
// back; a tray that comes later takes her, a second start or the tray going
// away brings her back.
void CompositorsTest::withoutTray() {
    Desktop* d = desktop("gnome");
    REQUIRE_REAL_PART(d, "GNOME Shell");
    start(*d, kSavedIni);
    XWindow her, balloon;
    QVERIFY(both(*d, &her, &balloon));
    QVERIFY(putAway(*d, her));
    d->run("xdotool", {"key", "Escape"});
    QVERIFY(both(*d, &her, &balloon));  // greyed: she stayed

    QProcess* tray = start(*d, "trayer", kTrayer);
    QTest::qWait(kTrayPollMs);
    QVERIFY(putAway(*d, her));
    QTRY_VERIFY_WITH_TIMEOUT(managed(*d).isEmpty(), 5000);
    QVERIFY(!d->windows("velmio").isEmpty());  // the icon in the tray
    QProcess* second = start(*d, QByteArray());
    QTRY_VERIFY_WITH_TIMEOUT(!d->run("xdotool", {"search", "--onlyvisible", "--name", "Velmioチェック"}).isEmpty(), 10000);
    second->kill();
    second->waitForFinished(3000);
    QVERIFY(both(*d, &her, &balloon));

    QVERIFY(putAway(*d, her));
    QTRY_VERIFY_WITH_TIMEOUT(managed(*d).isEmpty(), 5000);
    tray->kill();
    QVERIFY(both(*d, &her, &balloon));
}

// Put away, she tells of new mail through GNOME Shell's own notifications.
void CompositorsTest::newMailReachesTheShell() {
    Desktop* d = desktop("gnome");
    REQUIRE_REAL_PART(d, "GNOME Shell");
    const std::optional<quint16> port = test::Dovecot::Port("VELMIO_IMAP_PORT");
    REQUIRE_REAL_PART(port, "Dovecot (VELMIO_IMAP_PORT)");
    QVERIFY(test::Dovecot::SetMessageCount("carol", 0));
    start(*d, "trayer", kTrayer);
    start(*d, kSavedIni + "Protocol=1\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(*port) +
                  "\r\nLoginName=carol\r\nLoginPass=secret\r\nSavePassword=1\r\nAutoCheck=1\r\n");
    XWindow her, balloon;
    QVERIFY(both(*d, &her, &balloon));
    QTest::qWait(kTrayPollMs);
    QVERIFY(putAway(*d, her));
    QTRY_VERIFY_WITH_TIMEOUT(managed(*d).isEmpty(), 5000);
    QVERIFY(test::Dovecot::Deliver("carol", "Hanako Sato <hanako@example.jp>", "Lunch on Friday"));
    const QString notes = "Main.messageTray.getSources().map(s => s.notifications.map("
                          "n => n.title + ' ' + n.bannerBodyText).join(' ')).join(' ')";
    QTRY_VERIFY_WITH_TIMEOUT(d->eval(notes).contains("Lunch on Friday"), 20000);
    // Its "見る" pressed in the shell, as a click would: she comes back out.
    const QString press = "Main.messageTray.getSources().flatMap(s => s.notifications).flatMap(n => n.actions || [])"
                          ".find(a => a.label == '見る').callback(); 'pressed'";
    QVERIFY(d->eval(press).contains("pressed"));
    QTRY_VERIFY_WITH_TIMEOUT(!managed(*d).isEmpty(), 10000);
}

void CompositorsTest::severalScreens_data() {
    QTest::addColumn<QPoint>("saved");    // her top left, pixels
    QTest::addColumn<QPoint>("dragged");  // by
    QTest::addColumn<QPoint>("place");    // where she then stands
    QTest::addColumn<bool>("atRight");    // the balloon at her right
    QTest::newRow("saved on a screen since unplugged") << QPoint(3000, 300) << QPoint() << QPoint(1186, 300) << false;
    QTest::newRow("dragged onto the other screen") << QPoint(1100, 300) << QPoint(190, 0) << QPoint(1290, 300) << true;
    QTest::newRow("dropped half off the bottom") << QPoint(300, 300) << QPoint(0, 450) << QPoint(300, 662) << false;
    QTest::newRow("dropped half off the last edge") << QPoint(2300, 300) << QPoint(220, 0) << QPoint(2466, 300) << false;
}

// Two screens side by side, the left one primary: she stands wholly on one,
// her balloon beside her on the same one.
void CompositorsTest::severalScreens() {
    QFETCH(QPoint, saved);
    QFETCH(QPoint, dragged);
    QFETCH(QPoint, place);
    QFETCH(bool, atRight);
    Desktop* d = desktop("screens");
    REQUIRE_REAL_PART(d, "the X server of two screens");
    start(*d, "[System]\r\nXpos=" + QByteArray::number(saved.y() * 15) + "\r\nYpos=" + QByteArray::number(saved.x() * 15) + "\r\n");
    XWindow her, balloon;
    QVERIFY(both(*d, &her, &balloon));
    const QPoint grip = her.rect.topLeft() + QPoint(47, 100);
    if (!dragged.isNull()) drag(*d, grip, grip + dragged);
    QTRY_VERIFY_WITH_TIMEOUT(both(*d, &her, &balloon) && her.rect.topLeft() == place, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(both(*d, &her, &balloon) && balloon.rect.top() == her.rect.top() + 69, 5000);
    QCOMPARE(balloon.rect.left() == her.rect.right() + 1, atRight);
    QCOMPARE(balloon.rect.right() + 1 == her.rect.left(), !atRight);
    const QRect screen(her.rect.left() < 1280 ? 0 : 1280, 0, 1280, 800);
    QVERIFY2(screen.contains(balloon.rect), qPrintable(QStringLiteral("balloon at %1,%2").arg(balloon.rect.x()).arg(balloon.rect.y())));
}

QTEST_GUILESS_MAIN(CompositorsTest)
#include "tst_compositors.moc"
