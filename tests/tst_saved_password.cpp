#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

#include "app/settings_file.h"
#include "platform/password_keyring.h"
#include "platform/profile_file.h"
#include "support/dovecot.h"
#include "support/fakes.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"
#include "support/shell_fixture.h"

using namespace velmio;
using namespace velmio::test;

Q_DECLARE_METATYPE(KeyringAnswer)

namespace {

const QString kKeyringLine = QStringLiteral("キーリングからパスワードを出せなかったよ…");
const QString kNoPasswordBox = QStringLiteral("msg 16 Passwordが設定されていません");

// A settings file for Dovecot's alice with her password saved elsewhere.
QByteArray AliceIni(quint16 port) {
    return "[System]\r\nServer=127.0.0.1\r\nLoginName=alice\r\nSavePassword=1\r\nAutoCheck=1\r\nLogMode=1\r\nPort=" +
           QByteArray::number(port) + "\r\n[Sound]\r\nPlayWave=1\r\n";
}

// Makes a folder that not even root can add a file to; false when it could not.
bool MakeReadOnly(const QString& folder, bool readOnly) {
    if (geteuid() == 0) QProcess::execute("chattr", {readOnly ? "+i" : "-i", folder});
    ::chmod(QFile::encodeName(folder).constData(), readOnly ? 0555 : 0755);
    QFile probe(folder + "/probe");
    const bool writable = probe.open(QIODevice::WriteOnly);
    probe.remove();
    return writable != readOnly;
}

// Locks the login collection of the tests' GNOME Keyring; its password is "test".
bool LockLoginKeyring() {
    QDBusMessage lock = QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                                       "org.freedesktop.Secret.Service", "Lock");
    lock << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath("/org/freedesktop/secrets/collection/login")});
    return QDBusConnection::sessionBus().call(lock).type() == QDBusMessage::ReplyMessage;
}

}  // namespace

