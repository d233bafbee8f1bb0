#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <csignal>
#include <ctime>

#include "mail/check_log.h"
#include "platform/cp932.h"
#include "platform/profile_file.h"
#include "support/dovecot.h"
#include "support/fakes.h"
#include "support/real_part.h"

using namespace velmio;

// The built program as a user starts it: a copy of the program folder, its
// own runtime folder for the single-instance lock.
class ProgramProcessTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void endsOnSignalWritingTheExitBatch_data();
    void endsOnSignalWritingTheExitBatch();
    void secondStartOnlyShowsTheMessage();
    void startsQuietly_data();
    void startsQuietly();
    void startsLight_data();
    void startsLight();
    void killedWhileWritingLeavesOldOrNewFile();
    void killedWhileLoggingDamagesNoLine();

private:
    QProcessEnvironment environment() const;
    QProcess* start() { return start(environment()); }
    QProcess* start(const QProcessEnvironment& env);
    QProcess* startUntilReady();
    bool windowNamed(const QString& name);

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QTemporaryDir> runtime_;
    QList<QProcess*> processes_;
};

void ProgramProcessTest::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    runtime_ = std::make_unique<QTemporaryDir>();
    QFile::setPermissions(runtime_->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner);
    for (const char* f : {"velmio", "velmio-sound.so", "velmio.dat", "velmio_s.dat", "velmio.tbl"})
        QVERIFY(QFile::copy(QStringLiteral(VELMIO_DIST_DIR "/") + f, folder_->filePath(f)));
    QFile::setPermissions(folder_->filePath("velmio"),
                          QFile::permissions(QStringLiteral(VELMIO_DIST_DIR "/velmio")));
}

void ProgramProcessTest::cleanup() {
    for (QProcess* p : processes_) {
        p->kill();
        p->waitForFinished(3000);
        delete p;
    }
    processes_.clear();
}

namespace {

// The program has set its own SIGTERM handler, so a SIGTERM now writes the exit batch.
bool CatchesSigterm(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:")) return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

// The file's bytes; empty when it is missing.
QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void SleepMicroseconds(long us) {
    const timespec t{us / 1000000, (us % 1000000) * 1000};
    nanosleep(&t, nullptr);
}

}  // namespace

QProcessEnvironment ProgramProcessTest::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime_->path());
    return env;
}

QProcess* ProgramProcessTest::start(const QProcessEnvironment& env) {
    auto* p = new QProcess;
    processes_ << p;
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(QDir::tempPath());  // the program folder is its own, not the cwd
    p->start(folder_->filePath("velmio"), {});
    p->waitForStarted(5000);
    return p;
}

QProcess* ProgramProcessTest::startUntilReady() {
    QProcess* p = start();
    return QTest::qWaitFor([p] { return CatchesSigterm(p->processId()); }, 20000) ? p : nullptr;
}

bool ProgramProcessTest::windowNamed(const QString& name) {
    QProcess search;
    search.start("xdotool", {"search", "--name", name});
    search.waitForFinished(3000);
    return !search.readAllStandardOutput().trimmed().isEmpty();
}

