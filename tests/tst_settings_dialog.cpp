#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>
#include <memory>

#include "app/form1.h"
#include "app/settings_file.h"
#include "character/event_sounds.h"
#include "core/app_state.h"
#include "platform/profile_file.h"
#include "settings_dialog/form3.h"
#include "settings_dialog/select_file.h"
#include "support/fakes.h"

using namespace velmio;

namespace {

const QChar kNul(0);

// Every setting and sound slot as "Key=value", so that a failed comparison
// names the fields that differ.
QStringList Describe(const AppState& state) {
    const AppSettings& s = state.settings;
    auto n = [](qint64 v) { return QString::number(v); };
    QStringList d = {
        "Server=" + s.Server,       "LoginName=" + s.LoginName,  "LoginPass=" + s.LoginPass,
        "Port=" + n(s.Port),        "AutoCheck=" + n(s.AutoCheck), "TelHodai=" + n(s.TelHodai),
        "Min=" + n(s.Min),          "SavePassword=" + n(s.SavePassword), "Mail=" + n(s.Mail),
        "Octet=" + n(s.Octet),      "AlwaysActive=" + n(s.AlwaysActive), "Xpos=" + n(s.Xpos),
        "Ypos=" + n(s.Ypos),        "Click=" + n(s.Click),       "Mailer=" + s.Mailer,
        "DispDiff=" + n(s.DispDiff), "CharHide=" + n(s.CharHide), "LogMode=" + n(s.LogMode),
        "Clearness=" + n(s.Clearness), "PlayWave=" + n(s.PlayWave), "NewMailWave=" + s.NewMailWave,
        "NickName=" + s.NickName};
    for (int i = 0; i < 6; ++i) d << QStringLiteral("Sound%1=").arg(i) + state.soundTable[i];
    return d;
}

// The entries of after that differ from before.
QStringList Changes(const QStringList& before, const QStringList& after) {
    QStringList changed;
    for (int i = 0; i < after.size(); ++i)
        if (before.value(i) != after[i]) changed << after[i];
    return changed;
}

// Settings a user of some standing would have.
void Populate(AppState& state) {
    AppSettings& s = state.settings;
    s.Server = "pop.example.org";
    s.LoginName = "alice";
    s.LoginPass = "secret";
    s.Port = 110;
    s.AutoCheck = true;
    s.TelHodai = true;
    s.Min = 15;
    s.SavePassword = true;
    s.Click = 1;
    s.Mailer = "/usr/bin/mutt";
    s.PlayWave = true;
    s.Clearness = false;
    s.NickName = "兄さん";
    state.soundTable = {"/snd/greeting.wav", "/snd/wait.wav", "", "", "/snd/many.wav", "/snd/error.wav"};
}

struct DialogFixture {
    explicit DialogFixture(bool secondPicture = true) {
        state.AppPath = folder.path();
        if (!secondPicture) QFile::remove(folder.file("velmio_s.dat"));
    }

