#include <QProcess>
#include <QtTest>

#include "app/settings_file.h"
#include "platform/password_keyring.h"
#include "platform/profile_file.h"
#include "support/shell_fixture.h"

using namespace velmio;

namespace {

// A keyring that is there but says no to everything.
class RefusingKeyring : public PasswordKeyring {
public:
    bool Available() const override { return true; }
    std::optional<QString> Read(const QString&) override { return std::nullopt; }
    bool Write(const QString&, const QString&) override { return false; }
    bool Remove(const QString&) override { return false; }
};

// What the Secret Service holds for an account, read by another program.
QString Lookup(const QString& account) {
    QProcess tool;
    tool.start("secret-tool", {"lookup", "server", "velmio-check", "user", account});
    tool.waitForFinished(5000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QString UniqueUser() { return QStringLiteral("user%1").arg(QRandomGenerator::global()->generate()); }

}  // namespace

// The saved password in the desktop's keyring, and in the file without one.
class KeyringTest : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void storedLoginPassMovesAtTheNextOk();
};

void KeyringTest::roundTrip_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("Secret Service") << "service";
    QTest::newRow("refusing keyring") << "refusing";
    QTest::newRow("no Secret Service") << "none";
}

void KeyringTest::roundTrip() {
    QFETCH(QString, kind);
    if (kind == "none" && qEnvironmentVariableIsEmpty("VELMIO_NO_BUS")) {
        // The session bus is fixed for a process: run this row again in one
        // whose bus is not there.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        env.insert("VELMIO_NO_BUS", "1");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"roundTrip:no Secret Service"});
        QVERIFY(child.waitForFinished(20000));
        QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());
        return;
    }
    SecretServiceKeyring service;
    RefusingKeyring refusing;
    PasswordKeyring* keyring = kind == "refusing" ? static_cast<PasswordKeyring*>(&refusing) : &service;
    if (kind == "service" && !service.Available()) QSKIP("no Secret Service on the session bus");
    QCOMPARE(service.Available(), kind != "none");

    test::ProgramFolder folder(false);
    AppState state;
    state.paths = AppPaths::ProgramFolder(folder.path());
    AppSettings& s = state.settings;
    s.Server = QStringLiteral("127.0.0.1");
    s.LoginName = UniqueUser();
    s.LoginPass = QStringLiteral("パス ワード%1");
    s.SavePassword = true;
    WriteDialogBatch(state, keyring);
    const bool inKeyring = kind == "service";
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "LoginPass"), inKeyring ? QString() : s.LoginPass);
    QCOMPARE(QFile::permissions(state.IniPath()) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    if (inKeyring) QCOMPARE(Lookup(KeyringAccount(state)), s.LoginPass);
    AppState back;
    back.paths = state.paths;
    LoadSettings(back, keyring);
    QCOMPARE(back.settings.LoginPass, s.LoginPass);

    // Not saving any more takes it out of both places.
    s.SavePassword = false;
    WriteDialogBatch(state, keyring);
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "LoginPass"), QString());
    if (inKeyring) QCOMPARE(Lookup(KeyringAccount(state)), QString());
    AppState again;
    again.paths = state.paths;
    LoadSettings(again, keyring);
    QCOMPARE(again.settings.LoginPass, QString());
}

void KeyringTest::storedLoginPassMovesAtTheNextOk() {
    SecretServiceKeyring keyring;
    if (!keyring.Available()) QSKIP("no Secret Service on the session bus");
    test::ShellFixture f;
    f.fakes.keyring = &keyring;
    const QString user = UniqueUser();
    QVERIFY(f.start("[System]\nServer=127.0.0.1\nLoginName=" + user + "\nLoginPass=old\nSavePassword=1\n"));
    QCOMPARE(f.state.settings.LoginPass, QStringLiteral("old"));  // the file keeps working
    f.fakes.dialogs.whileOpen = [](QDialog& d) { d.accept(); };  // OK without a change
    f.form1->RunMenuCommand("mnuOption");
    QCOMPARE(ReadIniValue(f.state.IniPath(), "System", "LoginPass"), QString());
    QCOMPARE(Lookup(user + "@127.0.0.1"), QStringLiteral("old"));
}

QTEST_MAIN(KeyringTest)
#include "tst_keyring.moc"