void ProgramProcessTest::endsOnSignalWritingTheExitBatch_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void ProgramProcessTest::endsOnSignalWritingTheExitBatch() {
    QFETCH(int, signal);
    QFile ini(folder_->filePath("velmio.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(test::Cp932("[System]\r\nXpos=1500\r\nYpos=6000\r\nMail=3\r\n[Message]\r\nNickName=兄や\r\n"));
    ini.close();
    QProcess* p = start();
    QTest::qWait(1500);
    QCOMPARE(p->state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p->processId()), signal);
    QVERIFY(p->waitForFinished(5000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
    const QString path = folder_->filePath("velmio.ini");
    QCOMPARE(ReadIniValue(path, "System", "Xpos"), QStringLiteral("1500"));
    QCOMPARE(ReadIniValue(path, "System", "Ypos"), QStringLiteral("6000"));
    QCOMPARE(ReadIniValue(path, "System", "Mail"), QStringLiteral("3"));
    QCOMPARE(ReadIniValue(path, "Message", "NickName"), QStringLiteral("兄や"));
    QCOMPARE(ReadIniValue(path, "System", "CharHide"), QStringLiteral("0"));
}

void ProgramProcessTest::secondStartOnlyShowsTheMessage() {
    QProcess* first = start();
    QTest::qWait(1500);
    QVERIFY(!windowNamed(QStringLiteral("Velmioチェック")));
    QProcess* second = start();
    QTRY_VERIFY_WITH_TIMEOUT(windowNamed(QStringLiteral("Velmioチェック")), 5000);
    QCOMPARE(second->state(), QProcess::Running);  // waiting on its message box
    second->kill();
    second->waitForFinished(3000);
    QCOMPARE(first->state(), QProcess::Running);
    // The second start read and wrote no settings.
    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    QVERIFY(first->waitForFinished(5000));
    QVERIFY(QFile::exists(folder_->filePath("velmio.ini")));
}

void ProgramProcessTest::startsQuietly_data() {
    QTest::addColumn<QString>("session");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("the test desktop") << "" << QByteArray();
    // Qt is given a private folder instead of warning that there is none.
    QTest::newRow("no runtime folder") << "TMPDIR" << QByteArray();
    // Her own one line, not Qt's as well.
    QTest::newRow("no sound server") << "PULSE_SERVER" << QByteArray("velmio: No audio device detected; sounds stay silent\n");
}

// A start with her greeting sound, and its end, print nothing else.
void ProgramProcessTest::startsQuietly() {
    QFETCH(QString, session);
    QFETCH(QByteArray, err);
    QProcess pactl;
    pactl.start("pactl", {"info"});
    REQUIRE_REAL_PART(pactl.waitForFinished(3000) && pactl.exitCode() == 0, "sound server");
    QFile ini(folder_->filePath("velmio.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Sound]\r\nPlayWave=1\r\n0=" VELMIO_DIST_DIR "/sounds/greeting.wav\r\n");
    ini.close();
    QProcessEnvironment env = environment();
    QTemporaryDir tmp;
    if (session == "TMPDIR") {
        env.remove("XDG_RUNTIME_DIR");
        env.insert("TMPDIR", tmp.path());
    }
    if (session == "PULSE_SERVER") env.insert("PULSE_SERVER", "unix:/nonexistent/native");
    QProcess* p = start(env);
    QVERIFY(QTest::qWaitFor([p] { return CatchesSigterm(p->processId()); }, 20000));
    QTest::qWait(1000);  // the greeting sounds
    ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
    QVERIFY(p->waitForFinished(5000));
    QCOMPARE(p->readAllStandardError(), err);
}

void ProgramProcessTest::startsLight_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("library");  // part of a mapped file's path
    QTest::addColumn<bool>("loaded");
    const QByteArray greeting = "[Sound]\r\nPlayWave=1\r\n0=" VELMIO_DIST_DIR "/sounds/greeting.wav\r\n";
    QTest::newRow("TLS") << QByteArray() << QByteArray("/libssl.so") << false;
    QTest::newRow("sound") << QByteArray() << QByteArray("/libQt6Multimedia.so") << false;
    QTest::newRow("sound, greeting heard") << greeting << QByteArray("/libQt6Multimedia.so") << true;
    QTest::newRow("image plugins") << QByteArray() << QByteArray("/imageformats/") << false;
    QTest::newRow("network backend") << QByteArray() << QByteArray("/networkinformation/") << false;
}

// She stays resident all day: what no check, sound or picture has needed yet is not loaded.
void ProgramProcessTest::startsLight() {
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, library);
    QFETCH(bool, loaded);
    QFile ini(folder_->filePath("velmio.ini"));
    QVERIFY(settings.isEmpty() || (ini.open(QIODevice::WriteOnly) && ini.write(settings) == settings.size()));
    ini.close();
    QProcess* p = startUntilReady();
    QVERIFY(p);
    QTest::qWait(1000);  // greeted
    QFile maps(QStringLiteral("/proc/%1/maps").arg(p->processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QCOMPARE(maps.readAll().contains(library), loaded);
}

// Killed at random moments while it writes the exit batch into a settings
// file with a large section of another program's: the file is always the
// old one or the new one, whole.
void ProgramProcessTest::killedWhileWritingLeavesOldOrNewFile() {
    const QString path = folder_->filePath("velmio.ini");
    QByteArray old = "[System]\r\nXpos=1500\r\nYpos=6000\r\nMail=3\r\n[Foreign]\r\n";
    for (int i = 0; i < 40000; ++i) old += "Key" + QByteArray::number(i) + "=" + QByteArray(40, 'x') + "\r\n";
    const auto writeOld = [&] {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(old) == old.size();
    };

    // The new file, and how long it takes from the signal to the end.
    QVERIFY(writeOld());
    QProcess* p = startUntilReady();
    QVERIFY(p);
    QElapsedTimer writing;
    writing.start();
    ::kill(pid_t(p->processId()), SIGTERM);
    QVERIFY(p->waitForFinished(10000));
    const qint64 span = writing.nsecsElapsed() / 1000;
    const QByteArray fresh = Contents(path);
    QVERIFY(fresh != old && fresh.contains(old.mid(old.indexOf("[Foreign]"))));

    QRandomGenerator rng(1207);
    QMap<QString, int> outcomes;
    for (int i = 0; i < 200; ++i) {
        QVERIFY(writeOld());
        QProcess* run = startUntilReady();
        QVERIFY(run);
        const pid_t pid = pid_t(run->processId());
        ::kill(pid, SIGTERM);
        SleepMicroseconds(long(rng.bounded(quint64(span))));
        ::kill(pid, SIGKILL);
        QVERIFY(run->waitForFinished(10000));
        const QByteArray now = Contents(path);
        QVERIFY2(now == old || now == fresh, qPrintable(QStringLiteral("kill %1: a file of %2 bytes").arg(i).arg(now.size())));
        ++outcomes[now == old ? "old" : "new"];
        processes_.removeOne(run);
        delete run;
    }
    qInfo() << "exit batch took" << span << "us; after 200 kills the file was" << outcomes;
}

// Killed at random moments while it checks and logs, 200 times: lines already
// in today's log stay byte for byte, the file never ends inside a line, and
// last week's log is either whole or replaced by today's.
void ProgramProcessTest::killedWhileLoggingDamagesNoLine() {
    const std::optional<quint16> port = test::Dovecot::Port();
    REQUIRE_REAL_PART(port, "Dovecot (VELMIO_POP3_PORT)");
    QFile ini(folder_->filePath("velmio.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    // Her top left at 200, 200, so 247, 280 is on her dress; a double click on her starts a check.
    ini.write("[System]\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(*port) +
              "\r\nLoginName=alice\r\nLoginPass=secret\r\nSavePassword=1\r\nLogMode=1\r\nClick=2\r\n"
              "Xpos=3000\r\nYpos=3000\r\n");
    ini.close();
    const QString path = folder_->filePath(CheckLog::FileName(QDate::currentDate()));
    const QByteArray lastWeek = "2000/01/01\r\n23:59:59: No Mail\r\n";
    const QRegularExpression entry(QStringLiteral("^\\d{1,2}:\\d\\d:\\d\\d: 3件\r$"));

    // Pairs apart, or a burst reads as one double click and single clicks;
    // far enough apart that a check can end between two, on a slow machine too.
    QStringList doubleClicks{"mousemove", "247", "280"};
    for (int k = 0; k < 200; ++k) doubleClicks << "click" << "--repeat" << "2" << "--delay" << "20" << "1" << "sleep" << "0.3";

    QRandomGenerator rng(1208);
    int logged = 0;
    for (int i = 0; i < 200; ++i) {
        if (i % 4 == 0) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(lastWeek) == lastWeek.size());
        }
        const QByteArray before = Contents(path);
        QProcess* run = startUntilReady();
        QVERIFY(run);
        QProcess clicks;
        clicks.start("xdotool", doubleClicks);
        QVERIFY2(QTest::qWaitFor([&] { return Contents(path) != before; }, 20000),
                 qPrintable(QStringLiteral("start %1: no check was logged").arg(i)));
        SleepMicroseconds(long(rng.bounded(500000)));
        ::kill(pid_t(run->processId()), SIGKILL);
        QVERIFY(run->waitForFinished(10000));
        clicks.kill();
        clicks.waitForFinished(3000);

        const QByteArray after = Contents(path);
        QVERIFY2(after.endsWith("\r\n"), qPrintable(QStringLiteral("kill %1: the log ends inside a line").arg(i)));
        if (before != lastWeek) QVERIFY2(after.startsWith(before), qPrintable(QStringLiteral("kill %1: written lines changed").arg(i)));
        const QStringList written = DecodeCp932(after).split('\n');
        QCOMPARE(written.first(), CheckLog::DateText(QDate::currentDate()) + '\r');
        for (const QString& line : written.mid(1, written.size() - 2))
            QVERIFY2(entry.match(line).hasMatch(), qPrintable(QStringLiteral("kill %1: line %2").arg(i).arg(line)));
        logged += int(after.count('\n') - (before == lastWeek ? 1 : before.count('\n')));
        processes_.removeOne(run);
        delete run;
    }
    qInfo() << "entries logged by the 200 killed runs:" << logged;
}

QTEST_GUILESS_MAIN(ProgramProcessTest)
#include "tst_program_process.moc"