    void open() {
        Form3Services s;
        s.sounds = &sounds;
        s.messages = &messages;
        s.setTimer1 = [this](bool on) { timerCalls << on; };
        s.selectFile = [this](QWidget* owner, const QString& filter, const QString& dir) {
            selectOwners << owner;
            selectFilters << filter;
            selectDirs << dir;
            return nextFile;
        };
        dialog = std::make_unique<Form3>(state, s);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

    template <typename T = QWidget>
    T* w(const char* name) const {
        T* child = dialog->findChild<T*>(QLatin1String(name));
        if (!child) qFatal("no control %s", name);
        return child;
    }
    QTabWidget* tabs() const { return w<QTabWidget>("SSTab1"); }
    void showPage(int page) {
        QTabBar* bar = tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
        QCOMPARE(tabs()->currentIndex(), page);
    }
    void click(const char* name) { QTest::mouseClick(w<QAbstractButton>(name), Qt::LeftButton); }
    // Replaces a field's text from the keyboard.
    void type(const char* name, const QString& text) {
        auto* edit = w<QLineEdit>(name);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(edit, text);
    }
    void pressOk() { click("Command6"); }
    bool closedWith(QDialog::DialogCode code) const {
        return !dialog->isVisible() && dialog->result() == code;
    }

    test::ProgramFolder folder;
    AppState state;
    test::RecordingSound sound;
    EventSounds sounds{state, sound};
    test::RecordingMessages messages;
    QList<bool> timerCalls;
    QList<QWidget*> selectOwners;
    QStringList selectFilters;
    QStringList selectDirs;
    QString nextFile;
    std::unique_ptr<Form3> dialog;
};

// The name of the control that has the keyboard focus: the tab row stands
// for the tab control, an inner part for its control.
QString FocusName(const QWidget* dialog) {
    const QWidget* f = QApplication::focusWidget();
    if (!f) return "(none)";
    if (qobject_cast<const QTabBar*>(f)) return "SSTab1";
    while (f && f != dialog && (f->objectName().isEmpty() || f->objectName().startsWith("qt_")))
        f = f->parentWidget();
    return f ? f->objectName() : "(none)";
}

}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void fileFilterForQt_data();
    void fileFilterForQt();
    void okWithoutEditsRaisesNothing_data();
    void okWithoutEditsRaisesNothing();
    void secondPictureMissingKeepsTheStoredMode();
    void eachEditWritesItsSettingOnly_data();
    void eachEditWritesItsSettingOnly();
    void passwordReachesTheFileOnlyWhenSaved_data();
    void passwordReachesTheFileOnlyWhenSaved();
    void popPortTakesDigitsOnly_data();
    void popPortTakesDigitsOnly();
    void refusedNumbersKeepDialogOpenAndApplyNothing_data();
    void refusedNumbersKeepDialogOpenAndApplyNothing();
    void numbersAtTheirLimitsAreTaken_data();
    void numbersAtTheirLimitsAreTaken();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void soundSlotsSurviveSwitchingEvents();
    void cancelledFileDialogEmptiesTheSlot();
    void soundSwitchGreysOnlyTheSlotControls();
    void withoutWaveDeviceSoundSwitchIsKept();
    void doubleClickOptions_data();
    void doubleClickOptions();
    void mailerBrowse();
    void autoCheckGreysItsControlsAndSetsTimer_data();
    void autoCheckGreysItsControlsAndSetsTimer();
    void opensOnFirstPageWithItsCaptions();
    void captionsFitAndControlsStayApart_data();
    void captionsFitAndControlsStayApart();
    void keyboardOrderStaysOnShownPage_data();
    void keyboardOrderStaysOnShownPage();
    void enterInAFieldPressesOk_data();
    void enterInAFieldPressesOk();
    void realOpenFileDialog_data();
    void realOpenFileDialog();
    void menuCommandOpensTheRealDialog();
};

void SettingsDialogTest::fileFilterForQt_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qt");
    QTest::newRow("description shows the pattern")
        << QString("Waveﾌｧｲﾙ (*.wav)" + QString(kNul) + "*.wav") << "Waveﾌｧｲﾙ (*.wav)";
    QTest::newRow("description without pattern")
        << QString("Wave" + QString(kNul) + "*.wav") << "Wave (*.wav)";
    QTest::newRow("two entries, trailing NULs")
        << QString("A (*)" + QString(kNul) + "*" + kNul + "B" + kNul + "*.b;*.c" + kNul + kNul)
        << "A (*);;B (*.b *.c)";
    QTest::newRow("description without its pattern") << QString("lonely") << "";
}

void SettingsDialogTest::fileFilterForQt() {
    QFETCH(QString, filter);
    QFETCH(QString, qt);
    QCOMPARE(QtFileFilter(filter), qt);
}

void SettingsDialogTest::okWithoutEditsRaisesNothing_data() {
    QTest::addColumn<bool>("populated");
    QTest::addColumn<bool>("waveDevice");
    QTest::addColumn<bool>("secondPicture");
    QTest::addColumn<bool>("flagBefore");
    QTest::newRow("first run") << false << true << true << false;
    QTest::newRow("first run, no device, no second picture") << false << false << false << false;
    QTest::newRow("set up") << true << true << true << false;
    QTest::newRow("set up, no device") << true << false << true << false;
    QTest::newRow("set up, no second picture") << true << true << false << false;
    QTest::newRow("set up, neither") << true << false << false << false;
    QTest::newRow("flag left by an earlier OK") << true << true << true << true;
}

void SettingsDialogTest::okWithoutEditsRaisesNothing() {
    QFETCH(bool, populated);
    QFETCH(bool, waveDevice);
    QFETCH(bool, secondPicture);
    QFETCH(bool, flagBefore);
    DialogFixture f(secondPicture);
    if (populated)
        Populate(f.state);
    else
        LoadSettings(f.state);  // the first run: no settings file yet
    f.state.SettingsChanged = flagBefore;
    f.sound.device = waveDevice;
    const QStringList before = Describe(f.state);
    f.open();
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(Changes(before, Describe(f.state)), QStringList());
    QCOMPARE(f.state.SettingsChanged, false);
    QCOMPARE(f.timerCalls, QList<bool>{f.state.settings.AutoCheck});
    QVERIFY(f.messages.texts.isEmpty());
}

void SettingsDialogTest::secondPictureMissingKeepsTheStoredMode() {
    // A setting the dialog cannot show is left as it was.
    DialogFixture f(false);
    Populate(f.state);
    f.state.settings.Clearness = true;
    f.open();
    f.showPage(2);
    auto* box = f.w<QCheckBox>("BGClearness");
    QVERIFY(!box->isEnabled());
    QVERIFY(!box->isChecked());
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.settings.Clearness, true);
    QCOMPARE(f.state.SettingsChanged, false);
}

