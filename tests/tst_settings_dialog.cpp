#include <QAccessible>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>
#include <memory>

#include "app/form1.h"
#include "app/popup_menu.h"
#include "app/settings_file.h"
#include "character/event_sounds.h"
#include "core/app_state.h"
#include "platform/profile_file.h"
#include "settings_dialog/form3.h"
#include "settings_dialog/select_file.h"
#include "support/fakes.h"

using namespace velmio;

namespace {

const QString kNul(QChar(0));

QString Str(const QString& v) { return v; }
QString Str(qint64 v) { return QString::number(v); }
#define KV(field) QStringLiteral(#field "=") + Str(s.field)

// A further account as "section/name/server:port/protocol/security/user/password/saved/enabled/pin".
QString Account(const AccountSettings& a) {
    return QStringList{Str(a.Section), a.AccountName, a.Server + ':' + Str(a.Port), Str(a.Protocol), Str(a.Security),
                       a.LoginName, a.LoginPass, Str(a.SavePassword), Str(a.Enabled), a.CertPin.left(1)}.join('/');
}
const QString kWork = "2/仕事用メール/imap.example.co.jp:993/1/2/taro/pw2/1/1/b";
const QString kHome = "3//pop.example.ne.jp:110/0/0/hanako/pw3/1/0/";

// Every setting and sound slot as "Key=value", so that a failed comparison
// names the fields that differ.
QStringList Describe(const AppState& state) {
    const AppSettings& s = state.settings;
    QStringList d = {KV(Server),   KV(LoginName),    KV(LoginPass), KV(Port),     KV(AutoCheck),
                     KV(TelHodai), KV(Min),          KV(SavePassword), KV(Mail),  KV(Octet),
                     KV(AlwaysActive), KV(Xpos),     KV(Ypos),      KV(Click),    KV(Mailer),
                     KV(DispDiff), KV(CharHide),     KV(LogMode),   KV(Clearness), KV(PlayWave),
                     KV(NewMailWave), KV(NickName), KV(Security), KV(Apop), KV(CertPin), KV(Protocol), KV(AccountName), KV(Enabled)};
    for (int i = 0; i < 6; ++i) d << QStringLiteral("Sound%1=").arg(i) + state.soundTable[i];
    QStringList more, deleted;
    for (const AccountSettings& a : s.MoreAccounts) more << Account(a);
    for (const int section : s.DeletedSections) deleted << QString::number(section);
    return d << "MoreAccounts=" + more.join(" | ") << "DeletedSections=" + deleted.join(',');
}

struct DialogFixture {
    // setup: words that move away from the settings a user of some standing
    // would have ("first run" has no settings file at all).
    explicit DialogFixture(const QString& setup = {}) {
        state.paths = AppPaths::ProgramFolder(folder.path());
        if (setup.contains("no second picture")) QFile::remove(folder.file("velmio_s.dat"));
        sound.device = !setup.contains("no device");
        state.SettingsChanged = setup.contains("flag up");
        if (setup.contains("first run")) {
            LoadSettings(state);
            return;
        }
        AppSettings& s = state.settings;
        s.Server = "pop.example.org", s.LoginName = "alice", s.LoginPass = "secret", s.Port = 110;
        s.TelHodai = true, s.Min = 15, s.Mailer = "/usr/bin/mutt", s.NickName = "兄さん";
        s.AutoCheck = !setup.contains("auto off");
        s.PlayWave = !setup.contains("sound off");
        s.SavePassword = !setup.contains("password not saved");
        s.Clearness = setup.contains("transparent");
        s.Click = static_cast<qint16>(setup.contains("click ") ? setup.section("click ", 1).section(',', 0, 0).toInt() : 1);
        if (setup.contains("port ")) s.Port = static_cast<qint16>(setup.section("port ", 1).section(',', 0, 0).toInt());
        if (setup.contains("security ")) s.Security = static_cast<qint16>(setup.section("security ", 1).section(',', 0, 0).toInt());
        if (setup.contains("pinned")) s.CertPin = QString(64, 'a');
        if (setup.contains("protocol ")) s.Protocol = static_cast<qint16>(setup.section("protocol ", 1).section(',', 0, 0).toInt());
        s.Apop = setup.contains("apop");
        state.soundTable = {"/snd/greeting.wav", "/snd/wait.wav", "", "", "/snd/many.wav", "/snd/error.wav"};
        if (setup.contains("empty slot")) state.soundTable[0].clear();
        if (setup.contains("three accounts")) {
            // The work account's certificate is trusted; the one at home is switched off.
            s.AccountName = "個人";
            for (const QString& account : {kWork, kHome}) {
                const QStringList v = account.split('/');
                AccountSettings a;
                a.Section = v[0].toInt(), a.AccountName = v[1], a.Server = v[2].section(':', 0, 0), a.Port = qint16(v[2].section(':', 1).toInt());
                a.Protocol = qint16(v[3].toInt()), a.Security = qint16(v[4].toInt()), a.LoginName = v[5], a.LoginPass = v[6];
                a.SavePassword = v[7] == "1", a.Enabled = v[8] == "1", a.CertPin = v[9].repeated(64);
                s.MoreAccounts << a, s.CertPins.insert(PinPlace(a), a.CertPin);
            }
            WriteDialogBatch(state);  // their sections in the file
        }
    }

    void open(int page = 0) {
        before = Describe(state);
        Form3Services s;
        s.sounds = &sounds;
        s.messages = &messages;
        s.applied = [this](bool on) { timerCalls << on; };
        s.selectFile = [this](QWidget* owner, const QString& filter, const QString& dir) {
            selectOwners << owner, selectFilters << filter, selectDirs << dir;
            return nextFile;
        };
        dialog = std::make_unique<Form3>(state, s);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        if (page) showPage(page);
    }

