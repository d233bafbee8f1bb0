#include <QProcess>
#include <QtTest>
#include <csignal>

#include "core/app_state.h"
#include "platform/app_paths.h"
#include "platform/profile_file.h"

using namespace velmio;

// Where her files live, and the program started from an installed layout.
class InstalledLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void layoutFromTheExecutablesPlace_data();
    void layoutFromTheExecutablesPlace();
    void usersOwnDataWins_data();
    void usersOwnDataWins();
    void endsEarlyWithoutDisplay_data();
    void endsEarlyWithoutDisplay();
    void runsInstalled_data();
    void runsInstalled();
};

void InstalledLayoutTest::layoutFromTheExecutablesPlace_data() {
    QTest::addColumn<QString>("beside");  // a data file beside the executable
    QTest::addColumn<QString>("xdgConfig");
    QTest::addColumn<QString>("xdgState");
    QTest::addColumn<QString>("config");  // relative to the root; "bin": the program folder
    QTest::addColumn<QString>("logs");
    QTest::newRow("velmio.dat beside") << "velmio.dat" << "" << "" << "bin" << "bin";
    QTest::newRow("velmio.tbl beside") << "velmio.tbl" << "/x/c" << "/x/s" << "bin" << "bin";
    QTest::newRow("installed, defaults") << "" << "" << "" << "home/.config/velmio-check"
                                         << "home/.local/state/velmio-check";
    QTest::newRow("installed, XDG set") << "" << "/x/c" << "/x/s" << "/x/c/velmio-check"
                                        << "/x/s/velmio-check";
    QTest::newRow("installed, relative XDG ignored") << "" << "c" << "s" << "home/.config/velmio-check"
                                                     << "home/.local/state/velmio-check";
}

void InstalledLayoutTest::layoutFromTheExecutablesPlace() {
    QFETCH(QString, beside);
    QFETCH(QString, xdgConfig);
    QFETCH(QString, xdgState);
    QFETCH(QString, config);
    QFETCH(QString, logs);
    QTemporaryDir root;
    const QString bin = root.filePath("usr/bin");
    QDir().mkpath(bin);
    if (!beside.isEmpty()) QFile(bin + '/' + beside).open(QIODevice::WriteOnly);
    QProcessEnvironment env;
    env.insert("HOME", root.filePath("home"));
    env.insert("XDG_CONFIG_HOME", xdgConfig);
    env.insert("XDG_STATE_HOME", xdgState);
    const AppPaths p = AppPaths::Locate(bin + "/", env);
    auto place = [&](const QString& rel) {
        return rel == "bin" ? bin : rel.startsWith('/') ? rel : root.filePath(rel);
    };
    QCOMPARE(p.Installed(), beside.isEmpty());
    QCOMPARE(p.DataDir(), beside.isEmpty() ? root.filePath("usr/share/velmio-check") : bin);
    QCOMPARE(p.ConfigDir(), place(config));
    QCOMPARE(p.LogDir(), place(logs));
    QCOMPARE(p.SoundDir(), beside.isEmpty() ? p.DataDir() + "/sounds" : bin);
    p.MakeUserDirs();
    if (p.Installed() && !xdgConfig.startsWith('/'))
        QCOMPARE(QFile::permissions(p.ConfigDir()) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void InstalledLayoutTest::usersOwnDataWins_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("usersWins");
    QTest::newRow("velmio.tbl") << "velmio.tbl" << true;
    QTest::newRow("velmio.dat") << "velmio.dat" << true;
    QTest::newRow("velmio_s.dat") << "velmio_s.dat" << true;
    QTest::newRow("about.png stays installed") << "about.png" << false;
}

void InstalledLayoutTest::usersOwnDataWins() {
    QFETCH(QString, name);
    QFETCH(bool, usersWins);
    QTemporaryDir root;
    QDir().mkpath(root.filePath("bin"));
    QProcessEnvironment env;
    env.insert("HOME", root.path());
    const AppPaths p = AppPaths::Locate(root.filePath("bin"), env);
    QCOMPARE(p.DataFile(name), p.DataDir() + '/' + name);  // before the user's copy exists
    p.MakeUserDirs();
    QFile(p.ConfigFile(name)).open(QIODevice::WriteOnly);
    QCOMPARE(p.DataFile(name), usersWins ? p.ConfigFile(name) : p.DataDir() + '/' + name);
}

void InstalledLayoutTest::endsEarlyWithoutDisplay_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "Velmio Check 1.0.0\n" << "";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: velmio" << "";
    QTest::newRow("no display") << QStringList{} << 1 << ""
                                << "velmio: Velmio Check needs a graphical desktop";
}

void InstalledLayoutTest::endsEarlyWithoutDisplay() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(VELMIO_DIST_DIR "/velmio", args);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), status);
    const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err) && stdErr.count('\n') == 1,
             qPrintable(stdErr));
    QVERIFY(QDir(runtime.path()).isEmpty());  // no lock taken
}

void InstalledLayoutTest::runsInstalled_data() {
    QTest::addColumn<QString>("source");
    // A layout as `cmake --install` makes it, from the program folder.
    QTest::newRow("copied layout") << "";
    // The Debian package, when scripts/package has built one.
    QDir build(VELMIO_DIST_DIR "/..");
    const QStringList debs = build.entryList({"velmio-check_*.deb"}, QDir::Files, QDir::Time);
    QTest::newRow("Debian package") << (debs.isEmpty() ? QString() : build.filePath(debs.first()));
}

void InstalledLayoutTest::runsInstalled() {
    QFETCH(QString, source);
    if (QByteArray(QTest::currentDataTag()) == "Debian package" && source.isEmpty())
        QSKIP("no package built (scripts/package)");
    QTemporaryDir root;
    const QString usr = root.filePath("usr");
    if (source.isEmpty()) {
        QDir().mkpath(usr + "/bin");
        QVERIFY(QFile::copy(VELMIO_DIST_DIR "/velmio", usr + "/bin/velmio"));
        QFile::setPermissions(usr + "/bin/velmio", QFile::permissions(VELMIO_DIST_DIR "/velmio"));
        const QString share = usr + "/share/velmio-check";
        QDir().mkpath(share);
        for (const char* f : {"velmio.dat", "velmio_s.dat", "velmio.tbl"})
            QVERIFY(QFile::copy(QStringLiteral(VELMIO_DIST_DIR "/") + f, share + '/' + f));
    } else {
        QCOMPARE(QProcess::execute("dpkg-deb", {"-x", source, root.path()}), 0);
        for (const char* entry : {"/share/applications/velmio-check.desktop"})
            QCOMPARE(QProcess::execute("desktop-file-validate", {usr + entry}), 0);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = root.filePath("home");
    env.insert("HOME", home);
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) env.remove(v);
    QTemporaryDir runtime;
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(usr + "/bin/velmio", {});
    QVERIFY(p.waitForStarted(5000));
    // She greets: her windows are up.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QProcess search;
            search.start("xdotool", {"search", "--onlyvisible", "--pid", QString::number(p.processId())});
            search.waitForFinished(3000);
            return !search.readAllStandardOutput().trimmed().isEmpty();
        }(),
        8000);
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    const QString ini = home + "/.config/velmio-check/velmio.ini";
    QCOMPARE(ReadIniValue(ini, "Message", "NickName"), QStringLiteral("お兄ちゃん"));
    QVERIFY(QDir(home + "/.local/state/velmio-check").exists());
    QVERIFY(!QFile::exists(usr + "/bin/velmio.ini"));
}

QTEST_GUILESS_MAIN(InstalledLayoutTest)
#include "tst_installed_layout.moc"
