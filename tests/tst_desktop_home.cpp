#include <QCheckBox>
#include <QProcess>
#include <QPushButton>
#include <QtTest>
#include <csignal>

#include "app/settings_file.h"
#include "platform/autostart.h"
#include "platform/password_keyring.h"
#include "platform/profile_file.h"
#include "platform/runtime_dir.h"
#include "platform/sound_on_demand.h"
#include "settings_dialog/form3.h"
#include "support/child_run.h"
#include "support/fd_capture.h"
#include "support/shell_fixture.h"
#include "support/real_part.h"

using namespace velmio;

namespace {

constexpr QFile::Permissions kPrivateDir = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// What the Secret Service holds for an account, read by another program.
QString Lookup(const QString& account) {
    QProcess tool;
    tool.start("secret-tool", {"lookup", "server", "velmio-check", "user", account});
    tool.waitForFinished(5000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// Runs a tool quietly; its exit status, or -1 when it did not end normally.
int Run(const QString& program, const QStringList& args, QString* out = nullptr, int waitMs = 60000) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(waitMs);
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The value of a key of a desktop entry file, or of a Debian package's control field.
QString Field(const QString& text, const QString& key) {
    const QRegularExpression line("^" + QRegularExpression::escape(key) + " ?[=:] ?(.*)$", QRegularExpression::MultilineOption);
    return line.match(text).captured(1);
}

// The text of the first element of that name in an XML file.
QString Element(const QString& xml, const QString& name) {
    return QRegularExpression("<" + name + "[^>]*>([^<]*)</" + name + ">").match(xml).captured(1);
}

QString UniqueUser() { return QStringLiteral("user%1").arg(QRandomGenerator::global()->generate()); }

}  // namespace

// At home on a Linux desktop: the installed layout, the command line, start
// at login and the password in the keyring.
class DesktopHomeTest : public QObject {
    Q_OBJECT
private slots:
    void layoutFromTheExecutablesPlace_data();
    void layoutFromTheExecutablesPlace();
    void usersOwnDataWins();
    void endsEarlyWithoutDisplay_data();
    void endsEarlyWithoutDisplay();
    void runsInstalled_data();
    void runsInstalled();
    void runtimeFolderForQt_data();
    void runtimeFolderForQt();
    void autostartEntry_data();
    void autostartEntry();
    void autostartBoxFollowsTheEntry();
    void keyringRoundTrip_data();
    void keyringRoundTrip();
    void storedLoginPassMovesAtTheNextOk();
};

void DesktopHomeTest::layoutFromTheExecutablesPlace_data() {
    QTest::addColumn<QString>("beside");  // a data file beside the executable
    QTest::addColumn<QString>("xdg");     // XDG_CONFIG_HOME and XDG_STATE_HOME below this
    QTest::addColumn<QString>("config");  // relative to the root; "bin": the program folder
    QTest::addColumn<QString>("logs");
    QTest::newRow("velmio.dat beside") << "velmio.dat" << "" << "usr/bin" << "usr/bin";
    QTest::newRow("velmio.tbl beside") << "velmio.tbl" << "/x" << "usr/bin" << "usr/bin";
    QTest::newRow("installed") << "" << "" << "home/.config/velmio-check"
                               << "home/.local/state/velmio-check";
    QTest::newRow("installed, XDG set") << "" << "/x" << "/x/c/velmio-check" << "/x/s/velmio-check";
    QTest::newRow("installed, relative XDG") << "" << "x" << "home/.config/velmio-check"
                                             << "home/.local/state/velmio-check";
}

void DesktopHomeTest::layoutFromTheExecutablesPlace() {
    QFETCH(QString, beside);
    QFETCH(QString, xdg);
    QFETCH(QString, config);
    QFETCH(QString, logs);
    QTemporaryDir root;
    const QString bin = root.filePath("usr/bin");
    QDir().mkpath(bin);
    if (!beside.isEmpty()) QFile(bin + '/' + beside).open(QIODevice::WriteOnly);
    QProcessEnvironment env;
    env.insert("HOME", root.filePath("home"));
    env.insert("XDG_CONFIG_HOME", xdg.isEmpty() ? xdg : xdg + "/c");
    env.insert("XDG_STATE_HOME", xdg.isEmpty() ? xdg : xdg + "/s");
    const AppPaths p = AppPaths::Locate(bin + "/", env);
    auto place = [&](const QString& rel) { return rel.startsWith('/') ? rel : root.filePath(rel); };
    QCOMPARE(p.Installed(), beside.isEmpty());
    QCOMPARE(p.DataDir(), beside.isEmpty() ? root.filePath("usr/share/velmio-check") : bin);
    QCOMPARE(p.ConfigDir(), place(config));
    QCOMPARE(p.LogDir(), place(logs));
    QCOMPARE(p.SoundDir(), beside.isEmpty() ? p.DataDir() + "/sounds" : bin);
    if (!p.Installed() || xdg.startsWith('/')) return;
    p.MakeUserDirs();
    QCOMPARE(QFile::permissions(p.ConfigDir()) & 0x7077, kPrivateDir);
}

void DesktopHomeTest::usersOwnDataWins() {
    QTemporaryDir root;
    QProcessEnvironment env;
    env.insert("HOME", root.path());
    const AppPaths p = AppPaths::Locate(root.filePath("bin"), env);
    p.MakeUserDirs();
    for (const char* name : {"velmio.tbl", "velmio.dat", "velmio_s.dat", "about.png"}) {
        QCOMPARE(p.DataFile(name), p.DataDir() + '/' + name);  // before the user's copy
        QFile(p.ConfigFile(name)).open(QIODevice::WriteOnly);
        QCOMPARE(p.DataFile(name), QByteArray(name) == "about.png" ? p.DataDir() + '/' + name
                                                                    : p.ConfigFile(name));
    }
}

void DesktopHomeTest::endsEarlyWithoutDisplay_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "Velmio Check 1.0.0\n" << "";
    QTest::newRow("--help") << QStringList{"--help"} << 0
                            << "Usage: velmio [--help] [--version]\nVelmio Check: a desktop mascot who checks POP3 and IMAP mailboxes.\n"
                            << "";
    QTest::newRow("no display") << QStringList{} << 1 << ""
                                << "velmio: Velmio Check needs a graphical desktop";
    // Qt itself would abort with status 134.
    QTest::newRow("unreachable display") << QStringList{"DISPLAY=:4711"} << 1 << ""
                                         << "velmio: Velmio Check needs a graphical desktop";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "" << "velmio: unknown option '--bogus'";
    QTest::newRow("Qt's own option") << QStringList{"-style", "fusion", "--version"} << 0 << "Velmio Check" << "";
}

void DesktopHomeTest::endsEarlyWithoutDisplay() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    for (const QString& a : QStringList(args))
        if (a.contains('=')) {
            env.insert(a.section('=', 0, 0), a.section('=', 1));
            args.removeOne(a);
        }
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(VELMIO_DIST_DIR "/velmio", args);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), status);
    const QString stdOut = p.readAllStandardOutput(), stdErr = p.readAllStandardError();
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err) && stdErr.count('\n') == 1,
             qPrintable(stdErr));
    QVERIFY(QDir(runtime.path()).isEmpty());  // no lock taken
}

