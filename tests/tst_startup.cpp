#include <QScreen>
#include <QSystemTrayIcon>
#include <QtTest>

#include "app/popup_menu.h"
#include "app/settings_file.h"
#include "app/tray_icon.h"
#include "platform/profile_file.h"
#include "platform/twips.h"
#include "support/shell_fixture.h"

using namespace velmio;
using test::ShellFixture;

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void firstRunWithoutSettingsFile();
    void storedValuesAreConverted_data();
    void storedValuesAreConverted();
    void storedPositionPlacesTheCharacter();
    void missingPositionCentres();
    void oneNegativeCoordinateIsKept();
    void emptyNickNameGreetsAlone();
    void charHideSpeaksWithoutTheCharacter();
    void missingPictureHidesForTheRun();
    void unreadablePictureIsNoCrash();
    void secondInstanceOnlyShowsTheMessage();
    void exitBatchKeepsOtherLines();
    void dialogBatchWritesPasswordOnlyWhenSaved_data();
    void dialogBatchWritesPasswordOnlyWhenSaved();
    void writtenValuesReadBackTheSame();
};

void StartupTest::firstRunWithoutSettingsFile() {
    ShellFixture f;
    QVERIFY(f.start());
    const AppSettings& s = f.state.settings;
    QVERIFY(!f.form1->menu()->item("mnuMailCheck")->isEnabled());
    QCOMPARE(s.NickName, QStringLiteral("お兄ちゃん"));
    QCOMPARE(s.Port, qint16(110));
    QCOMPARE(s.Min, qint16(0));
    QCOMPARE(s.Click, qint16(0));
    QCOMPARE(s.Xpos, 0);
    QCOMPARE(s.Ypos, 0);
    QCOMPARE(s.Server, kPlaceholderServer);
    QCOMPARE(s.LoginName, kPlaceholderLogin);
    QVERIFY(!s.AutoCheck && !s.TelHodai && !s.SavePassword && !s.AlwaysActive && !s.CharHide &&
            !s.LogMode && !s.Clearness && !s.PlayWave);
    QVERIFY(!f.form1->TimerEnabled());
    QCOMPARE(f.form4()->pos(), QPoint(0, 0));
    QTRY_COMPARE(f.form1->LastSaidText(), QStringLiteral("なぁに？お兄ちゃん"));
    QCOMPARE(f.form4()->shownFrame(), 0);
    QCOMPARE(f.form1->tray()->tip(), QStringLiteral("MailChecker Velmio"));
    QVERIFY(f.fakes.messages.texts.isEmpty());
    // Her greeting stands on the screen, at her right.
    QVERIFY(f.form1->screen()->availableGeometry().contains(f.form1->geometry()));
    // Set up in the dialog: a server alone is not enough; with the password the check is offered.
    AppSettings& set = f.state.settings;
    set.Server = "pop.example.org";
    f.form1->FollowAppliedSettings();
    QVERIFY(!f.form1->MailCheckEnabled());
    set.LoginPass = "pw";
    f.form1->FollowAppliedSettings();
    QVERIFY(f.form1->MailCheckEnabled());
}