void SettingsDialogTest::eachEditWritesItsSettingOnly_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");  // typed into a text field; empty: the control is clicked
    QTest::addColumn<QStringList>("changes");
    QTest::newRow("address") << 0 << "ServerAddress" << "mail.example.net" << QStringList{"Server=mail.example.net"};
    QTest::newRow("user") << 0 << "LoginName" << "bob" << QStringList{"LoginName=bob"};
    QTest::newRow("user, other case") << 0 << "LoginName" << "Alice" << QStringList{"LoginName=Alice"};
    QTest::newRow("password") << 0 << "LoginPass" << "hunter2" << QStringList{"LoginPass=hunter2"};
    QTest::newRow("save password") << 0 << "SavePass" << "" << QStringList{"SavePassword=0"};
    QTest::newRow("port") << 0 << "PopPort" << "995" << QStringList{"Port=995"};
    QTest::newRow("port with leading zeros, same number") << 0 << "PopPort" << "0110" << QStringList{};
    QTest::newRow("sound switch") << 1 << "UseSound" << "" << QStringList{"PlayWave=0"};
    QTest::newRow("wave of slot 0") << 1 << "EventWave" << "/snd/hello.wav" << QStringList{"Sound0=/snd/hello.wav"};
    QTest::newRow("auto check") << 2 << "AutoCheck" << "" << QStringList{"AutoCheck=0"};
    QTest::newRow("interval") << 2 << "CheckMin" << "30" << QStringList{"Min=30"};
    QTest::newRow("interval, zero") << 2 << "CheckMin" << "0" << QStringList{"Min=0"};
    QTest::newRow("telephone hours") << 2 << "TelhoCheck" << "" << QStringList{"TelHodai=0"};
    QTest::newRow("double-click: check") << 2 << "DblClick2" << "" << QStringList{"Click=2"};
    QTest::newRow("mailer") << 2 << "ExecMailer" << "/usr/bin/thunderbird" << QStringList{"Mailer=/usr/bin/thunderbird"};
    QTest::newRow("transparent background") << 2 << "BGClearness" << "" << QStringList{"Clearness=1"};
}

void SettingsDialogTest::eachEditWritesItsSettingOnly() {
    QFETCH(int, page);
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QStringList, changes);
    DialogFixture f;
    Populate(f.state);
    const QStringList before = Describe(f.state);
    f.open();
    f.showPage(page);
    const QByteArray name = control.toLatin1();
    if (text.isEmpty())
        f.click(name.constData());
    else
        f.type(name.constData(), text);
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(Changes(before, Describe(f.state)), changes);
    QCOMPARE(f.state.SettingsChanged, !changes.isEmpty());
}

void SettingsDialogTest::passwordReachesTheFileOnlyWhenSaved_data() {
    QTest::addColumn<bool>("savePassword");
    QTest::newRow("saved") << true;
    QTest::newRow("not saved") << false;
}

void SettingsDialogTest::passwordReachesTheFileOnlyWhenSaved() {
    QFETCH(bool, savePassword);
    DialogFixture f;
    Populate(f.state);
    f.state.settings.SavePassword = savePassword;
    f.open();
    QCOMPARE(f.w<QLineEdit>("LoginPass")->displayText(), QString("******"));
    f.type("LoginPass", "n3w");
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.settings.LoginPass, QString("n3w"));
    QVERIFY(f.state.SettingsChanged);
    // What the menu command does after the dialog when the flag is up.
    WriteDialogBatch(f.state);
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "LoginPass"), savePassword ? "n3w" : "");
}

void SettingsDialogTest::popPortTakesDigitsOnly_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("digits") << "995" << "995";
    QTest::newRow("letters and blanks dropped") << "9a9 5x" << "995";
    QTest::newRow("sign and point dropped") << "-1.5" << "15";
    QTest::newRow("full-width digits dropped") << "１１０" << "";
    QTest::newRow("kana dropped") << "ポ1" << "1";
    QTest::newRow("sixth digit refused") << "1234567" << "12345";
}

void SettingsDialogTest::popPortTakesDigitsOnly() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    DialogFixture f;
    f.state.settings.Port = 110;
    f.open();
    auto* port = f.w<QLineEdit>("PopPort");
    QCOMPARE(port->text(), QString("110"));
    QCOMPARE(port->maxLength(), 5);
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(port, Qt::Key_Delete);
    for (const QChar c : typed) {
        // Key presses as the keyboard sends them, whatever the character.
        QKeyEvent press(QEvent::KeyPress, c.isDigit() && c.unicode() < 128 ? Qt::Key_0 + c.digitValue() : Qt::Key_unknown,
                        Qt::NoModifier, QString(c));
        QApplication::sendEvent(port, &press);
    }
    QCOMPARE(port->text(), shown);
    // What an input method commits goes through the same filter.
    const QString beforeInput = port->text();
    QInputMethodEvent kana;
    kana.setCommitString("ポート");
    QApplication::sendEvent(port, &kana);
    QCOMPARE(port->text(), beforeInput);
    // Backspace still works, and so do the keys that type nothing.
    QTest::keyClick(port, Qt::Key_End);
    QTest::keyClick(port, Qt::Key_Backspace);
    QCOMPARE(port->text(), shown.left(qMax(0, shown.size() - 1)));
}

