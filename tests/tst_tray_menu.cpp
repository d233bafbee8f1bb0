#include <QProcess>
#include <QSystemTrayIcon>
#include <QWindow>
#include <QtTest>

#include "app/popup_menu.h"
#include "app/tray_icon.h"
#include "platform/profile_file.h"
#include "platform/twips.h"
#include "platform/window_order.h"
#include "support/shell_fixture.h"

using namespace velmio;
using test::ShellFixture;

namespace {

// The character at a known place on the screen, the balloon beside her.
const QString kPlaced = QStringLiteral("[System]\nXpos=3000\nYpos=9000\n");

// A real click of the mouse at a place on the screen, through the X server.
void ClickAt(const QPoint& global, int button) {
    QProcess::execute("xdotool", {"mousemove", QString::number(global.x()),
                                  QString::number(global.y()), "click", QString::number(button)});
}

void ClickTray(ShellFixture& f, int button) {
    QSystemTrayIcon* icon = f.form1->tray()->icon();
    QTRY_VERIFY(!icon->geometry().isEmpty());
    // The tray lays its icons out again as they come and go: wait for a rest.
    QRect settled;
    for (int i = 0; i < 50 && settled != icon->geometry(); ++i) {
        settled = icon->geometry();
        QTest::qWait(100);
    }
    ClickAt(settled.center(), button);
}

bool OnTop(QWidget* w) {
    return w->windowHandle() && w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
}

void SendMouse(QWidget* w, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(global - w->pos()), QPointF(global), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Press, move by steps and release the left button, as a drag by hand.
void Drag(QWidget* w, const QPoint& by, const std::function<void()>& midway = {}) {
    const QPoint start = w->pos() + QPoint(10, 10);
    SendMouse(w, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 4; ++i)
        SendMouse(w, QEvent::MouseMove, start + by * i / 4, Qt::NoButton, Qt::LeftButton);
    if (midway) midway();
    SendMouse(w, QEvent::MouseButtonRelease, start + by, Qt::LeftButton, Qt::NoButton);
}

}  // namespace

class TrayMenuTest : public QObject {
    Q_OBJECT
private slots:
    void trayIconIsReallyThere();
    void menuItemsCaptionsAndOrder();
    void marksFromStoredSettings_data();
    void marksFromStoredSettings();
    void displayModeSequences_data();
    void displayModeSequences();
    void autoCheckSwitchesTheTimerOnly();
    void charHideToggles();
    void alwaysActiveToggles();
    void returnToTrayAndLeftClickBack_data();
    void returnToTrayAndLeftClickBack();
    void leftClickWithDialogOpenDoesNothing();
    void rightClickOnTrayOpensTheMenu();
    void dialogModalStepsAside_data();
    void dialogModalStepsAside();
    void cancelledDialogAfterConfirmedOneWritesAgain();
    void doubleClickAction_data();
    void doubleClickAction();
    void balloonDoubleClickWaitsForRunningCheck();
    void dragBalloonMovesCharacterOnRelease();
    void dragCharacterMovesBalloonOnRelease();
    void exitRemovesIconAndStoresPlace();
    void tipIsCutTo63Bytes();
    void rightButtonOnEitherWindowOpensTheMenu_data();
    void rightButtonOnEitherWindowOpensTheMenu();
    void setTopMostModes_data();
    void setTopMostModes();
};

void TrayMenuTest::trayIconIsReallyThere() {
    QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
    ShellFixture f;
    QVERIFY(f.start());
    QSystemTrayIcon* icon = f.form1->tray()->icon();
    QVERIFY(icon->isVisible());
    QTRY_VERIFY(!icon->geometry().isEmpty());  // embedded in the tray
    QCOMPARE(icon->toolTip(), QStringLiteral("MailChecker Velmio"));
    QVERIFY(!f.form1->tray()->letterShown());
    f.form1->UpdateTrayIcon(QStringLiteral("　新着 2件/全 5件"), 2);
    QCOMPARE(icon->toolTip(), QStringLiteral("MailChecker Velmio　新着 2件/全 5件"));
    QVERIFY(f.form1->tray()->letterShown());
    f.form1->UpdateTrayIcon(QStringLiteral("　新着 0件/全: 5件"), 0);
    QVERIFY(!f.form1->tray()->letterShown());
}

void TrayMenuTest::menuItemsCaptionsAndOrder() {
    ShellFixture f;
    QVERIFY(f.start());
    const QList<QPair<QString, QString>> expected = {
        {"mnuMailCheck", "ﾒｰﾙが来たか教えて欲しいんだけど(&N)"},
        {"mnuSub", "何件来たか(&S)"},
        {"mnuAutoCheck", "着信を見といてくれる？(&C)"},
        {"mnuSplit0", ""},
        {"mnuCharHide", "こっそり教えて(&H)"},
        {"mnuAlwaysActive", "前面において見つめる(&T)"},
        {"mnuReturnTary", "部屋に戻す(&I)"},
        {"mnuSplit", ""},
        {"mnuOption", "Velmioに教える(&O)..."},
        {"mnuVersion", "Velmioのﾌﾟﾛﾌｨｰﾙ(&A)"},
        {"mnuSplit2", ""},
        {"mnuExit", "おやすみ…Velmio(&X)"},
    };
    const QList<QAction*> items = f.form1->menu()->actions();
    QCOMPARE(items.size(), expected.size());
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(items[i]->objectName(), expected[i].first);
        QCOMPARE(items[i]->isSeparator(), expected[i].second.isEmpty());
        if (!items[i]->isSeparator()) QCOMPARE(items[i]->text(), expected[i].second);
    }
    const QList<QAction*> sub = f.form1->menu()->countModes()->actions();
    QCOMPARE(sub.size(), 4);
    QCOMPARE(sub[0]->objectName(), QStringLiteral("mnuNoDiff"));
    QCOMPARE(sub[0]->text(), QStringLiteral("全部教えて(&N)"));
    QCOMPARE(sub[1]->objectName(), QStringLiteral("mnuDiff"));
    QCOMPARE(sub[1]->text(), QStringLiteral("前回ﾁｪｯｸ時から何件？(&T)"));
    QCOMPARE(sub[2]->objectName(), QStringLiteral("mnuLastTime"));
    QCOMPARE(sub[2]->text(), QStringLiteral("前回起動時から何件？(&L)"));
    QCOMPARE(sub[3]->objectName(), QStringLiteral("mnuUnseen"));
    QCOMPARE(sub[3]->text(), QStringLiteral("まだ教えてないのだけ(&U)"));
    for (const char* name : {"mnuNoDiff", "mnuDiff", "mnuLastTime", "mnuUnseen", "mnuAutoCheck", "mnuCharHide",
                             "mnuAlwaysActive"})
        QVERIFY2(f.form1->menu()->item(name)->isCheckable(), name);
    QCOMPARE(f.form1->menu()->title(), QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
}

void TrayMenuTest::marksFromStoredSettings_data() {
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("marked");  // the marked items, in menu order
    QTest::addColumn<int>("dispDiff");
    QTest::newRow("defaults") << "" << "mnuNoDiff" << 0;
    QTest::newRow("mode 1") << "DispDiff=1" << "mnuDiff" << 1;
    QTest::newRow("mode 2") << "DispDiff=2" << "mnuLastTime" << 2;
    QTest::newRow("mode 7") << "DispDiff=7" << "mnuNoDiff" << 0;
    QTest::newRow("switches on") << "AutoCheck=1\nCharHide=1\nAlwaysActive=1"
                                 << "mnuNoDiff mnuAutoCheck mnuCharHide mnuAlwaysActive" << 0;
}

void TrayMenuTest::marksFromStoredSettings() {
    QFETCH(QString, ini);
    QFETCH(QString, marked);
    QFETCH(int, dispDiff);
    ShellFixture f;
    QVERIFY(f.start("[System]\n" + ini + "\n"));
    QStringList got;
    for (const char* name : {"mnuNoDiff", "mnuDiff", "mnuLastTime", "mnuUnseen", "mnuAutoCheck", "mnuCharHide",
                             "mnuAlwaysActive"})
        if (f.form1->menu()->item(name)->isChecked()) got << name;
    QCOMPARE(got.join(' '), marked);
    QCOMPARE(f.state.settings.DispDiff, qint16(dispDiff));
    QCOMPARE(f.form1->TimerEnabled(), f.state.settings.AutoCheck);
    QCOMPARE(OnTop(f.form1.get()), f.state.settings.AlwaysActive);
}

void TrayMenuTest::displayModeSequences_data() {
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<int>("dispDiff");
    QTest::newRow("since check") << QStringList{"mnuDiff"} << "mnuDiff" << 1;
    QTest::newRow("since check twice") << QStringList{"mnuDiff", "mnuDiff"} << "" << 1;
    QTest::newRow("since start twice") << QStringList{"mnuLastTime", "mnuLastTime"} << "" << 2;
    QTest::newRow("since start then check") << QStringList{"mnuLastTime", "mnuDiff"} << "mnuDiff" << 1;
    QTest::newRow("back to all") << QStringList{"mnuDiff", "mnuNoDiff"} << "mnuNoDiff" << 0;
    QTest::newRow("all twice stays") << QStringList{"mnuNoDiff", "mnuNoDiff"} << "mnuNoDiff" << 0;
    QTest::newRow("unmarked then again")
        << QStringList{"mnuDiff", "mnuDiff", "mnuDiff"} << "mnuDiff" << 1;
}

void TrayMenuTest::displayModeSequences() {
    QFETCH(QStringList, chosen);
    QFETCH(QString, marked);
    QFETCH(int, dispDiff);
    ShellFixture f;
    QVERIFY(f.start());
    for (const QString& name : chosen) f.form1->menu()->item(name)->trigger();
    QStringList got;
    for (const char* name : {"mnuNoDiff", "mnuDiff", "mnuLastTime"})
        if (f.form1->menu()->item(name)->isChecked()) got << name;
    QCOMPARE(got.join(' '), marked);
    QCOMPARE(f.state.settings.DispDiff, qint16(dispDiff));
}

void TrayMenuTest::autoCheckSwitchesTheTimerOnly() {
    ShellFixture f;
    QVERIFY(f.start("[System]\nAutoCheck=0\nTelHodai=1\n"));
    QAction* item = f.form1->menu()->item("mnuAutoCheck");
    item->trigger();
    QVERIFY(item->isChecked());
    QVERIFY(f.state.settings.AutoCheck);
    QVERIFY(f.form1->TimerEnabled());
    QCOMPARE(f.form1->timer1().interval(), 60000);
    item->trigger();
    QVERIFY(!item->isChecked());
    QVERIFY(!f.form1->TimerEnabled());
    // Not written until a confirmed dialog with changes.
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "AutoCheck"), QStringLiteral("0"));
}