    template <typename T = QWidget>
    T* w(const QString& name) const {
        T* child = dialog->findChild<T*>(name);
        if (!child) qFatal("no control %s", qPrintable(name));
        return child;
    }
    QTabWidget* tabs() const { return w<QTabWidget>("SSTab1"); }
    void showPage(int page) {
        QTabBar* bar = tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
        QCOMPARE(tabs()->currentIndex(), page);
    }
    void click(const QString& name) { QTest::mouseClick(w<QAbstractButton>(name), Qt::LeftButton); }
    // Replaces a field's text from the keyboard, with key presses as the
    // keyboard sends them whatever the character (QTest drops all but Latin-1).
    void type(const QString& name, const QString& text) {
        QWidget* edit = w(name);
        if (auto* list = qobject_cast<QComboBox*>(edit); list && !list->isEditable()) {
            // A choice from the list, made with the arrow keys.
            list->setFocus();
            const int steps = list->findText(text) - list->currentIndex();
            for (int i = 0; i < qAbs(steps); ++i) QTest::keyClick(list, steps > 0 ? Qt::Key_Down : Qt::Key_Up);
            return;
        }
        if (auto* list = qobject_cast<QComboBox*>(edit)) edit = list->lineEdit();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        for (const QChar c : text) {
            const bool digit = c.isDigit() && c.unicode() < 128;
            QKeyEvent press(QEvent::KeyPress, digit ? Qt::Key_0 + c.digitValue() : Qt::Key_unknown, {}, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    }
    bool secondPicture() const { return QFile::exists(folder.file("velmio_s.dat")); }
    // The enabling rules, which hold at open and after every edit.
    void checkEnabling() const {
        auto enabled = [this](std::initializer_list<const char*> names, bool on) {
            for (const char* name : names) QVERIFY2(w(name)->isEnabled() == on, name);
        };
        auto* useSound = w<QCheckBox>("UseSound");
        QCOMPARE(useSound->isEnabled(), sound.device);
        enabled({"Label5", "EventName", "Label6", "EventWave"}, useSound->isChecked() || !sound.device);
        enabled({"WaveTest"}, !w<QLineEdit>("EventWave")->text().isEmpty());
        enabled({"Label8", "CheckMin", "Label9", "TelhoCheck"}, w<QCheckBox>("AutoCheck")->isChecked());
        enabled({"ExecMailer", "Label10"}, dialog->findChild<QButtonGroup*>("DblClick")->checkedId() == 1);
        enabled({"Command1", "WaveBrowse", "Command5"}, true);
        enabled({"ApopCheck"}, w<QComboBox>("Protocol")->currentText() == "POP3");
        enabled({"BGClearness"}, secondPicture());
        const int accounts = w<QListWidget>("AccountList")->count();
        enabled({"ServerDel"}, accounts > 1), enabled({"ServerAdd"}, accounts < kMaxAccounts);
        // The per-event message planned once stays out of sight.
        for (const char* name : {"EventMsg", "Label7"}) QVERIFY2(w(name)->isHidden(), name);
    }
    bool closedWith(QDialog::DialogCode code) const { return !dialog->isVisible() && dialog->result() == code; }
    // The entries of Describe() that differ from those at open.
    QStringList changes() const {
        const QStringList after = Describe(state);
        QStringList changed;
        for (int i = 0; i < after.size(); ++i)
            if (before.value(i) != after[i]) changed << after[i];
        return changed;
    }
    // Closed as by OK (clicked here unless pressed already): exactly these
    // changes applied, the flag raised for them alone, the timer set.
    void okChanges(const QStringList& expected, bool press = true) {
        if (press) click("Command6");
        QVERIFY(closedWith(QDialog::Accepted));
        QCOMPARE(changes(), expected);
        QCOMPARE(state.SettingsChanged, !expected.isEmpty());
        QCOMPARE(timerCalls, QList<bool>{state.settings.AutoCheck});
        QCOMPARE(messages.texts, QStringList());
    }

    test::ProgramFolder folder;
    AppState state;
    test::RecordingSound sound;
    EventSounds sounds{state, sound};
    test::RecordingMessages messages;
    QList<bool> timerCalls;
    QList<QWidget*> selectOwners;
    QStringList selectFilters, selectDirs, before;
    QString nextFile;
    std::unique_ptr<Form3> dialog;
};

// The frame lines of a field; none for a label.
int FrameOf(const QWidget* w) {
    const auto* field = qobject_cast<const QLineEdit*>(w);
    return field && field->hasFrame() ? w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w) : 0;
}

// The first and last rows of w that hold text (pixels well darker than its
// background), between its frame lines.
QPair<int, int> InkRows(QWidget* w) {
    const QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int frame = FrameOf(w), background = qGray(image.pixel(image.width() / 2, frame));
    int first = -1, last = -1;
    for (int y = frame; y < image.height() - frame; ++y)
        for (int x = frame + 3; x < image.width() - frame - 3; ++x)
            if (qGray(image.pixel(x, y)) < background - 80) {
                last = y, first = first < 0 ? y : first;
                break;
            }
    return {first, last};
}

// The control that has the keyboard focus: the tab row stands for the tab
// control, an inner part for its control.
QString FocusName(const QWidget* dialog) {
    const QWidget* f = QApplication::focusWidget();
    if (qobject_cast<const QTabBar*>(f)) return "SSTab1";
    while (f && f != dialog && (f->objectName().isEmpty() || f->objectName().startsWith("qt_")))
        f = f->parentWidget();
    return f ? f->objectName() : "(none)";
}

// Answers the next modal dialog of type T from the event loop; the poll
// stops once it has.
template <typename T>
void AnswerModal(QTimer& poll, std::function<void(T*)> answer) {
    QObject::connect(&poll, &QTimer::timeout, [&poll, answer, ticks = 0]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<T*>(modal)) {
            poll.stop();
            answer(dialog);
        } else if (modal && ++ticks > 250) {
            modal->close();  // another kind of dialog would never be answered: fail instead
        }
    });
    poll.start(20);
}

}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void fileFilterForQt_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qt");
        QTest::newRow("description shows the pattern") << "Wave (*.wav)" + kNul + "*.wav" << "Wave (*.wav)";
        QTest::newRow("description without pattern") << "Wave" + kNul + "*.wav" << "Wave (*.wav)";
        QTest::newRow("two entries, trailing NULs")
            << "A (*)" + kNul + "*" + kNul + "B" + kNul + "*.b;*.c" + kNul + kNul << "A (*);;B (*.b *.c)";
        QTest::newRow("description without its pattern") << QString("lonely") << "";
    }

    void fileFilterForQt() {
        QFETCH(QString, filter);
        QFETCH(QString, qt);
        QCOMPARE(QtFileFilter(filter), qt);
    }

    void okAppliesTheEditAlone_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("control");  // typed into when a field, clicked otherwise
        QTest::addColumn<QString>("text");     // typed, or what a browse button gets
        QTest::addColumn<QStringList>("changes");
        // OK without edits raises nothing. A transparent mode the dialog
        // cannot show for want of the second picture is left as it was.
        for (const char* setup : {"first run", "first run, no device, no second picture", "", "transparent",
                                  "no device", "transparent, no second picture", "no device, no second picture",
                                  "flag up", "auto off", "sound off", "click 0", "click 2", "click 7", "click -1",
                                  "port 995, security 2", "port 40000", "security 7", "protocol 1, port 143", "protocol 7"})
            QTest::newRow(*setup ? setup : "set up") << QString(setup) << "" << "" << QStringList{};
        QTest::newRow("user") << "" << "LoginName" << "bob" << QStringList{"LoginName=bob"};
        QTest::newRow("user, other case") << "" << "LoginName" << "Alice" << QStringList{"LoginName=Alice"};
        QTest::newRow("password, saved") << "" << "LoginPass" << "n3w" << QStringList{"LoginPass=n3w"};
        QTest::newRow("password, not saved") << "password not saved" << "LoginPass" << "n3w" << QStringList{"LoginPass=n3w"};
        QTest::newRow("save password off") << "" << "SavePass" << "" << QStringList{"SavePassword=0"};
        QTest::newRow("port with leading zeros, same number") << "" << "PopPort" << "0110" << QStringList{};
        QTest::newRow("lowest port") << "" << "PopPort" << "1" << QStringList{"Port=1"};
        QTest::newRow("highest port") << "" << "PopPort" << "65535" << QStringList{"Port=-1"};  // the same 16 bits
        QTest::newRow("APOP") << "" << "ApopCheck" << "" << QStringList{"Apop=1"};
        // The usual port goes along with the encryption, an own port stays.
        QTest::newRow("SSL/TLS, 110 to 995") << "" << "Security" << "SSL/TLS" << QStringList{"Port=995", "Security=2"};
        QTest::newRow("STARTTLS keeps 110") << "" << "Security" << "STARTTLS" << QStringList{"Security=1"};
        QTest::newRow("none, 995 to 110") << "port 995, security 2" << "Security" << "なし" << QStringList{"Port=110", "Security=0"};
        QTest::newRow("STARTTLS, 995 to 110") << "port 995, security 2" << "Security" << "STARTTLS" << QStringList{"Port=110", "Security=1"};
        QTest::newRow("SSL/TLS, own port stays") << "port 2110" << "Security" << "SSL/TLS" << QStringList{"Security=2"};
        QTest::newRow("IMAP, 110 to 143") << "" << "Protocol" << "IMAP" << QStringList{"Port=143", "Protocol=1"};
        QTest::newRow("IMAP, 995 to 993") << "port 995, security 2" << "Protocol" << "IMAP" << QStringList{"Port=993", "Protocol=1"};
        QTest::newRow("IMAP, own port stays") << "port 2110" << "Protocol" << "IMAP" << QStringList{"Protocol=1"};
        QTest::newRow("IMAP, greyed APOP kept") << "apop" << "Protocol" << "IMAP" << QStringList{"Port=143", "Protocol=1"};
        QTest::newRow("IMAP, was 7") << "protocol 7" << "Protocol" << "IMAP" << QStringList{"Port=143", "Protocol=1"};
        QTest::newRow("POP3, 143 to 110") << "protocol 1, port 143" << "Protocol" << "POP3" << QStringList{"Port=110", "Protocol=0"};
        QTest::newRow("POP3, 993 to 995") << "protocol 1, port 993, security 2" << "Protocol" << "POP3" << QStringList{"Port=995", "Protocol=0"};
        QTest::newRow("IMAP, SSL/TLS, 143 to 993") << "protocol 1, port 143" << "Security" << "SSL/TLS" << QStringList{"Port=993", "Security=2"};
        QTest::newRow("IMAP, STARTTLS, 993 to 143") << "protocol 1, port 993, security 2" << "Security" << "STARTTLS" << QStringList{"Port=143", "Security=1"};
        QTest::newRow("IMAP, SSL/TLS, POP3's port stays") << "protocol 1" << "Security" << "SSL/TLS" << QStringList{"Security=2"};
        QTest::newRow("new address forgets the pin") << "pinned" << "ServerAddress" << "x.example.org" << QStringList{"Server=x.example.org", "CertPin="};
        // The port takes ASCII digits only, five at most.
        QTest::newRow("port, letters and blanks dropped") << "" << "PopPort" << "9a9 5x" << QStringList{"Port=995"};
        QTest::newRow("port, sign and point dropped") << "" << "PopPort" << "-1.5" << QStringList{"Port=15"};
        QTest::newRow("port, full-width digits and kana dropped") << "" << "PopPort" << "１１０ポ7" << QStringList{"Port=7"};
        QTest::newRow("port, sixth digit refused") << "" << "PopPort" << "1234567" << QStringList{"Port=12345"};
        QTest::newRow("sound switched off") << "" << "UseSound" << "" << QStringList{"PlayWave=0"};
        QTest::newRow("sound switched on") << "sound off" << "UseSound" << "" << QStringList{"PlayWave=1"};
        QTest::newRow("test plays while switched off") << "sound off" << "WaveTest" << "" << QStringList{};
        // A device missing for the moment must not switch the sounds off, nor lock the slots.
        QTest::newRow("wave typed, no device") << "no device" << "EventWave" << "/snd/new.wav" << QStringList{"Sound0=/snd/new.wav"};
        QTest::newRow("wave browsed") << "" << "Command1" << "/snd/x.wav" << QStringList{"Sound0=/snd/x.wav"};
        QTest::newRow("wave browsed in the program folder") << "" << "Command1" << "<folder>/sounds/x.wav" << QStringList{"Sound0=sounds/x.wav"};
        QTest::newRow("wave browsed beside it") << "" << "Command1" << "<folder>2/x.wav" << QStringList{"Sound0=<folder>2/x.wav"};
        QTest::newRow("wave browse cancelled") << "" << "WaveBrowse" << "" << QStringList{"Sound0="};
        QTest::newRow("auto check off") << "" << "AutoCheck" << "" << QStringList{"AutoCheck=0"};
        QTest::newRow("auto check on") << "auto off" << "AutoCheck" << "" << QStringList{"AutoCheck=1"};
        QTest::newRow("interval, zero") << "" << "CheckMin" << "0" << QStringList{"Min=0"};
        QTest::newRow("greyed interval, unusable: neither refused nor applied") << "auto off, pasted" << "" << "" << QStringList{};
        QTest::newRow("interval, blanks around") << "" << "CheckMin" << " 3 " << QStringList{"Min=3"};
        QTest::newRow("telephone hours") << "" << "TelhoCheck" << "" << QStringList{"TelHodai=0"};
        QTest::newRow("double-click: nothing") << "" << "DblClick0" << "" << QStringList{"Click=0"};
        QTest::newRow("double-click: mailer") << "click 0" << "DblClick1" << "" << QStringList{"Click=1"};
        QTest::newRow("double-click: check, was 7") << "click 7" << "DblClick2" << "" << QStringList{"Click=2"};
        QTest::newRow("mailer typed") << "" << "ExecMailer" << "/usr/bin/thunderbird" << QStringList{"Mailer=/usr/bin/thunderbird"};
        QTest::newRow("mailer browsed") << "" << "Command5" << "/usr/bin/claws-mail" << QStringList{"Mailer=/usr/bin/claws-mail"};
        QTest::newRow("mailer browse cancelled") << "" << "Command5" << "" << QStringList{"Mailer="};
        QTest::newRow("transparent background") << "" << "BGClearness" << "" << QStringList{"Clearness=1"};
        QTest::newRow("nickname") << "" << "NickName" << "兄上" << QStringList{"NickName=兄上"};
        QTest::newRow("nickname, blanks around dropped") << "" << "NickName" << " 兄上 " << QStringList{"NickName=兄上"};
        QTest::newRow("nickname emptied: none") << "" << "NickName" << "" << QStringList{"NickName="};
        QTest::newRow("nickname retyped the same") << "" << "NickName" << "兄さん" << QStringList{};
        // Enter in a field presses OK, also behind the list's and the port's own key
        // handling. The list's edit part and the address show one server name.
        QTest::newRow("address, Enter") << "Enter" << "ServerAddress" << "e.example.org" << QStringList{"Server=e.example.org"};
        QTest::newRow("server list entry, Enter") << "Enter" << "ServerName" << "e.example.org" << QStringList{"Server=e.example.org"};
        QTest::newRow("port, Enter") << "Enter" << "PopPort" << "995" << QStringList{"Port=995"};
        QTest::newRow("wave, Enter") << "Enter" << "EventWave" << "/snd/e.wav" << QStringList{"Sound0=/snd/e.wav"};
        QTest::newRow("interval, Enter") << "Enter" << "CheckMin" << "30" << QStringList{"Min=30"};
    }

    void okAppliesTheEditAlone() {
        QFETCH(QString, setup);
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(QStringList, changes);
        DialogFixture f(setup);
        f.nextFile = QString(text).replace("<folder>", f.state.paths.DataDir());
        f.open();
        if (setup.contains("pasted")) f.w<QLineEdit>("CheckMin")->setText("-5");
        const AppSettings& s = f.state.settings;
        QCOMPARE(f.w<QCheckBox>("UseSound")->isChecked(), s.PlayWave);
        QCOMPARE(f.w<QCheckBox>("BGClearness")->isChecked(), s.Clearness && f.secondPicture());
        QCOMPARE(f.w<QLineEdit>("LoginPass")->displayText(), QString(s.LoginPass.size(), '*'));
        QCOMPARE(f.w<QLineEdit>("PopPort")->text(), QString::number(quint16(s.Port)));
        QCOMPARE(f.w<QComboBox>("Security")->currentText(), QStringList({"なし", "STARTTLS", "SSL/TLS"}).value(qBound(0, int(s.Security), 2)));
        QCOMPARE(f.w<QCheckBox>("ApopCheck")->isChecked(), s.Apop);
        QCOMPARE(f.w<QComboBox>("Protocol")->currentText(), s.Protocol == 1 ? "IMAP" : "POP3");
        f.checkEnabling();
        if (!control.isEmpty()) {
            QWidget* target = f.w(control);
            for (int page = 0; page < 3; ++page)
                if (f.tabs()->widget(page)->isAncestorOf(target)) f.showPage(page);
            if (qobject_cast<QLineEdit*>(target) || qobject_cast<QComboBox*>(target))
                f.type(control, text);
            else
                f.click(control);
        }
        f.checkEnabling();
        QCOMPARE(f.w<QComboBox>("ServerName")->currentText(), f.w<QLineEdit>("ServerAddress")->text());
        QCOMPARE(f.sound.played, control == "WaveTest" ? QStringList{f.state.soundTable[0]} : QStringList());
        for (int i = 0; i < f.selectDirs.size(); ++i) {
            // Browsing starts in the program folder, over the dialog; Linux
            // programs have no ".exe", so the mailer's first entry shows all.
            QCOMPARE(f.selectDirs[i], f.state.paths.DataDir());
            QCOMPARE(f.selectOwners[i], f.dialog.get());
            const QString first = QtFileFilter(f.selectFilters[i]).section(";;", 0, 0);
            QVERIFY2(first.endsWith(control == "Command5" ? "(*)" : "(*.wav)"), qPrintable(first));
        }
        if (setup == "Enter") {
            f.w(control)->setFocus();
            QTest::keyClick(f.w(control), Qt::Key_Return);
        }
        changes.replaceInStrings("<folder>", f.state.paths.DataDir());
        f.okChanges(changes, setup != "Enter");
        // What the menu command writes after OK: the password only when it is to be saved.
        WriteDialogBatch(f.state);
        QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "LoginPass"), s.SavePassword ? s.LoginPass : "");
        AppState back;
        back.paths = f.state.paths;
        LoadSettings(back);
        const QRegularExpression stored("^(Port|Security|Apop|CertPin|Protocol|NickName)=");
        QCOMPARE(Describe(back).filter(stored), Describe(f.state).filter(stored));
    }

    void accountsEditedInTheList_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("steps");  // select a row, click or type into a control, OK refused for a row's control, Cancel
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("changes");  // after OK
        const QString three = "three accounts", home = "MoreAccounts=" + kHome, added = "新しいアカウント";
        const QStringList listed = {"個人", "仕事用メール", "pop.example.ne.jp（無効）"};
        QTest::newRow("looked through") << three << QStringList{"select 1", "select 2", "select 0"} << listed << QStringList{};
        QTest::newRow("added to one") << "" << QStringList{"click ServerAdd", "type ServerAddress imap.example.com", "type Protocol IMAP", "type LoginName bob"}
                                      << QStringList{"pop.example.org", "imap.example.com"} << QStringList{"MoreAccounts=0//imap.example.com:143/1/0/bob//0/1/"};
        QTest::newRow("added and deleted") << three << QStringList{"click ServerAdd", "type ServerAddress x.example.com", "click ServerDel"} << listed << QStringList{};
        QTest::newRow("second deleted") << three << QStringList{"select 1", "click ServerDel"} << QStringList{"個人", listed[2]} << QStringList{home, "DeletedSections=2"};
        QTest::newRow("first deleted, the second moves up") << three << QStringList{"click ServerDel"} << listed.mid(1) << QStringList{"Server=imap.example.co.jp",
            "LoginName=taro", "LoginPass=pw2", "Port=993", "Security=2", "CertPin=" + QString(64, 'b'), "Protocol=1", "AccountName=仕事用メール", home, "DeletedSections=2"};
        QTest::newRow("last two deleted") << three << QStringList{"select 2", "click ServerDel", "click ServerDel"} << QStringList{"個人"}
                                          << QStringList{"MoreAccounts=", "DeletedSections=2,3"};
        QTest::newRow("first renamed") << three << QStringList{"type AccountName 私用"} << QStringList{"私用", listed[1], listed[2]} << QStringList{"AccountName=私用"};
        QTest::newRow("only one switched off") << "" << QStringList{"click AccountEnabled"} << QStringList{"pop.example.org（無効）"} << QStringList{"Enabled=0"};
        QTest::newRow("second edited, then the first shown") << three << QStringList{"select 1", "type PopPort 1993", "type LoginPass 新pw", "select 0"} << listed
            << QStringList{"MoreAccounts=2/仕事用メール/imap.example.co.jp:1993/1/2/taro/新pw/1/1/ | " + kHome};
        QTest::newRow("second to POP3, its usual port along") << three << QStringList{"select 1", "type Protocol POP3"} << listed
            << QStringList{"MoreAccounts=2/仕事用メール/imap.example.co.jp:995/0/2/taro/pw2/1/1/ | " + kHome};
        QTest::newRow("bad port of the second refused there") << three << QStringList{"select 1", "type PopPort 0", "select 0", "refused PopPort 1", "type PopPort 993"}
                                                              << listed << QStringList{};
        QTest::newRow("new account without a server refused") << three << QStringList{"click ServerAdd", "select 0", "refused ServerAddress 3", "click ServerDel"}
                                                               << listed << QStringList{};
        QTest::newRow("cancelled") << three << QStringList{"click ServerAdd", "select 0", "click ServerDel", "type AccountName x", "cancel"}
                                   << QStringList{"x", listed[2], added} << QStringList{};
        QTest::newRow("sixteen at most") << three << (QStringList(14, "click ServerAdd") << "cancel") << listed + QStringList(13, added) << QStringList{};
    }

    void accountsEditedInTheList() {
        QFETCH(QString, setup);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, changes);
        DialogFixture f(setup);
        f.open();
        auto* list = f.w<QListWidget>("AccountList");
        QCOMPARE(QAccessible::queryAccessibleInterface(list)->text(QAccessible::Name), QString("アカウント(L)"));  // as a label names a field
        const bool cancel = steps.removeAll("cancel") > 0;
        for (const QString& step : steps) {
            const QString verb = step.section(' ', 0, 0), control = step.section(' ', 1, 1), text = step.section(' ', 2);
            if (verb == "select")
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(control.toInt())).center());
            else if (verb == "type")
                f.type(control, text);
            else if (verb == "click")
                f.click(control);
            else if (verb == "refused") {
                // The account at fault is shown with the field in focus, and nothing is applied.
                f.click("Command6");
                QCOMPARE(std::exchange(f.messages.texts, {}).size(), 1);
                QCOMPARE(list->currentRow(), text.toInt());
                QCOMPARE(f.dialog->focusWidget(), f.w(control));
                QCOMPARE(f.changes(), QStringList());
            }
            f.checkEnabling();
        }
        QStringList entries;
        for (int i = 0; i < list->count(); ++i) entries << list->item(i)->text();
        QCOMPARE(entries, listed);
        if (cancel) {
            f.click("Command7");
            QVERIFY(f.closedWith(QDialog::Rejected) && f.changes().isEmpty() && !f.state.SettingsChanged);
            return;
        }
        f.okChanges(changes);
        // The file written after OK reads back as the same accounts.
        QVERIFY(WriteDialogBatch(f.state));
        AppState back;
        back.paths = f.state.paths, LoadSettings(back);
        const QRegularExpression account("^(Server|Login|Port|SavePassword|Security|Apop|CertPin|Protocol|AccountName|Enabled|MoreAccounts|DeletedSections)");
        QCOMPARE(Describe(back).filter(account), Describe(f.state).filter(account));
    }

    void serverPageAccessKeysDiffer() {
        DialogFixture f("three accounts");
        f.open();
        QString keys;
        for (const QLabel* label : f.tabs()->widget(0)->findChildren<QLabel*>()) keys += label->text().section("(&", 1).left(1);
        for (const QAbstractButton* b : f.tabs()->widget(0)->findChildren<QAbstractButton*>()) keys += b->text().section("(&", 1).left(1);
        std::sort(keys.begin(), keys.end());
        QCOMPARE(keys, QString("ADEGKLMNV"));
    }

    void popPortFilterLetsBackspaceByAndNoInputMethodText() {
        DialogFixture f;
        f.open();
        auto* port = f.w<QLineEdit>("PopPort");
        QTest::keyClick(port, Qt::Key_End);
        QTest::keyClick(port, Qt::Key_Backspace);
        // What an input method commits (full-width digits, kana) goes through the filter too.
        QInputMethodEvent kana;
        kana.setCommitString("ポート１");
        QApplication::sendEvent(port, &kana);
        QCOMPARE(port->text(), QString("11"));
    }

    void cancelOrRefusedNumberAppliesNothing_data() {
        QTest::addColumn<QString>("how");  // a closing, or the field whose number OK refuses
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("setup");
        QTest::newRow("Cancel button") << "Cancel" << "" << "";
        QTest::newRow("Esc") << "Esc" << "" << "";
        QTest::newRow("close box") << "close" << "" << "";
        QTest::newRow("Cancel after an earlier OK") << "Cancel" << "" << "flag up";
        // Text reaches PopPort by pasting, and CheckMin takes any text.
        for (const char* text : {"", "0", "65536", "-110", "pop"})
            QTest::addRow("port '%s'", text) << "PopPort" << text << "flag up";
        for (const char* text : {"", "five", "32768", "-1"})
            QTest::addRow("interval '%s'", text) << "CheckMin" << text << "flag up, auto off";
    }

    void cancelOrRefusedNumberAppliesNothing() {
        QFETCH(QString, how);
        QFETCH(QString, text);
        QFETCH(QString, setup);
        DialogFixture f(setup);
        const bool flagBefore = f.state.SettingsChanged;
        f.nextFile = "/snd/other.wav";
        f.open();
        f.type("ServerAddress", "x.example.org");
        f.type("LoginPass", "other");
        f.type("Protocol", "IMAP");
        f.showPage(1);
        f.click("Command1");
        f.showPage(2);
        f.click("AutoCheck");
        f.click("DblClick0");
        const bool refused = how == "PopPort" || how == "CheckMin";
        if (refused) {
            f.w<QLineEdit>(how)->setText(text);  // as pasted
            f.click("Command6");
        } else if (how == "Cancel") {
            f.click("Command7");
        } else if (how == "Esc") {
            QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        } else {
            f.dialog->close();
        }
        QVERIFY(refused ? f.dialog->isVisible() : f.closedWith(QDialog::Rejected));
        QCOMPARE(f.changes(), QStringList());
        QCOMPARE(f.state.SettingsChanged, flagBefore);
        QVERIFY(f.timerCalls.isEmpty());
        // A refusal says so in one stop message naming the field, shown on the field's page.
        QCOMPARE(f.messages.texts.size(), int(refused));
        if (!refused) return;
        QVERIFY2(f.messages.texts[0].contains(how == "PopPort" ? "IMAPポート" : "チェック間隔"), qPrintable(f.messages.texts[0]));
        QCOMPARE(f.messages.styles, QList<int>{16});
        QCOMPARE(f.messages.captions, QStringList{kAppTitle});
        QCOMPARE(f.tabs()->currentIndex(), how == "PopPort" ? 0 : 2);
        // Put right, the same OK goes through.
        f.w<QLineEdit>(how)->setText(how == "PopPort" ? " 143 " : " 15 ");  // blanks around are no fault
        f.messages.texts.clear();
        f.okChanges({"Server=x.example.org", "LoginPass=other", "Port=143",
                     how == "PopPort" ? "AutoCheck=0" : "AutoCheck=1", "Click=0", "Protocol=1", "Sound0=/snd/other.wav"});
    }

    void soundSlotsSurviveSwitchingEvents() {
        DialogFixture f;
        f.open(1);
        auto* events = f.w<QComboBox>("EventName");
        auto* wave = f.w<QLineEdit>("EventWave");
        QCOMPARE(wave->text(), QString("/snd/greeting.wav"));
        events->setCurrentIndex(2);
        QCOMPARE(wave->text(), QString());
        QVERIFY(!f.w("WaveTest")->isEnabled());
        f.nextFile = "/snd/mail.wav";
        f.click("Command1");
        events->setCurrentIndex(4);
        QCOMPARE(wave->text(), QString("/snd/many.wav"));
        events->setCurrentIndex(2);
        QCOMPARE(wave->text(), QString("/snd/mail.wav"));
        QVERIFY(f.w("WaveTest")->isEnabled());
        f.okChanges({"Sound2=/snd/mail.wav"});
    }

    void captionsFitAndControlsStayApart_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("setup");
        QTest::newRow("server") << 0 << "";
        QTest::newRow("server, three accounts, one added") << 0 << "three accounts, add";
        QTest::newRow("sounds") << 1 << "";
        QTest::newRow("other") << 2 << "";
    }

    void captionsFitAndControlsStayApart() {
        QFETCH(int, page);
        QFETCH(QString, setup);
        DialogFixture f(setup);
        f.open(page);
        if (setup.contains("add")) f.click("ServerAdd");
        QList<QWidget*> controls;
        for (QWidget* w : f.tabs()->currentWidget()->findChildren<QWidget*>()) {
            const QString name = w->objectName();
            if (!w->isVisible() || name.isEmpty() || name.startsWith("qt_")) continue;
            controls << w;
            // Nothing sticks out of its frame, its page or the dialog.
            QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(name));
            QVERIFY2(f.dialog->rect().contains(QRect(w->mapTo(f.dialog.get(), QPoint()), w->size())), qPrintable(name));
            // Captions and list entries are not cut.
            const auto* list = qobject_cast<QComboBox*>(w);
            if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w) ||
                (list && !list->isEditable()))
                QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(name));
        }
        // A field's text stands in its middle, clear of the frame; a label
        // beside a field stands on the line of its text (the same text inks
        // the same rows); a label above its field does not touch it.
        for (QLineEdit* field : f.tabs()->currentWidget()->findChildren<QLineEdit*>()) {
            if (!field->isVisible() || field->echoMode() != QLineEdit::Normal) continue;
            field->setText("漢あAgj");
            const auto [top, bottom] = InkRows(field);
            const int above = top - FrameOf(field), below = field->height() - FrameOf(field) - 1 - bottom;
            QVERIFY2(above >= 1 && below >= 1 && qAbs(above - below) <= 1, qPrintable(field->parentWidget()->objectName()));
        }
        for (QLabel* label : f.tabs()->currentWidget()->findChildren<QLabel*>()) {
            if (!label->isVisible()) continue;
            for (QLineEdit* field : label->parentWidget()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly)) {
                if (qAbs(field->y() - label->y()) > 5) continue;
                field->setText(label->text());
                QVERIFY2(qAbs(field->y() + InkRows(field).first - label->y() - InkRows(label).first) <= 1,
                         qPrintable(label->objectName()));
            }
            if (QWidget* buddy = label->buddy(); buddy && buddy->y() > label->y() + label->height() / 2)
                QVERIFY2(label->y() + InkRows(label).second + 1 < buddy->y(), qPrintable(label->objectName()));
        }
        // Each access key of a page reaches one control; buttons that do the
        // same read the same.
        QStringList keys;
        QSet<QString> browse;
        for (QWidget* w : controls) {
            const auto* button = qobject_cast<QAbstractButton*>(w);
            QString text = button ? button->text() : qobject_cast<QLabel*>(w) ? static_cast<QLabel*>(w)->text() : "";
            if (const auto key = QRegularExpression("\\(&(.)\\)").match(text); key.hasMatch()) keys << key.captured(1);
            if (button && text.startsWith("参照")) browse << text.remove(QRegularExpression("\\(&.\\)"));
        }
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        QVERIFY(browse.size() <= 1);
        // Controls of one container do not cover each other; a label and its
        // field one twips step apart may share a row of pixels.
        for (QWidget* a : controls)
            for (QWidget* b : controls) {
                if (a >= b || a->parentWidget() != b->parentWidget() || qobject_cast<QGroupBox*>(a) ||
                    qobject_cast<QGroupBox*>(b))
                    continue;
                const QRect common = a->geometry().intersected(b->geometry());
                QVERIFY2(common.isEmpty() || qMin(common.width(), common.height()) <= 1,
                         qPrintable(a->objectName() + " covers " + b->objectName()));
            }
    }

    void keyboardOrderStaysOnShownPage_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("forward");  // Tab from the tab row; then OK, Cancel and the tab row
        // Deleting the only account is greyed.
        QTest::newRow("server") << 0 << "" << "AccountList ServerAdd AccountName AccountEnabled ServerName MicrosoftSignIn ServerAddress Protocol LoginName LoginPass SavePass ApopCheck PopPort Security GoaAccount";
        QTest::newRow("server, IMAP") << 0 << "protocol 1" << "AccountList ServerAdd AccountName AccountEnabled ServerName MicrosoftSignIn ServerAddress Protocol LoginName LoginPass SavePass PopPort Security GoaAccount";
        QTest::newRow("server, three accounts") << 0 << "three accounts" << "AccountList ServerAdd ServerDel AccountName AccountEnabled ServerName MicrosoftSignIn ServerAddress Protocol LoginName LoginPass SavePass ApopCheck PopPort Security GoaAccount";
        QTest::newRow("sounds") << 1 << "" << "UseSound EventName EventWave Command1 WaveTest WaveBrowse";
        QTest::newRow("sounds, no device, empty slot")
            << 1 << "no device, empty slot" << "EventName EventWave Command1 WaveBrowse";
        QTest::newRow("other")
            << 2 << "" << "AutoCheck CheckMin TelhoCheck DblClick1 ExecMailer Command5 BGClearness Autostart NickName ShowSender";
        QTest::newRow("other, check on double-click, automatic off")
            << 2 << "click 2, auto off" << "AutoCheck DblClick2 Command5 BGClearness Autostart NickName ShowSender";
        QTest::newRow("other, no option chosen")
            << 2 << "click 7" << "AutoCheck CheckMin TelhoCheck DblClick0 Command5 BGClearness Autostart NickName ShowSender";
    }

    void keyboardOrderStaysOnShownPage() {
        QFETCH(int, page);
        QFETCH(QString, setup);
        QFETCH(QString, forward);
        QStringList order = forward.split(' ') << "Command6" << "Command7" << "SSTab1";
        DialogFixture f(setup);
        f.open(page);
        f.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
        f.tabs()->tabBar()->setFocus(Qt::TabFocusReason);
        QStringList seen, backward;
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << FocusName(f.dialog.get());
        }
        QCOMPARE(seen, order);
        QCOMPARE(f.tabs()->currentIndex(), page);
        // Backwards the same way round.
        for (int i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            backward.prepend(FocusName(f.dialog.get()));
        }
        order.prepend(order.takeLast());
        QCOMPARE(backward, order);
    }

    void realOpenFileDialog_data() {
        QTest::addColumn<bool>("choose");
        QTest::newRow("a file chosen") << true;
        QTest::newRow("cancelled") << false;
    }

    void realOpenFileDialog() {
        QFETCH(bool, choose);
        test::ProgramFolder folder;
        folder.write("chime.wav", "RIFF");
        QString title, directory;
        QStringList filters;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        QTimer poll;
        AnswerModal<QFileDialog>(poll, [&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            directory = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            mode = dialog->fileMode();
            if (!choose) return dialog->reject();
            // The name typed into the dialog's own field, then Open.
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (!name) {
                QTest::qFail("the file dialog has no fileNameEdit to type into", __FILE__, __LINE__);
                return dialog->reject();
            }
            name->setText(folder.file("chime.wav"));
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog keeps its own accept() protected
        });
        const QString chosen = SelectFile(nullptr, "Wave (*.wav)" + kNul + "*.wav", folder.path());
        QCOMPARE(title, QString("ファイルの選択"));
        QCOMPARE(directory, QDir(folder.path()).absolutePath());
        QCOMPARE(filters, QStringList{"Wave (*.wav)"});
        QCOMPARE(mode, QFileDialog::ExistingFile);
        QCOMPARE(chosen, choose ? folder.file("chime.wav") : QString());
    }

    void menuCommandOpensTheRealDialog() {
        // The menu command with the program's own dialogs: edit, OK, and the
        // settings file gets the dialog's batch.
        test::ProgramFolder folder;
        AppState state;
        state.paths = AppPaths::ProgramFolder(folder.path());
        folder.write("velmio.ini", "[System]\r\nServer=pop.example.org\r\nLoginName=alice\r\nPort=110\r\n"
                                   "SavePassword=1\r\nAutoCheck=0\r\nMin=5\r\n");
        test::FakeServices fakes;
        Services services = fakes.services();
        services.dialogs = nullptr;
        Form1 form1(state, services);
        QVERIFY(form1.Load());
        bool timerWhileOpen = true;
        QTimer poll;
        AnswerModal<Form3>(poll, [&](Form3* dialog) {
            timerWhileOpen = form1.TimerEnabled();
            QTest::keyClicks(dialog->findChild<QLineEdit*>("LoginPass"), "pw");
            dialog->findChild<QTabWidget*>("SSTab1")->setCurrentIndex(2);
            QTest::mouseClick(dialog->findChild<QCheckBox*>("AutoCheck"), Qt::LeftButton);
            QTest::mouseClick(dialog->findChild<QPushButton*>("Command6"), Qt::LeftButton);
        });
        form1.RunMenuCommand("mnuOption");
        QVERIFY(!poll.isActive());  // the dialog was seen
        QVERIFY(!timerWhileOpen);
        QVERIFY(state.SettingsChanged);
        QVERIFY(form1.TimerEnabled());
        QCOMPARE(ReadIniValue(state.IniPath(), "System", "LoginPass"), QString("pw"));
        QCOMPARE(ReadIniValue(state.IniPath(), "System", "AutoCheck"), QString("1"));
        QVERIFY(form1.menu()->item("mnuAutoCheck")->isChecked());  // the menu tells what the timer does
        form1.hide();
    }

    void nickNameThroughTheMenuCommand_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("nickName");  // hers afterwards, in memory and in the file
        QTest::newRow("new one, OK") << "兄さま" << true << "兄さま";
        QTest::newRow("emptied, OK: none") << "" << true << "";
        QTest::newRow("new one, Cancel") << "兄さま" << false << "お兄ちゃん";
        QTest::newRow("the same, OK: nothing written") << "お兄ちゃん" << true << "お兄ちゃん";
    }

    void nickNameThroughTheMenuCommand() {
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(QString, nickName);
        test::ProgramFolder folder;
        AppState state;
        state.paths = AppPaths::ProgramFolder(folder.path());
        folder.write("velmio.ini", test::Cp932("[System]\r\nServer=pop.example.org\r\n[Message]\r\nNickName=お兄ちゃん\r\n"));
        const QByteArray before = folder.read("velmio.ini");
        test::FakeServices fakes;
        Services services = fakes.services();
        services.dialogs = nullptr;
        Form1 form1(state, services);
        QVERIFY(form1.Load());
        QString shown;
        QTimer poll;
        AnswerModal<Form3>(poll, [&](Form3* dialog) {
            auto* field = dialog->findChild<QLineEdit*>("NickName");
            shown = field->text();
            field->setText(typed);
            QTest::mouseClick(dialog->findChild<QPushButton*>(ok ? "Command6" : "Command7"), Qt::LeftButton);
        });
        form1.RunMenuCommand("mnuOption");
        QCOMPARE(shown, QString("お兄ちゃん"));
        // Written at once when it changed; the file untouched otherwise.
        QCOMPARE(folder.read("velmio.ini") == before, nickName == "お兄ちゃん");
        QCOMPARE(ReadIniValue(state.IniPath(), "Message", "NickName"), nickName);
        form1.RunMenuCommand("mnuReturnTary");  // her next line
        QCOMPARE(form1.LastSaidText(), "なぁに？" + nickName);
        // A restart shows it in the field again.
        AppState back;
        back.paths = state.paths;
        LoadSettings(back);
        test::RecordingSound sound;
        EventSounds sounds(back, sound);
        Form3Services again;
        again.sounds = &sounds;
        QCOMPARE(Form3(back, again).findChild<QLineEdit*>("NickName")->text(), nickName);
        form1.hide();
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "tst_settings_dialog.moc"