class SavedPasswordTest : public QObject {
    Q_OBJECT
private slots:
    // What the keyring says at start and at the check, and how she takes it.
    void keyringAnswers_data() {
        QTest::addColumn<KeyringAnswer>("atStart");
        QTest::addColumn<KeyringAnswer>("atCheck");
        QTest::addColumn<QString>("outcome");  // "counted", "no password" or "keyring"
        using A = KeyringAnswer;
        QTest::newRow("found") << A::Found << A::Found << "counted";
        QTest::newRow("not there") << A::Missing << A::Missing << "no password";
        QTest::newRow("locked, then unlocked") << A::Locked << A::Found << "counted";
        QTest::newRow("locked, entry gone meanwhile") << A::Locked << A::Missing << "no password";
        QTest::newRow("refused") << A::Refused << A::Refused << "keyring";
        QTest::newRow("no answer in time") << A::NoAnswer << A::NoAnswer << "keyring";
    }
    void keyringAnswers() {
        QFETCH(KeyringAnswer, atStart);
        QFETCH(KeyringAnswer, atCheck);
        QFETCH(QString, outcome);
        REQUIRE_REAL_PART(Dovecot::Port(), "Dovecot");
        MailFixture f(*Dovecot::Port());
        QFile ini(f.state.IniPath());
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write(AliceIni(*Dovecot::Port())) > 0);
        ini.close();
        FakeKeyring keyring;
        keyring.stored.insert("alice@127.0.0.1", "secret");
        keyring.answers = {atStart, atCheck};
        LoadSettings(f.state, &keyring);
        f.check.SetKeyring(&keyring);
        f.shell.timerEnabled = true;
        QCOMPARE(f.state.settings.PasswordUnread, atStart != KeyringAnswer::Found && atStart != KeyringAnswer::Missing);
        if (outcome == "no password") {
            f.check.ExecuteMailCheck();
            QVERIFY(f.shell.calls.contains(kNoPasswordBox));
        } else {
            QVERIFY(f.run());
            QVERIFY(!f.shell.calls.contains(kNoPasswordBox));
        }
        // She waits while the keyring is asked, also when it then says no.
        QCOMPARE(f.shell.calls.contains("say " + kWaitLine), outcome != "no password" || atStart == KeyringAnswer::Locked);
        if (outcome == "counted") QCOMPARE(f.state.MailTotal, qint16(3));
        if (outcome == "keyring") {
            QCOMPARE(f.shell.said, kKeyringLine);
            QCOMPARE(f.shell.picture, 4);
            QVERIFY(f.shell.calls.contains("sound 5"));
            QCOMPARE(f.log().count("Keyring Error: fake says no"), 1);
        }
        QVERIFY(!f.log().contains("secret"));
        QVERIFY(f.readyAgain());
    }

    // A keyring that will not store: the user decides whether the file
    // keeps the password; it never lands there unasked.
    void keyringThatCannotStore_data() {
        QTest::addColumn<bool>("keep");
        QTest::newRow("kept in the file") << true;
        QTest::newRow("not kept") << false;
    }
    void keyringThatCannotStore() {
        QFETCH(bool, keep);
        ShellFixture f;
        FakeKeyring keyring;
        keyring.writes = false;
        f.fakes.keyring = &keyring;
        QVERIFY(f.start("[System]\nServer=127.0.0.1\nLoginName=bob\n"));
        int asked = 0;
        f.fakes.messages.onShow = [&] { ++asked; };
        f.fakes.messages.answer = keep ? MessageBoxes::kYes : MessageBoxes::kNo;
        f.fakes.dialogs.whileOpen = [&](QDialog& d) {
            f.state.settings.LoginPass = "pw";
            f.state.settings.SavePassword = true;
            f.state.SettingsChanged = true;
            d.accept();
        };
        f.form1->RunMenuCommand("mnuOption");
        QCOMPARE(asked, 1);
        QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "LoginPass"), keep ? QString("pw") : QString());
        QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "SavePassword"), QString("1"));
    }

    // A folder that cannot be written: one box, the old file whole, and the
    // changes kept for the exit's write.
    void settingsWriteThatFails() {
        ShellFixture f;
        QVERIFY(f.start("[System]\nServer=127.0.0.1\nLoginName=bob\nMin=5\n"));
        const QByteArray before = f.folder.read("velmio.ini");
        QVERIFY2(MakeReadOnly(f.folder.path(), true), "the folder stays writable");
        f.fakes.dialogs.whileOpen = [&](QDialog& d) {
            f.state.settings.Min = 9;
            f.state.SettingsChanged = true;
            d.accept();
        };
        f.form1->RunMenuCommand("mnuOption");
        const bool stillReadOnly = MakeReadOnly(f.folder.path(), false);
        QCOMPARE(f.fakes.messages.texts,
                 QStringList{"設定を保存できませんでした\n" + QDir::toNativeSeparators(f.folder.path())});
        QCOMPARE(f.fakes.messages.styles, QList<int>{16});
        QVERIFY(stillReadOnly);
        QCOMPARE(f.folder.read("velmio.ini"), before);
        f.form1->Unload();
        QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "Min"), QString("9"));
        QCOMPARE(f.fakes.messages.texts.size(), 1);
    }

    // GNOME Keyring locked after the start: the check waits for the unlock
    // prompt, which the test answers, and then checks.
    void lockedGnomeKeyringUnlockedByTheUser() {
        SecretServiceKeyring keyring;
        REQUIRE_REAL_PART(keyring.Available(), "GNOME Keyring");
        REQUIRE_REAL_PART(Dovecot::Port(), "Dovecot");
        QVERIFY(keyring.Write("alice@127.0.0.1", "secret"));
        MailFixture f(*Dovecot::Port());
        QFile ini(f.state.IniPath());
        QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write(AliceIni(*Dovecot::Port())) > 0);
        ini.close();
        QVERIFY(LockLoginKeyring());
        LoadSettings(f.state, &keyring);
        QVERIFY(f.state.settings.PasswordUnread);
        f.check.SetKeyring(&keyring);
        // The prompt appears on the test display; type the password into it.
        QProcess answer;
        answer.start("sh", {"-c", "for i in $(seq 100); do w=$(xdotool search --onlyvisible --class gcr-prompter | tail -n1);"
                                  " [ -n \"$w\" ] && sleep 0.5 && xdotool windowfocus --sync $w type --delay 20 test"
                                  " && xdotool key --window $w Return && exit 0; sleep 0.1; done; exit 1"});
        QVERIFY(f.run());
        answer.waitForFinished(5000);
        QCOMPARE(answer.exitCode(), 0);
        QCOMPARE(f.state.MailTotal, qint16(3));
        QVERIFY(!f.state.settings.PasswordUnread);
    }
};

QTEST_MAIN(SavedPasswordTest)
#include "tst_saved_password.moc"