void DesktopHomeTest::runsInstalled_data() {
    QTest::addColumn<QString>("deb");  // empty: `cmake --install` into the root
    QTest::newRow("cmake --install") << "";
    QDir build(VELMIO_DIST_DIR "/..");
    const QStringList debs = build.entryList({"velmio-check_*.deb"}, QDir::Files, QDir::Time);
    QTest::newRow("Debian package") << (debs.isEmpty() ? "none" : build.filePath(debs.first()));
}

void DesktopHomeTest::runsInstalled() {
    QFETCH(QString, deb);
    REQUIRE_REAL_PART(deb != "none", "package (scripts/package)");
    QTemporaryDir root, runtime;
    const QString usr = root.filePath("usr"), home = root.filePath("home");
    if (deb.isEmpty())
        QCOMPARE(Run("cmake", {"--install", VELMIO_DIST_DIR "/..", "--prefix", usr}), 0);
    else
        QCOMPARE(Run("dpkg-deb", {"-x", deb, root.path()}), 0);
    const QString entry = usr + "/share/applications/velmio-check.desktop";
    QCOMPARE(Run("desktop-file-validate", {entry}), 0);
    QVERIFY(QFile::exists(usr + "/share/icons/hicolor/scalable/apps/velmio-check.svg"));
    // Software centres list her by what the metainfo names: the menu entry, the program.
    const QString metainfo = usr + "/share/metainfo/org.example.velmio_check.metainfo.xml";
    QCOMPARE(Run("appstreamcli", {"validate", "--no-net", metainfo}), 0);
    QFile component(metainfo);
    QVERIFY(component.open(QIODevice::ReadOnly));
    const QString about = QString::fromUtf8(component.readAll());
    QCOMPARE(Element(about, "launchable"), QFileInfo(entry).fileName());
    QVERIFY(QFileInfo(usr + "/bin/" + Element(about, "binary")).isExecutable());
    // Her sound player is found where the installation put it: no word of its absence.
    SoundOnDemand sound(SoundOnDemand::ProgramFolders(usr + "/bin"));
    QCOMPARE(test::Captured(2, [&] { sound.hasDevice(); }), QByteArray());
    QVERIFY(QFile::exists(usr + "/share/velmio-check/velmio_s@2x.dat"));  // for scaled screens
    QString control;
    if (!deb.isEmpty()) {
        QCOMPARE(Run("dpkg-deb", {"-f", deb}, &control), 0);
        QCOMPARE(Field(control, "Homepage"), QString());  // none until the project has one
        QVERIFY2(Field(control, "Description").contains("POP3 and IMAP"), qPrintable(control));
        const QRegularExpression release("<release version=\"([^\"]+)\"");
        QCOMPARE(release.match(about).captured(1), Field(control, "Version"));  // her newest release is this one
        QCOMPARE(Run("lintian", {"--fail-on", "error,warning", deb}, nullptr, 300000), 0);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The about box's links lead into the README installed with her.
    QVERIFY(QFile::exists(AppPaths::Locate(usr + "/bin", env).DocDir() + "/README.md"));
    env.insert("HOME", home);
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) env.remove(v);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(usr + "/bin/velmio", {});
    QVERIFY(p.waitForStarted(5000));
    QProcess search;  // she greets: her windows are up
    QString windows;
    QTRY_VERIFY_WITH_TIMEOUT((search.start("xdotool", {"search", "--onlyvisible", "--pid",
                                                       QString::number(p.processId())}),
                              search.waitForFinished(3000), !(windows = search.readAllStandardOutput()).isEmpty()),
                             8000);
    // The desktop ties her windows to the menu entry by their class.
    QString wmClass;
    QCOMPARE(Run("xprop", {"-id", windows.section('\n', 0, 0), "WM_CLASS"}, &wmClass), 0);
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(wmClass.section('"', 3, 3), Field(QString::fromUtf8(file.readAll()), "StartupWMClass"));
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    const QString config = home + "/.config/velmio-check";
    QCOMPARE(ReadIniValue(config + "/velmio.ini", "Message", "NickName"), QStringLiteral("お兄ちゃん"));
    QCOMPARE(QFile::permissions(config) & 0x7077, kPrivateDir);
}