void StartupTest::storedValuesAreConverted_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("expected");
    QTest::newRow("port not a number") << "Port=abc" << "Port" << 110;
    QTest::newRow("port out of range") << "Port=70000" << "Port" << 110;
    QTest::newRow("min empty") << "Min=" << "Min" << 10;
    QTest::newRow("min missing") << "" << "Min" << 10;
    QTest::newRow("min 2.5 to even") << "Min=2.5" << "Min" << 2;
    QTest::newRow("min 3.5 to even") << "Min=3.5" << "Min" << 4;
    QTest::newRow("min negative") << "Min=-3" << "Min" << -3;
    QTest::newRow("min blanks and sign") << "Min= \t+7 " << "Min" << 7;
    QTest::newRow("min point first") << "Min=.5" << "Min" << 0;
    QTest::newRow("min point last") << "Min=5." << "Min" << 5;
    QTest::newRow("min point alone") << "Min=." << "Min" << 10;
    QTest::newRow("min exponent") << "Min=1e2" << "Min" << 10;
    QTest::newRow("min two points") << "Min=1.2.3" << "Min" << 10;
    QTest::newRow("min blank after sign") << "Min=- 4" << "Min" << 10;
    QTest::newRow("min full-width digit") << "Min=４" << "Min" << 10;
    QTest::newRow("click not a number") << "Click=x" << "Click" << 1;
    QTest::newRow("autocheck 1") << "AutoCheck=1" << "AutoCheck" << 1;
    QTest::newRow("autocheck -1") << "AutoCheck=-1" << "AutoCheck" << 1;
    QTest::newRow("autocheck True") << "AutoCheck=tRUE" << "AutoCheck" << 1;
    QTest::newRow("autocheck False") << "AutoCheck=False" << "AutoCheck" << 0;
    QTest::newRow("autocheck 0") << "AutoCheck=0" << "AutoCheck" << 0;
    QTest::newRow("autocheck empty") << "AutoCheck=" << "AutoCheck" << 0;
    QTest::newRow("autocheck garbage") << "AutoCheck=yes" << "AutoCheck" << 0;
    QTest::newRow("mail baseline") << "Mail=7" << "Mail" << 7;
    // Files from before the encryption setting: port 995 spoke TLS.
    QTest::newRow("no security key, port 995") << "Port=995" << "Security" << 2;
    QTest::newRow("no security key, port 110") << "Port=110" << "Security" << 0;
    QTest::newRow("security stored") << "Port=995\r\nSecurity=1" << "Security" << 1;
    QTest::newRow("no APOP key") << "" << "Apop" << 0;
    // Only 1 means IMAP.
    QTest::newRow("no protocol key") << "" << "UsesImap" << 0;
    QTest::newRow("protocol IMAP") << "Protocol=1" << "UsesImap" << 1;
    QTest::newRow("protocol 7 is POP3") << "Protocol=7" << "UsesImap" << 0;
    QTest::newRow("protocol 257 is POP3") << "Protocol=257" << "UsesImap" << 0;
}

void StartupTest::storedValuesAreConverted() {
    QFETCH(QString, line);
    QFETCH(QString, field);
    QFETCH(int, expected);
    AppState state;
    test::ProgramFolder folder(false);
    state.paths = AppPaths::ProgramFolder(folder.path());
    folder.write("velmio.ini", test::Cp932("[System]\r\n" + line + "\r\n"));
    QVERIFY(LoadSettings(state));
    const AppSettings& s = state.settings;
    const QHash<QString, int> got = {{"Port", s.Port},           {"Min", s.Min},
                                     {"Click", s.Click},         {"AutoCheck", s.AutoCheck},
                                     {"Mail", s.Mail},           {"Security", s.Security},
                                     {"Apop", s.Apop},           {"UsesImap", UsesImap(s)}};
    QCOMPARE(got.value(field), expected);
    if (field == "Mail") {
        QCOMPARE(state.LastCheckMail, qint16(7));
        QCOMPARE(state.StartMail, qint16(7));
        QCOMPARE(state.MailTotal, qint16(7));
    }
}

void StartupTest::storedPositionPlacesTheCharacter() {
    ShellFixture f;
    QVERIFY(f.start("[System]\nXpos=3000\nYpos=9000\n[Message]\nNickName=お兄ちゃん\n"));
    const double tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
    QCOMPARE(f.form4()->pos(), QPoint(TwipsToPixels(9000, tx), TwipsToPixels(3000, ty)));
    QVERIFY(f.form4()->isVisible());
    QVERIFY(f.form1->MailCheckEnabled());
    // The balloon stands at her left, its top at her middle.
    QTRY_COMPARE(f.form1->LastSaidText(), QStringLiteral("なぁに？お兄ちゃん"));
    QCOMPARE(f.form1->x() + f.form1->width(), f.form4()->x());
    QCOMPARE(f.form1->y(), f.form4()->y() + Form4::kFrameHeight / 2);
}

void StartupTest::missingPositionCentres() {
    ShellFixture f;
    QVERIFY(f.start("[System]\nServer=pop.example.org\n"));
    const double tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int top = TwipsToPixels(std::nearbyint(screen.height() * ty / 2 - 555 / 2.0), ty);
    const int left = TwipsToPixels(std::nearbyint(screen.width() * tx / 2 - 4305 / 2.0), tx);
    QCOMPARE(f.form4()->pos(), QPoint(left, top));
}