void TrayMenuTest::charHideToggles() {
    ShellFixture f;
    QVERIFY(f.start(kPlaced));
    QAction* item = f.form1->menu()->item("mnuCharHide");
    f.form1->ShowPicture(3);
    item->trigger();
    QVERIFY(item->isChecked());
    QVERIFY(f.state.settings.CharHide);
    QVERIFY(!f.form4()->isVisible());
    item->trigger();
    QVERIFY(!f.state.settings.CharHide);
    QVERIFY(f.form4()->isVisible());
    QCOMPARE(f.form4()->shownFrame(), 0);
}

void TrayMenuTest::alwaysActiveToggles() {
    ShellFixture f;
    QVERIFY(f.start(kPlaced));
    QAction* item = f.form1->menu()->item("mnuAlwaysActive");
    item->trigger();
    QVERIFY(item->isChecked());
    QVERIFY(OnTop(f.form1.get()));
    QVERIFY(OnTop(f.form4()));
    QVERIFY(f.form1->isVisible() && f.form4()->isVisible());
    // With the character hidden only the balloon changes.
    item->trigger();
    f.form1->menu()->item("mnuCharHide")->trigger();
    item->trigger();
    QVERIFY(OnTop(f.form1.get()));
    QVERIFY(!OnTop(f.form4()));
    QVERIFY(!f.form4()->isVisible());
}