void DesktopHomeTest::runtimeFolderForQt_data() {
    QTest::addColumn<QString>("session");  // XDG_RUNTIME_DIR
    QTest::addColumn<QString>("there");    // what already lies where the folder goes
    QTest::addColumn<bool>("used");
    QTest::newRow("the session's own") << "/run/user/4711" << "" << true;
    QTest::newRow("none: made") << "" << "" << true;
    QTest::newRow("none: ours, too open") << "" << "folder" << true;
    QTest::newRow("none: a link in its place") << "" << "link" << false;
    QTest::newRow("none: a file in its place") << "" << "file" << false;
}

void DesktopHomeTest::runtimeFolderForQt() {
    QFETCH(QString, session);
    QFETCH(QString, there);
    QFETCH(bool, used);
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR"), oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", tmp.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", session.toUtf8());
    const QString place = tmp.filePath("runtime-" + QFileInfo(tmp.path()).owner());
    if (there == "folder") QVERIFY(QDir().mkdir(place) && QFile::setPermissions(place, kPrivateDir | QFile::ExeOther));
    if (there == "link") QVERIFY(QDir().mkdir(tmp.filePath("elsewhere")) && QFile::link(tmp.filePath("elsewhere"), place));
    if (there == "file") QVERIFY(QFile(place).open(QIODevice::WriteOnly));
    const QString dir = ProvideRuntimeDir();
    const QString now = qEnvironmentVariable("XDG_RUNTIME_DIR");
    for (auto [name, old] : {std::pair{"TMPDIR", oldTmp}, std::pair{"XDG_RUNTIME_DIR", oldRuntime}})
        old.isNull() ? qunsetenv(name) : qputenv(name, old);
    QCOMPARE(dir, used ? (session.isEmpty() ? place : session) : QString());
    QCOMPARE(now, dir);
    if (used && session.isEmpty()) QCOMPARE(QFile::permissions(place) & 0x7077, kPrivateDir);
}