void StartupTest::oneNegativeCoordinateIsKept() {
    ShellFixture f;
    QVERIFY(f.start("[System]\nXpos=-30\nYpos=1500\n"));
    QCOMPARE(f.state.settings.Xpos, -30);
    QCOMPARE(f.state.settings.Ypos, 1500);
}

void StartupTest::emptyNickNameGreetsAlone() {
    ShellFixture f;
    QVERIFY(f.start("[Message]\nNickName=\n"));
    QTRY_COMPARE(f.form1->LastSaidText(), QStringLiteral("なぁに？"));
}

void StartupTest::charHideSpeaksWithoutTheCharacter() {
    ShellFixture f;
    QVERIFY(f.start("[System]\nCharHide=1\nXpos=1500\nYpos=6000\n[Message]\nNickName=兄さん\n"));
    QVERIFY(!f.form4()->isVisible());
    QVERIFY(f.form1->isVisible());
    QTRY_COMPARE(f.form1->LastSaidText(), QStringLiteral("なぁに？兄さん"));
    QVERIFY(f.form1->menu()->item("mnuCharHide")->isChecked());
    QVERIFY(f.form1->menu()->item("mnuCharHide")->isEnabled());
}

void StartupTest::missingPictureHidesForTheRun() {
    ShellFixture f(false);
    QVERIFY(f.start("[System]\nCharHide=0\nXpos=1500\nYpos=6000\n"));
    QVERIFY(f.state.settings.CharHide);
    QVERIFY(!f.form4()->isVisible());
    QAction* hide = f.form1->menu()->item("mnuCharHide");
    QVERIFY(!hide->isEnabled());
    QVERIFY(!hide->isChecked());  // the mark stays as the file had it
    f.form1->Unload();
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "CharHide"), QStringLiteral("1"));
}

void StartupTest::unreadablePictureIsNoCrash() {
    ShellFixture f;
    f.folder.write("velmio.dat", QByteArray(5000, '\x42'));
    QVERIFY(f.start("[System]\nXpos=1500\nYpos=6000\n"));
    f.form1->ShowPicture(3);
    QVERIFY(f.form4()->strip().isNull());
}

void StartupTest::secondInstanceOnlyShowsTheMessage() {
    ShellFixture first;
    QVERIFY(first.start());
    first.form1->RunMenuCommand("mnuReturnTary");
    ShellFixture second;
    second.fakes.lockDir.remove();
    Services services = second.fakes.services();
    services.lockPath = first.fakes.services().lockPath;
    second.state.settings.PlayWave = true;
    Form1 form1(second.state, services);
    QVERIFY(!form1.Load());
    QCOMPARE(second.fakes.messages.texts, QStringList{QStringLiteral("既に起動しています")});
    QCOMPARE(second.fakes.messages.styles, QList<int>{16});
    QCOMPARE(second.fakes.messages.captions, QStringList{QStringLiteral("Velmioチェック")});
    QVERIFY(second.fakes.sound.played.isEmpty());
    QVERIFY(!form1.tray()->icon()->isVisible());
    QVERIFY(!QFile::exists(second.state.IniPath()));
    QVERIFY(first.form1->tray()->icon()->isVisible());
    // Put away, the running one comes out: nobody is left without her.
    QTRY_VERIFY(first.form1->isVisible() && first.form4()->isVisible());
}

void StartupTest::exitBatchKeepsOtherLines() {
    ShellFixture f;
    f.writeIni("; mine\n[System]\nServer=pop.example.org\nMail=4\nOctet=9\nLogMode=1\n"
               "Xpos=3000\nYpos=9000\nDispDiff=2\nAlwaysActive=0\n[Sound]\n3=c:\\x.wav\n"
               "NewMailWave=keep.wav\n[Other]\nfoo=bar\n");
    QVERIFY(f.start());
    f.form4()->move(400, 120);
    f.state.settings.NickName = QStringLiteral("ご主人様");
    f.form1->Unload();
    const QString ini = f.state.IniPath();
    const double tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
    QCOMPARE(ReadIniValue(ini, "System", "Xpos"), QString::number(120 * ty));
    QCOMPARE(ReadIniValue(ini, "System", "Ypos"), QString::number(400 * tx));
    QCOMPARE(ReadIniValue(ini, "System", "Mail"), QStringLiteral("4"));
    QCOMPARE(ReadIniValue(ini, "System", "Octet"), QStringLiteral("9"));
    QCOMPARE(ReadIniValue(ini, "System", "DispDiff"), QStringLiteral("2"));
    QCOMPARE(ReadIniValue(ini, "Sound", "NewMailWave"), QStringLiteral("keep.wav"));
    QCOMPARE(ReadIniValue(ini, "Message", "NickName"), QStringLiteral("ご主人様"));
    const QByteArray bytes = f.folder.read("velmio.ini");
    for (const char* kept : {"; mine\r\n", "Server=pop.example.org\r\n", "LogMode=1\r\n",
                             "3=c:\\x.wav\r\n", "[Other]\r\nfoo=bar\r\n"})
        QVERIFY2(bytes.contains(kept), kept);
    QVERIFY(!f.form1->tray()->icon()->isVisible());
}