void TrayMenuTest::returnToTrayAndLeftClickBack_data() {
    QTest::addColumn<bool>("charHide");
    QTest::newRow("character shown") << false;
    QTest::newRow("character hidden") << true;
}

void TrayMenuTest::returnToTrayAndLeftClickBack() {
    QFETCH(bool, charHide);
    ShellFixture f;
    QVERIFY(f.start(QStringLiteral("[System]\nXpos=3000\nYpos=9000\nCharHide=%1\n[Message]\nNickName=兄上\n")
                   .arg(charHide)));
    f.form1->SayText(QStringLiteral("ほかのこと"));
    f.form1->menu()->item("mnuReturnTary")->trigger();
    QVERIFY(!f.form1->isVisible());
    QVERIFY(!f.form4()->isVisible());
    QCOMPARE(f.form1->LastSaidText(), QStringLiteral("なぁに？兄上"));
    ClickTray(f, 1);
    QTRY_VERIFY(f.form1->isVisible());
    QCOMPARE(f.form4()->isVisible(), !charHide);
}

void TrayMenuTest::leftClickWithDialogOpenDoesNothing() {
    ShellFixture f;
    QVERIFY(f.start(kPlaced));
    bool shownWhileOpen = true;
    f.fakes.dialogs.whileOpen = [&](QDialog&) {
        QCOMPARE(f.state.DialogMode, qint16(3));
        ClickTray(f, 1);
        QTest::qWait(400);
        shownWhileOpen = f.form1->isVisible() || f.form4()->isVisible();
    };
    f.form1->menu()->item("mnuOption")->trigger();
    QCOMPARE(f.fakes.dialogs.opened, 1);
    QVERIFY(!shownWhileOpen);
    QVERIFY(f.form1->isVisible() && f.form4()->isVisible());
}