void DesktopHomeTest::autostartEntry_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("tryExec");  // the program as it is, but for backslashes
    QTest::newRow("plain") << "/usr/bin/velmio" << "/usr/bin/velmio" << "/usr/bin/velmio";
    QTest::newRow("blank") << "/home/me/Velmio Check/velmio" << "\"/home/me/Velmio Check/velmio\""
                           << "/home/me/Velmio Check/velmio";
    QTest::newRow("quote, dollar, percent") << "/opt/a\"b$c%d/velmio"
                                            << "\"/opt/a\\\\\"b\\\\$c%%d/velmio\"" << "/opt/a\"b$c%d/velmio";
    QTest::newRow("backslash") << "/opt/a\\b/velmio" << "\"/opt/a\\\\\\\\b/velmio\"" << "/opt/a\\\\b/velmio";
}

void DesktopHomeTest::autostartEntry() {
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QFETCH(QString, tryExec);
    QTemporaryDir home;
    QProcessEnvironment env;
    env.insert("HOME", home.path());
    const Autostart autostart(env);
    QCOMPARE(autostart.EntryPath(), home.filePath(".config/autostart/velmio-check.desktop"));
    QVERIFY(!autostart.IsEnabled());
    QVERIFY(autostart.SetEnabled(true, program) && autostart.IsEnabled());
    QFile entry(autostart.EntryPath());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    QCOMPARE(Field(text, "Exec"), exec);
    QCOMPARE(Field(text, "TryExec"), tryExec);
    QCOMPARE(Run("desktop-file-validate", {autostart.EntryPath()}), 0);
    QVERIFY(autostart.SetEnabled(false, program) && !autostart.IsEnabled());
    QVERIFY(autostart.SetEnabled(false, program));  // nothing to remove is no failure
}