void SettingsDialogTest::refusedNumbersKeepDialogOpenAndApplyNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("named");
    // Text reaches PopPort by pasting, and CheckMin takes any text.
    QTest::newRow("port empty") << "PopPort" << "" << 0 << "POP3ポート";
    QTest::newRow("port zero") << "PopPort" << "0" << 0 << "POP3ポート";
    QTest::newRow("port beyond 16 bits") << "PopPort" << "40000" << 0 << "POP3ポート";
    QTest::newRow("port negative") << "PopPort" << "-110" << 0 << "POP3ポート";
    QTest::newRow("port not a number") << "PopPort" << "pop" << 0 << "POP3ポート";
    QTest::newRow("interval empty") << "CheckMin" << "" << 2 << "チェック間隔";
    QTest::newRow("interval not a number") << "CheckMin" << "five" << 2 << "チェック間隔";
    QTest::newRow("interval beyond 16 bits") << "CheckMin" << "32768" << 2 << "チェック間隔";
    QTest::newRow("interval below 16 bits") << "CheckMin" << "-32769" << 2 << "チェック間隔";
}

void SettingsDialogTest::refusedNumbersKeepDialogOpenAndApplyNothing() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, page);
    QFETCH(QString, named);
    DialogFixture f;
    Populate(f.state);
    f.state.SettingsChanged = true;
    const QStringList before = Describe(f.state);
    f.open();
    // Edits before the refused field that would otherwise be applied.
    f.type("ServerAddress", "changed.example.org");
    f.showPage(1);
    f.click("UseSound");
    f.showPage(0);
    f.w<QLineEdit>(field.toLatin1().constData())->setText(text);  // as pasted
    f.pressOk();
    QVERIFY(f.dialog->isVisible());
    QCOMPARE(f.messages.texts.size(), 1);
    QVERIFY2(f.messages.texts[0].contains(named), qPrintable(f.messages.texts[0]));
    QCOMPARE(f.messages.styles[0], 16);
    QCOMPARE(f.messages.captions[0], kAppTitle);
    QCOMPARE(f.tabs()->currentIndex(), page);
    QCOMPARE(Changes(before, Describe(f.state)), QStringList());
    QCOMPARE(f.state.SettingsChanged, true);
    QVERIFY(f.timerCalls.isEmpty());
    // Put right, the same OK goes through.
    f.w<QLineEdit>(field.toLatin1().constData())->setText("7");
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.settings.Server, QString("changed.example.org"));
}

void SettingsDialogTest::numbersAtTheirLimitsAreTaken_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("min");
    QTest::addColumn<int>("portValue");
    QTest::addColumn<int>("minValue");
    QTest::newRow("lowest port") << "1" << "1" << 1 << 1;
    QTest::newRow("highest port") << "32767" << "32767" << 32767 << 32767;
    QTest::newRow("negative interval") << "110" << "-5" << 110 << -5;
    QTest::newRow("lowest interval") << "110" << "-32768" << 110 << -32768;
    QTest::newRow("blanks around") << " 995 " << " 3 " << 995 << 3;
}

void SettingsDialogTest::numbersAtTheirLimitsAreTaken() {
    QFETCH(QString, port);
    QFETCH(QString, min);
    QFETCH(int, portValue);
    QFETCH(int, minValue);
    DialogFixture f;
    Populate(f.state);
    f.open();
    f.w<QLineEdit>("PopPort")->setText(port);
    f.w<QLineEdit>("CheckMin")->setText(min);
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(int(f.state.settings.Port), portValue);
    QCOMPARE(int(f.state.settings.Min), minValue);
}

void SettingsDialogTest::cancelChangesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("flagBefore");
    QTest::newRow("Cancel button") << "button" << false;
    QTest::newRow("Esc") << "esc" << false;
    QTest::newRow("close box") << "close" << false;
    QTest::newRow("Cancel after an earlier OK") << "button" << true;
}