void StartupTest::dialogBatchWritesPasswordOnlyWhenSaved_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("saved") << true;
    QTest::newRow("not saved") << false;
}

void StartupTest::dialogBatchWritesPasswordOnlyWhenSaved() {
    QFETCH(bool, save);
    AppState state;
    test::ProgramFolder folder(false);
    state.paths = AppPaths::ProgramFolder(folder.path());
    state.settings.LoginPass = QStringLiteral("s3cret");
    state.settings.SavePassword = save;
    state.soundTable[2] = QStringLiteral("/x/メール.wav");
    WriteDialogBatch(state);
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "LoginPass"),
             save ? QStringLiteral("s3cret") : QString());
    QCOMPARE(ReadIniValue(state.IniPath(), "Sound", "2"), QStringLiteral("/x/メール.wav"));
    AppState again;
    again.paths = AppPaths::ProgramFolder(folder.path());
    LoadSettings(again);
    QCOMPARE(again.settings.LoginPass, save ? QStringLiteral("s3cret") : QString());
    QCOMPARE(again.soundTable[2], QStringLiteral("/x/メール.wav"));
}

void StartupTest::writtenValuesReadBackTheSame() {
    AppState state;
    test::ProgramFolder folder(false);
    state.paths = AppPaths::ProgramFolder(folder.path());
    AppSettings& s = state.settings;
    s.Server = QStringLiteral("pop.example.org");
    s.LoginName = QStringLiteral("ユーザー");
    s.Port = 32767;
    s.AutoCheck = true;
    s.TelHodai = true;
    s.Min = -5;
    s.Click = 2;
    s.Mailer = QStringLiteral("thunderbird -mail");
    s.Clearness = true;
    s.AlwaysActive = true;
    s.DispDiff = 1;
    s.PlayWave = true;
    s.NickName = QStringLiteral("お兄ちゃん①");
    s.Security = 1;
    s.Apop = true;
    state.MailTotal = -32768;
    WriteDialogBatch(state);
    s.CertPin = QString(64, 'b');
    WriteCertPin(state);
    WriteExitBatch(state, 1440 / 1.1, 1e6);  // a place on a screen of 1.1 scale; no exponent form
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "Xpos"), QString("1309.091"));
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "Ypos"), QString("1000000"));
    AppState back;
    back.paths = AppPaths::ProgramFolder(folder.path());
    QVERIFY(LoadSettings(back));
    const AppSettings& b = back.settings;
    QCOMPARE(b.Server, s.Server);
    QCOMPARE(b.LoginName, s.LoginName);
    QCOMPARE(b.Port, s.Port);
    QCOMPARE(b.AutoCheck, true);
    QCOMPARE(b.TelHodai, true);
    QCOMPARE(b.Min, s.Min);
    QCOMPARE(b.Click, s.Click);
    QCOMPARE(b.Mailer, s.Mailer);
    QCOMPARE(b.Clearness, true);
    QCOMPARE(b.AlwaysActive, true);
    QCOMPARE(b.DispDiff, s.DispDiff);
    QCOMPARE(b.PlayWave, true);
    QCOMPARE(b.NickName, s.NickName);
    QCOMPARE(b.Security, s.Security);
    QCOMPARE(b.Apop, true);
    QCOMPARE(b.CertPin, s.CertPin);
    QCOMPARE(b.Mail, qint16(-32768));
    QCOMPARE(b.Xpos, 1309);
    QCOMPARE(b.Ypos, 1000000);
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