void TrayMenuTest::rightClickOnTrayOpensTheMenu() {
    ShellFixture f;
    QVERIFY(f.start());
    ClickTray(f, 3);
    QTRY_VERIFY(f.form1->menu()->isVisible());
    f.form1->menu()->hide();
}

void TrayMenuTest::dialogModalStepsAside_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("autoCheck");
    QTest::addColumn<bool>("charHide");
    QTest::newRow("settings, auto on") << "mnuOption" << 3 << true << false;
    QTest::newRow("about, auto on") << "mnuVersion" << 4 << true << false;
    QTest::newRow("about, auto off") << "mnuVersion" << 4 << false << false;
    QTest::newRow("about, hidden character") << "mnuVersion" << 4 << true << true;
}

void TrayMenuTest::dialogModalStepsAside() {
    QFETCH(QString, item);
    QFETCH(int, mode);
    QFETCH(bool, autoCheck);
    QFETCH(bool, charHide);
    ShellFixture f;
    // TelHodai outside its hours does not keep the timer off after a dialog.
    f.fakes.clock.set(QDateTime(QDate(2026, 1, 7), QTime(15, 0)));
    QVERIFY(f.start(QStringLiteral("[System]\nXpos=3000\nYpos=9000\nTelHodai=1\nAutoCheck=%1\nCharHide=%2\n")
                   .arg(autoCheck)
                   .arg(charHide)));
    struct Seen {
        int mode = 0;
        bool timer = true, balloon = true, character = true;
    } seen;
    f.fakes.dialogs.whileOpen = [&](QDialog&) {
        seen = {f.state.DialogMode, f.form1->TimerEnabled(), f.form1->isVisible(),
                f.form4()->isVisible()};
    };
    f.form1->menu()->item(item)->trigger();
    QCOMPARE(seen.mode, mode);
    QVERIFY(!seen.timer && !seen.balloon && !seen.character);
    QCOMPARE(f.state.DialogMode, qint16(1));
    QCOMPARE(f.form1->TimerEnabled(), autoCheck);
    QVERIFY(f.form1->isVisible());
    QCOMPARE(f.form4()->isVisible(), !charHide);
}