void SettingsDialogTest::cancelChangesNothing() {
    QFETCH(QString, how);
    QFETCH(bool, flagBefore);
    DialogFixture f;
    Populate(f.state);
    f.state.SettingsChanged = flagBefore;
    const QStringList before = Describe(f.state);
    f.nextFile = "/snd/other.wav";
    f.open();
    f.type("ServerAddress", "x.example.org");
    f.type("LoginPass", "other");
    f.showPage(1);
    f.click("Command1");
    f.showPage(2);
    f.click("AutoCheck");
    f.click("DblClick0");
    if (how == "button")
        f.click("Command7");
    else if (how == "esc")
        QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
    else
        f.dialog->close();
    QVERIFY(f.closedWith(QDialog::Rejected));
    QCOMPARE(Changes(before, Describe(f.state)), QStringList());
    QCOMPARE(f.state.SettingsChanged, flagBefore);
    QVERIFY(f.timerCalls.isEmpty());
}

void SettingsDialogTest::soundSlotsSurviveSwitchingEvents() {
    DialogFixture f;
    Populate(f.state);
    const QStringList before = Describe(f.state);
    f.open();
    f.showPage(1);
    auto* events = f.w<QComboBox>("EventName");
    auto* wave = f.w<QLineEdit>("EventWave");
    QCOMPARE(events->count(), 6);
    QCOMPARE(events->itemText(2), QString("メールあり(仕様変更中につき無効)"));
    QCOMPARE(wave->text(), QString("/snd/greeting.wav"));

    events->setCurrentIndex(2);
    QCOMPARE(wave->text(), QString());
    QVERIFY(!f.w<QPushButton>("WaveTest")->isEnabled());
    f.nextFile = f.folder.file("sounds-mail.wav");
    f.click("Command1");
    QCOMPARE(wave->text(), f.nextFile);
    QVERIFY(f.w<QPushButton>("WaveTest")->isEnabled());
    events->setCurrentIndex(4);
    QCOMPARE(wave->text(), QString("/snd/many.wav"));
    events->setCurrentIndex(2);
    QCOMPARE(wave->text(), f.nextFile);

    // Both browse buttons ask the same way but for the first letter.
    f.click("WaveBrowse");
    QCOMPARE(f.selectFilters, (QStringList{"Waveﾌｧｲﾙ (*.wav)" + QString(kNul) + "*.wav",
                                           "waveﾌｧｲﾙ (*.wav)" + QString(kNul) + "*.wav"}));
    QCOMPARE(f.selectDirs, (QStringList{f.state.AppPath, f.state.AppPath}));
    QCOMPARE(f.selectOwners, (QList<QWidget*>{f.dialog.get(), f.dialog.get()}));

    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(Changes(before, Describe(f.state)), QStringList{"Sound2=" + f.nextFile});
    QVERIFY(f.state.SettingsChanged);
}

void SettingsDialogTest::cancelledFileDialogEmptiesTheSlot() {
    DialogFixture f;
    Populate(f.state);
    f.open();
    f.showPage(1);
    QVERIFY(f.w<QPushButton>("WaveTest")->isEnabled());
    f.nextFile.clear();  // the user cancels
    f.click("Command1");
    QCOMPARE(f.w<QLineEdit>("EventWave")->text(), QString());
    QVERIFY(!f.w<QPushButton>("WaveTest")->isEnabled());
    // One character typed by hand enables the test again.
    QTest::keyClicks(f.w<QLineEdit>("EventWave"), "a");
    QVERIFY(f.w<QPushButton>("WaveTest")->isEnabled());
    QTest::keyClick(f.w<QLineEdit>("EventWave"), Qt::Key_Backspace);
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.soundTable[0], QString());
    QVERIFY(f.state.SettingsChanged);
}

void SettingsDialogTest::soundSwitchGreysOnlyTheSlotControls() {
    DialogFixture f;
    Populate(f.state);
    f.open();
    f.showPage(1);
    f.click("UseSound");
    for (const char* name : {"Label5", "EventName", "Label6", "EventWave"})
        QVERIFY2(!f.w(name)->isEnabled(), name);
    for (const char* name : {"Command1", "WaveBrowse", "WaveTest"})
        QVERIFY2(f.w(name)->isEnabled(), name);
    // The test plays whatever the switch says.
    f.click("WaveTest");
    QCOMPARE(f.sound.played, QStringList{"/snd/greeting.wav"});
    QVERIFY(!f.w("EventMsg")->isVisible());
    QVERIFY(!f.w("Label7")->isVisible());
    f.click("UseSound");
    QVERIFY(f.w("EventWave")->isEnabled());
}

void SettingsDialogTest::withoutWaveDeviceSoundSwitchIsKept() {
    // A device missing for the moment must not switch the user's sounds off.
    DialogFixture f;
    Populate(f.state);
    f.sound.device = false;
    f.open();
    f.showPage(1);
    auto* useSound = f.w<QCheckBox>("UseSound");
    QVERIFY(!useSound->isEnabled());
    QVERIFY(useSound->isChecked());
    for (const char* name : {"EventName", "EventWave", "Command1", "WaveBrowse", "WaveTest"})
        QVERIFY2(f.w(name)->isEnabled(), name);
    f.type("EventWave", "/snd/new.wav");
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.settings.PlayWave, true);
    QCOMPARE(f.state.soundTable[0], QString("/snd/new.wav"));
}