void DesktopHomeTest::autostartBoxFollowsTheEntry() {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString entry = config.filePath("autostart/velmio-check.desktop");
    AppState state;
    state.settings.Port = 110;
    test::RecordingSound sound;
    EventSounds sounds(state, sound);
    // Each round opens the dialog, sets the box and presses OK.
    const struct {
        bool ticked, tick, exists;
    } rounds[] = {{false, false, false}, {false, true, true}, {true, true, true}, {true, false, false}};
    for (const auto& r : rounds) {
        Form3Services services;
        services.sounds = &sounds;
        services.program = QStringLiteral("/opt/Velmio Check/velmio");
        Form3 dialog(state, services);
        auto* box = dialog.findChild<QCheckBox*>("Autostart");
        QCOMPARE(box->isChecked(), r.ticked);
        const QDateTime before = QFileInfo(entry).lastModified();
        box->setChecked(r.tick);
        dialog.findChild<QPushButton*>("Command6")->click();
        QCOMPARE(QFile::exists(entry), r.exists);
        if (r.tick == r.ticked) QCOMPARE(QFileInfo(entry).lastModified(), before);  // nothing written
        QVERIFY(!state.SettingsChanged);
    }
}

void DesktopHomeTest::keyringRoundTrip_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("Secret Service") << "service";
    QTest::newRow("refusing keyring") << "refusing";
    QTest::newRow("no Secret Service") << "none";
}

void DesktopHomeTest::keyringRoundTrip() {
    QFETCH(QString, kind);
    if (kind == "none" && qEnvironmentVariableIsEmpty("VELMIO_NO_BUS")) {
        // A process keeps the session bus it found: run this row in one without.
        const auto child = test::RunInChild("keyringRoundTrip:no Secret Service", "DBUS_SESSION_BUS_ADDRESS",
                                            "unix:path=/nonexistent/bus", "VELMIO_NO_BUS");
        QVERIFY2(child->exitStatus() == QProcess::NormalExit && child->exitCode() == 0,
                 child->readAllStandardOutput().constData());
        return;
    }
    SecretServiceKeyring service;
    test::FakeKeyring refusing;  // there, but says no to everything
    refusing.answers = {KeyringAnswer::Refused};
    refusing.writes = false;
    PasswordKeyring* keyring = kind == "refusing" ? static_cast<PasswordKeyring*>(&refusing) : &service;
    if (kind == "service") REQUIRE_REAL_PART(service.Available(), "Secret Service on the session bus");
    if (kind == "none") QVERIFY(!service.Available());

    test::ProgramFolder folder(false);
    AppState state, back, again;
    state.paths = back.paths = again.paths = AppPaths::ProgramFolder(folder.path());
    AppSettings& s = state.settings;
    s.Server = QStringLiteral("127.0.0.1");
    s.LoginName = UniqueUser();
    s.LoginPass = QStringLiteral("パス ワード%1");
    s.SavePassword = true;
    WriteDialogBatch(state, keyring, [] { return true; });  // the user keeps it in the file
    const bool inKeyring = kind == "service";
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "LoginPass"), inKeyring ? QString() : s.LoginPass);
    QCOMPARE(QFile::permissions(state.IniPath()) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(Lookup(KeyringAccount(state)), inKeyring ? s.LoginPass : QString());
    LoadSettings(back, keyring);
    QCOMPARE(back.settings.LoginPass, s.LoginPass);

    // Not saving any more takes it out of both places.
    s.SavePassword = false;
    WriteDialogBatch(state, keyring);
    QCOMPARE(ReadIniValue(state.IniPath(), "System", "LoginPass"), QString());
    QCOMPARE(Lookup(KeyringAccount(state)), QString());
    LoadSettings(again, keyring);
    QCOMPARE(again.settings.LoginPass, QString());
}

void DesktopHomeTest::storedLoginPassMovesAtTheNextOk() {
    SecretServiceKeyring keyring;
    REQUIRE_REAL_PART(keyring.Available(), "Secret Service on the session bus");
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

QTEST_MAIN(DesktopHomeTest)
#include "tst_desktop_home.moc"