void TrayMenuTest::cancelledDialogAfterConfirmedOneWritesAgain() {
    ShellFixture f;
    QVERIFY(f.start("[System]\nServer=old.example.org\n"));
    // The first dialog is confirmed with a change.
    f.fakes.dialogs.whileOpen = [&](QDialog&) {
        f.state.settings.Server = QStringLiteral("new.example.org");
        f.state.SettingsChanged = true;
    };
    f.form1->menu()->item("mnuOption")->trigger();
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Server"), QStringLiteral("new.example.org"));
    // The second is cancelled: the flag is still up, so the file is written again.
    WriteIniValue(f.state.IniPath(), "System", "Server", "edited.by.hand");
    f.fakes.dialogs.whileOpen = {};
    f.form1->menu()->item("mnuOption")->trigger();
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Server"), QStringLiteral("new.example.org"));
    // With the flag down nothing is written.
    f.state.SettingsChanged = false;
    WriteIniValue(f.state.IniPath(), "System", "Server", "edited.by.hand");
    f.form1->menu()->item("mnuOption")->trigger();
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Server"), QStringLiteral("edited.by.hand"));
}

void TrayMenuTest::doubleClickAction_data() {
    QTest::addColumn<int>("click");
    QTest::addColumn<QString>("mailer");
    QTest::addColumn<bool>("launchWorks");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no mailer") << 1 << "" << true << "" << QStringList() << "起動するメールソフトを設定してね";
    QTest::newRow("command line") << 1 << "thunderbird -mail" << true << "thunderbird"
                                  << QStringList{"-mail"} << "";
    QTest::newRow("quoted command") << 1 << "\"/opt/my mail/run\" --compose" << true
                                    << "/opt/my mail/run" << QStringList{"--compose"} << "";
    QTest::newRow("existing file with a blank") << 1 << "@FILE@" << true << "@FILE@" << QStringList()
                                                << "";
    QTest::newRow("cannot start") << 1 << "no-such-mailer" << false << "no-such-mailer"
                                  << QStringList() << "メールソフトを起動できなかったの…";
    QTest::newRow("nothing") << 0 << "thunderbird" << true << "" << QStringList() << "";
    QTest::newRow("other value") << 5 << "thunderbird" << true << "" << QStringList() << "";
}

void TrayMenuTest::doubleClickAction() {
    QFETCH(int, click);
    QFETCH(QString, mailer);
    QFETCH(bool, launchWorks);
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    ShellFixture f;
    const QString file = f.folder.file("my mailer");
    f.folder.write("my mailer", "#!/bin/sh\n");
    mailer.replace("@FILE@", file);
    program.replace("@FILE@", file);
    QVERIFY(f.start(kPlaced));
    f.state.settings.Click = static_cast<qint16>(click);
    f.state.settings.Mailer = mailer;
    f.fakes.launcher.succeed = launchWorks;
    for (QWidget* w : {static_cast<QWidget*>(f.form1.get()), static_cast<QWidget*>(f.form4())}) {
        f.fakes.launcher.programs.clear();
        f.fakes.messages.texts.clear();
        QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(f.fakes.launcher.programs, program.isEmpty() ? QStringList() : QStringList{program});
        if (!program.isEmpty()) QCOMPARE(f.fakes.launcher.arguments.last(), args);
        if (message.isEmpty()) {
            QVERIFY(f.fakes.messages.texts.isEmpty());
        } else {
            QCOMPARE(f.fakes.messages.texts.size(), 1);
            QVERIFY(f.fakes.messages.texts[0].startsWith(message));
            QCOMPARE(f.fakes.messages.styles[0], 16);
        }
    }
}