void SettingsDialogTest::doubleClickOptions_data() {
    QTest::addColumn<int>("click");
    QTest::addColumn<int>("pick");  // -1: none picked
    QTest::addColumn<int>("shownAtOpen");
    QTest::addColumn<bool>("mailerAtOpen");
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("changed");
    QTest::newRow("nothing, kept") << 0 << -1 << 0 << false << 0 << false;
    QTest::newRow("mailer, kept") << 1 << -1 << 1 << true << 1 << false;
    QTest::newRow("check, kept") << 2 << -1 << 2 << false << 2 << false;
    QTest::newRow("mailer to nothing") << 1 << 0 << 1 << true << 0 << true;
    QTest::newRow("nothing to mailer") << 0 << 1 << 0 << false << 1 << true;
    QTest::newRow("hand-edited 7, kept") << 7 << -1 << -1 << false << 7 << false;
    QTest::newRow("hand-edited -1, kept") << -1 << -1 << -1 << false << -1 << false;
    QTest::newRow("hand-edited 7, check picked") << 7 << 2 << -1 << false << 2 << true;
}

void SettingsDialogTest::doubleClickOptions() {
    QFETCH(int, click);
    QFETCH(int, pick);
    QFETCH(int, shownAtOpen);
    QFETCH(bool, mailerAtOpen);
    QFETCH(int, stored);
    QFETCH(bool, changed);
    DialogFixture f;
    Populate(f.state);
    f.state.settings.Click = static_cast<qint16>(click);
    f.open();
    f.showPage(2);
    auto* group = f.dialog->findChild<QButtonGroup*>("DblClick");
    QVERIFY(group);
    QCOMPARE(group->checkedId(), shownAtOpen);
    QCOMPARE(f.w("ExecMailer")->isEnabled(), mailerAtOpen);
    QCOMPARE(f.w("Label10")->isEnabled(), mailerAtOpen);
    if (pick >= 0) {
        f.click(QByteArray("DblClick" + QByteArray::number(pick)).constData());
        QCOMPARE(f.w("ExecMailer")->isEnabled(), pick == 1);
        QCOMPARE(f.w("Label10")->isEnabled(), pick == 1);
    }
    QVERIFY(f.w("Command5")->isEnabled());
    QCOMPARE(f.w<QLineEdit>("ExecMailer")->text(), QString("/usr/bin/mutt"));
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(int(f.state.settings.Click), stored);
    QCOMPARE(f.state.settings.Mailer, QString("/usr/bin/mutt"));
    QCOMPARE(f.state.SettingsChanged, changed);
}

void SettingsDialogTest::mailerBrowse() {
    DialogFixture f;
    Populate(f.state);
    f.open();
    f.showPage(2);
    f.nextFile = "/usr/bin/claws-mail";
    f.click("Command5");
    QCOMPARE(f.w<QLineEdit>("ExecMailer")->text(), f.nextFile);
    QCOMPARE(f.selectDirs, QStringList{f.state.AppPath});
    // Linux programs have no ".exe": the first entry must show them.
    QVERIFY2(QtFileFilter(f.selectFilters.value(0)).startsWith("ﾌﾟﾛｸﾞﾗﾑ (*)"),
             qPrintable(QtFileFilter(f.selectFilters.value(0))));
    f.nextFile.clear();
    f.click("Command5");
    QCOMPARE(f.w<QLineEdit>("ExecMailer")->text(), QString());
    f.nextFile = "/usr/bin/claws-mail";
    f.click("Command5");
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.settings.Mailer, QString("/usr/bin/claws-mail"));
    QVERIFY(f.state.SettingsChanged);
}

void SettingsDialogTest::autoCheckGreysItsControlsAndSetsTimer_data() {
    QTest::addColumn<bool>("autoCheck");
    QTest::newRow("on, switched off") << true;
    QTest::newRow("off, switched on") << false;
}

void SettingsDialogTest::autoCheckGreysItsControlsAndSetsTimer() {
    QFETCH(bool, autoCheck);
    DialogFixture f;
    Populate(f.state);
    f.state.settings.AutoCheck = autoCheck;
    f.open();
    f.showPage(2);
    const char* interval[] = {"Label8", "CheckMin", "Label9", "TelhoCheck"};
    for (const char* name : interval) QCOMPARE(f.w(name)->isEnabled(), autoCheck);
    f.click("AutoCheck");
    for (const char* name : interval) QCOMPARE(f.w(name)->isEnabled(), !autoCheck);
    f.pressOk();
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.settings.AutoCheck, !autoCheck);
    QCOMPARE(int(f.state.settings.Min), 15);
    QCOMPARE(f.state.settings.TelHodai, true);
    QCOMPARE(f.timerCalls, QList<bool>{!autoCheck});
}