void TrayMenuTest::balloonDoubleClickWaitsForRunningCheck() {
    ShellFixture f;
    QVERIFY(f.start(kPlaced + "Click=1\nMailer=thunderbird\n"));
    f.form1->SetMailCheckEnabled(false);  // as while a check runs
    QTest::mouseDClick(f.form1.get(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QVERIFY(f.fakes.launcher.programs.isEmpty());
    QTest::mouseDClick(f.form4(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(f.fakes.launcher.programs, QStringList{"thunderbird"});
}

void TrayMenuTest::dragBalloonMovesCharacterOnRelease() {
    ShellFixture f;
    QVERIFY(f.start(kPlaced));
    QTRY_VERIFY(!f.form1->LastSaidText().isEmpty());
    const QPoint character = f.form4()->pos();
    const QPoint balloon = f.form1->pos();
    Drag(f.form1.get(), QPoint(-60, 40), [&] {
        QCOMPARE(f.form1->pos(), balloon + QPoint(-60, 40));
        QCOMPARE(f.form4()->pos(), character);  // not yet
    });
    QCOMPARE(f.form4()->pos(), QPoint(f.form1->x() + f.form1->width(),
                                      f.form1->y() - Form4::kFrameHeight / 2));
    QCOMPARE(f.form4()->pos(), character + QPoint(-60, 40));
}

void TrayMenuTest::dragCharacterMovesBalloonOnRelease() {
    ShellFixture f;
    QVERIFY(f.start(kPlaced));
    QTRY_VERIFY(!f.form1->LastSaidText().isEmpty());
    const QPoint character = f.form4()->pos();
    const QPoint balloon = f.form1->pos();
    Drag(f.form4(), QPoint(120, -30), [&] {
        QCOMPARE(f.form4()->pos(), character + QPoint(120, -30));
        QCOMPARE(f.form1->pos(), balloon);
    });
    QCOMPARE(f.form1->pos(), balloon + QPoint(120, -30));
    // The place stored at exit is her top and left in twips.
    f.form1->menu()->item("mnuExit")->trigger();
    const double tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Xpos"), QString::number((character.y() - 30) * ty));
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Ypos"), QString::number((character.x() + 120) * tx));
}

void TrayMenuTest::exitRemovesIconAndStoresPlace() {
    ShellFixture f;
    QVERIFY(f.start(kPlaced));
    QSignalSpy ended(f.form1.get(), &Form1::ended);
    f.form1->menu()->item("mnuExit")->trigger();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!f.form1->tray()->icon()->isVisible());
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Xpos"), QStringLiteral("3000"));
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Ypos"), QStringLiteral("9000"));
    f.form1->Unload();  // a second request, say from the session closing, does nothing more
    QCOMPARE(ended.count(), 1);
}

void TrayMenuTest::tipIsCutTo63Bytes() {
    // 18 bytes of title, then two-byte characters: 22 of them fit, the 23rd would not.
    const QString tip = TrayIcon::TipText(QString(30, QChar(0x3042)));
    QCOMPARE(tip, QStringLiteral("MailChecker Velmio") + QString(22, QChar(0x3042)));
}

void TrayMenuTest::rightButtonOnEitherWindowOpensTheMenu_data() {
    QTest::addColumn<bool>("character");
    QTest::newRow("balloon") << false;
    QTest::newRow("character") << true;
}

void TrayMenuTest::rightButtonOnEitherWindowOpensTheMenu() {
    QFETCH(bool, character);
    ShellFixture f;
    QVERIFY(f.start(kPlaced));
    QTRY_VERIFY(!f.form1->LastSaidText().isEmpty());
    QWidget* w = character ? static_cast<QWidget*>(f.form4()) : f.form1.get();
    const QPoint before = w->pos();
    QTest::mousePress(w, Qt::RightButton, Qt::NoModifier, QPoint(8, 8));
    QTRY_VERIFY(f.form1->menu()->isVisible());
    QCOMPARE(w->pos(), before);  // the right button never drags
    f.form1->menu()->hide();
}

void TrayMenuTest::setTopMostModes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("onTop");
    QTest::newRow("0 shows a hidden window") << 0 << 1 << true << false;
    QTest::newRow("1 on top") << 1 << 1 << true << true;
    QTest::newRow("2 raise only") << 2 << 1 << true << false;
    QTest::newRow("3 does nothing") << 3 << 0 << false << false;
}

void TrayMenuTest::setTopMostModes() {
    QFETCH(int, mode);
    QFETCH(int, result);
    QFETCH(bool, shown);
    QFETCH(bool, onTop);
    QWidget w(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    w.resize(40, 40);
    QCOMPARE(SetTopMost(&w, mode), result);
    QCOMPARE(w.isVisible(), shown);
    QCOMPARE(OnTop(&w), onTop);
}

QTEST_MAIN(TrayMenuTest)
#include "tst_tray_menu.moc"