void SettingsDialogTest::opensOnFirstPageWithItsCaptions() {
    DialogFixture f;
    Populate(f.state);
    f.open();
    QCOMPARE(f.tabs()->tabText(1), QString("音声&&ﾒｯｾｰｼﾞ"));  // one '&' shown, no access key
    QCOMPARE(f.w<QComboBox>("ServerName")->currentText(), QString("pop.example.org"));
    // The list entry only shows the server; editing it is not the server.
    f.w<QComboBox>("ServerName")->setEditText("elsewhere.example.org");
    f.showPage(2);
    f.pressOk();
    QCOMPARE(f.state.settings.Server, QString("pop.example.org"));
    // A fresh dialog opens on the first page again.
    f.open();
    QCOMPARE(f.tabs()->currentIndex(), 0);
}

void SettingsDialogTest::captionsFitAndControlsStayApart_data() {
    QTest::addColumn<int>("page");
    QTest::newRow("server") << 0;
    QTest::newRow("sounds") << 1;
    QTest::newRow("other") << 2;
}

void SettingsDialogTest::captionsFitAndControlsStayApart() {
    QFETCH(int, page);
    DialogFixture f;
    Populate(f.state);
    f.open();
    f.showPage(page);
    QWidget* shown = f.tabs()->currentWidget();
    QList<QWidget*> controls;
    for (QWidget* w : shown->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
        controls << w;
        const QString name = w->objectName();
        // Nothing sticks out of its frame or page.
        QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(name));
        // Captions and list entries are not cut.
        const auto* list = qobject_cast<QComboBox*>(w);
        const bool captioned = qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) ||
                               qobject_cast<QRadioButton*>(w) || (list && !list->isEditable());
        if (captioned)
            QVERIFY2(w->width() >= w->sizeHint().width(),
                     qPrintable(name + QString(" %1 < %2").arg(w->width()).arg(w->sizeHint().width())));
    }
    // Controls of the same container do not cover each other.
    for (QWidget* a : controls)
        for (QWidget* b : controls)
            if (a < b && a->parentWidget() == b->parentWidget() && !qobject_cast<QGroupBox*>(a) &&
                !qobject_cast<QGroupBox*>(b))
            {
                // A label and its field given one twips step apart may share
                // a row of pixels; more would cover one with the other.
                const QRect common = a->geometry().intersected(b->geometry());
                QVERIFY2(common.isEmpty() || qMin(common.width(), common.height()) <= 1,
                         qPrintable(a->objectName() + " covers " + b->objectName()));
            }
    // The page lies below the tab row, and every control inside the dialog.
    for (QWidget* w : controls) {
        const QRect inDialog(w->mapTo(f.dialog.get(), QPoint()), w->size());
        QVERIFY2(f.dialog->rect().contains(inDialog), qPrintable(w->objectName()));
    }
}

void SettingsDialogTest::keyboardOrderStaysOnShownPage_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("forward");  // Tab from the tab row, round to it again
    QTest::newRow("server") << 0 << ""
                            << QStringList{"ServerName", "ServerAddress", "LoginName", "LoginPass",
                                           "SavePass", "PopPort", "Command6", "Command7", "SSTab1"};
    QTest::newRow("sounds") << 1 << ""
                            << QStringList{"UseSound", "EventName", "EventWave", "Command1", "WaveTest",
                                           "WaveBrowse", "Command6", "Command7", "SSTab1"};
    QTest::newRow("sounds, no device, empty slot")
        << 1 << "no device"
        << QStringList{"EventName", "EventWave", "Command1", "WaveBrowse", "Command6", "Command7", "SSTab1"};
    QTest::newRow("other") << 2 << ""
                           << QStringList{"AutoCheck", "CheckMin", "TelhoCheck", "DblClick1", "ExecMailer",
                                          "Command5", "BGClearness", "Command6", "Command7", "SSTab1"};
    QTest::newRow("other, check on double-click, automatic off")
        << 2 << "click 2"
        << QStringList{"AutoCheck", "DblClick2", "Command5", "BGClearness", "Command6", "Command7", "SSTab1"};
    QTest::newRow("other, no option chosen")
        << 2 << "click 7"
        << QStringList{"AutoCheck", "CheckMin", "TelhoCheck", "DblClick0", "Command5", "BGClearness",
                       "Command6", "Command7", "SSTab1"};
}

void SettingsDialogTest::keyboardOrderStaysOnShownPage() {
    QFETCH(int, page);
    QFETCH(QString, setup);
    QFETCH(QStringList, forward);
    DialogFixture f;
    Populate(f.state);
    if (setup == "no device") {
        f.sound.device = false;
        f.state.soundTable[0].clear();
    } else if (setup == "click 2") {
        f.state.settings.Click = 2;
        f.state.settings.AutoCheck = false;
    } else if (setup == "click 7") {
        f.state.settings.Click = 7;
    }
    f.open();
    f.dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.showPage(page);
    f.tabs()->tabBar()->setFocus(Qt::TabFocusReason);
    QStringList seen;
    for (int i = 0; i < forward.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << FocusName(f.dialog.get());
    }
    QCOMPARE(seen, forward);
    QCOMPARE(f.tabs()->currentIndex(), page);
    // Backwards the same way round.
    QStringList backward;
    for (int i = 0; i < forward.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward.prepend(FocusName(f.dialog.get()));
    }
    QStringList expected = forward;
    expected.prepend(expected.takeLast());
    QCOMPARE(backward, expected);
}

void SettingsDialogTest::enterInAFieldPressesOk_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("field");
    QTest::newRow("address") << 0 << "ServerAddress";
    QTest::newRow("server list entry") << 0 << "ServerName";
    QTest::newRow("port, behind its key filter") << 0 << "PopPort";
    QTest::newRow("wave path") << 1 << "EventWave";
    QTest::newRow("interval") << 2 << "CheckMin";
}

void SettingsDialogTest::enterInAFieldPressesOk() {
    QFETCH(int, page);
    QFETCH(QString, field);
    DialogFixture f;
    Populate(f.state);
    f.open();
    f.showPage(page);
    f.type("ServerAddress", "enter.example.org");
    QWidget* target = f.w(field.toLatin1().constData());
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Return);
    QVERIFY(f.closedWith(QDialog::Accepted));
    QCOMPARE(f.state.settings.Server, QString("enter.example.org"));
}

void SettingsDialogTest::realOpenFileDialog_data() {
    QTest::addColumn<bool>("choose");
    QTest::newRow("a file chosen") << true;
    QTest::newRow("cancelled") << false;
}

void SettingsDialogTest::realOpenFileDialog() {
    QFETCH(bool, choose);
    test::ProgramFolder folder;
    folder.write("chime.wav", "RIFF");
    folder.write("notes.txt", "x");
    QString title;
    QString directory;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QTimer poll;
    poll.setInterval(20);
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            // Another kind of dialog would never be answered: close it and fail.
            if (++ticks > 250 && QApplication::activeModalWidget()) QApplication::activeModalWidget()->close();
            return;
        }
        title = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        mode = dialog->fileMode();
        // The name typed into the dialog's own field, then Open.
        if (choose) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(name);
            name->setText(folder.file("chime.wav"));
            static_cast<QDialog*>(dialog)->accept();
        } else {
            dialog->reject();
        }
    });
    poll.start();
    const QString chosen =
        SelectFile(nullptr, "Waveﾌｧｲﾙ (*.wav)" + QString(kNul) + "*.wav", folder.path());
    QCOMPARE(title, QString("ファイルの選択"));
    QCOMPARE(directory, QDir(folder.path()).absolutePath());
    QCOMPARE(filters, QStringList{"Waveﾌｧｲﾙ (*.wav)"});
    QCOMPARE(mode, QFileDialog::ExistingFile);
    QCOMPARE(chosen, choose ? folder.file("chime.wav") : QString());
}

void SettingsDialogTest::menuCommandOpensTheRealDialog() {
    // The menu command with the program's own dialogs: edit, OK, and the
    // settings file gets the dialog's batch.
    test::ProgramFolder folder;
    AppState state;
    state.AppPath = folder.path();
    folder.write("velmio.ini", "[System]\r\nServer=pop.example.org\r\nLoginName=alice\r\nPort=110\r\n"
                               "SavePassword=1\r\nAutoCheck=0\r\nMin=5\r\n");
    test::FakeServices fakes;
    Services services = fakes.services();
    services.dialogs = nullptr;
    Form1 form1(state, services);
    QVERIFY(form1.Load());
    bool sawDialog = false;
    bool timerWhileOpen = true;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<Form3*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll.stop();
        sawDialog = true;
        timerWhileOpen = form1.TimerEnabled();
        auto* pass = dialog->findChild<QLineEdit*>("LoginPass");
        QTest::keyClicks(pass, "pw");
        auto* tabs = dialog->findChild<QTabWidget*>("SSTab1");
        tabs->setCurrentIndex(2);
        QTest::mouseClick(dialog->findChild<QCheckBox*>("AutoCheck"), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton*>("Command6"), Qt::LeftButton);
    });
    poll.start();
    form1.RunMenuCommand("mnuOption");
    QVERIFY(sawDialog);
    QVERIFY(!timerWhileOpen);
    QVERIFY(state.SettingsChanged);
    QVERIFY(form1.TimerEnabled());
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "LoginPass"), QString("pw"));
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "AutoCheck"), QString("1"));
    form1.hide();
}

QTEST_MAIN(SettingsDialogTest)
#include "tst_settings_dialog.moc"
