#include <QRandomGenerator>
#include <QtTest>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/app_state.h"
#include "mail/check_log.h"
#include "platform/clock.h"
#include "platform/cp932.h"
#include "support/fd_capture.h"

using namespace velmio;

struct Entry {
    QDateTime at;
    QString text;
};
using Entries = QList<Entry>;
Q_DECLARE_METATYPE(Entries)

static const QDateTime kWed(QDate(2026, 1, 7), QTime(9, 5, 7));

// Whether the stopped process holds a file in folder open for writing: the
// log itself or a QSaveFile temporary beside it.
static bool WritesInto(pid_t pid, const QString& folder) {
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (!QFile::symLinkTarget(fds + '/' + fd).startsWith(folder + '/')) continue;
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
        if (!info.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("flags:") && (line.mid(6).trimmed().toInt(nullptr, 8) & O_ACCMODE) != O_RDONLY)
                return true;
    }
    return false;
}

// A program folder of its own, with the log on or off.
struct LogFolder {
    QTemporaryDir dir;
    AppState state;
    explicit LogFolder(bool logMode = true) {
        state.paths = AppPaths::ProgramFolder(dir.path());
        state.settings.LogMode = logMode;
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }
};

// The weekday files of check outcomes beside the program.
class CheckLogTest : public QObject {
    Q_OBJECT
private slots:
    void entries_data() {
        QTest::addColumn<bool>("logMode");
        QTest::addColumn<QByteArray>("before");  // Wed.log before the entries; "-" for none
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QByteArray>("after");
        const QByteArray none = "-", today = "2026/01/07\r\n9:05:07: No Mail\r\n";
        const QByteArray lastWeek = "2025/12/31\r\n23:59:59: No Mail\r\n";
        const Entries once{{kWed, "No Mail"}};
        QTest::newRow("first entry ever") << true << none << once << today;
        QTest::newRow("same day appends") << true << none << Entries{{kWed, "No Mail"}, {kWed.addSecs(5 * 3600), "3件"}}
                                          << today + "14:05:07: " + EncodeCp932("3件") + "\r\n";
        QTest::newRow("a week later starts afresh")
            << true << none << Entries{{kWed, "No Mail"}, {kWed.addDays(7).addSecs(-9 * 3600), "Arrival Error"}}
            << QByteArray("2026/01/14\r\n0:05:07: Arrival Error\r\n");
        QTest::newRow("last week's file is replaced") << true << lastWeek << once << today;
        // The whole header counts, not its first 8 characters.
        QTest::newRow("header sharing the first 8 characters")
            << true << QByteArray("2026/01/01\r\n8:00:00: No Mail\r\n") << once << today;
        QTest::newRow("empty file starts afresh") << true << QByteArray("") << once << today;
        QTest::newRow("log off makes no file") << false << none << once << none;
        QTest::newRow("log off keeps last week's file") << false << lastWeek << Entries{{kWed, "3件"}} << lastWeek;
    }

    void entries() {
        QFETCH(bool, logMode);
        QFETCH(QByteArray, before);
        QFETCH(Entries, entries);
        QFETCH(QByteArray, after);
        LogFolder folder(logMode);
        QFile f(folder.dir.filePath("Wed.log"));
        if (before != "-") {
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
            f.close();
        }
        ManualClock clock;
        CheckLog log(folder.state, clock);
        for (const Entry& e : entries) {
            clock.set(e.at);
            log.WriteLog(e.text);
        }
        QCOMPARE(folder.files(), after == "-" ? QStringList{} : QStringList{"Wed.log"});
        if (after == "-") return;
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), after);
    }

    void fileNameFollowsTheWeekday() {
        const QStringList names{"Sun.log", "Mon.log", "Tue.log", "Wed.log", "Thu.log", "Fri.log", "Sat.log"};
        for (int i = 0; i < 7; ++i) {
            LogFolder folder;
            ManualClock clock(QDateTime(QDate(2026, 1, 4).addDays(i), QTime(12, 0)));
            CheckLog(folder.state, clock).WriteLog("No Mail");
            QCOMPARE(folder.files(), QStringList{names[i]});
        }
    }

    // A path that cannot be written, for root as for anyone: a folder of that name.
    void unwritableFileDropsTheEntry() {
        LogFolder folder;
        QVERIFY(QDir(folder.dir.path()).mkdir("Wed.log"));
        ManualClock clock(kWed);
        const QByteArray said = test::Captured(2, [&] { CheckLog(folder.state, clock).WriteLog("No Mail"); });
        QVERIFY2(said.contains("check log entry dropped") && said.contains("Wed.log"), said.constData());
        QCOMPARE(said.count('\n'), 1);
        QVERIFY(QFileInfo(folder.dir.filePath("Wed.log")).isDir());
    }

    // A writer killed at random moments, 200 times: entries already in the
    // file stay byte for byte, the file is never cut inside a line, and last
    // week's file is either still whole or replaced by today's. Enough of the
    // kills must land while it has a file open for writing, or the test says
    // nothing.
    void killedWriterDamagesNothing() {
        LogFolder folder;
        const QString dir = QFileInfo(folder.dir.path()).canonicalFilePath();
        int midWrite = 0;
        const QString path = folder.dir.filePath("Wed.log");
        const QByteArray lastWeek = "2025/12/31\r\n23:59:59: No Mail\r\n";
        QRandomGenerator rng(1207);
        for (int i = 0; i < 200; ++i) {
            QFile file(path);
            if (i % 4 == 0) {
                QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                file.write(lastWeek);
                file.close();
            }
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray before = file.readAll();
            file.close();
            // The pause starts once the child is about to write: on a busy
            // machine most kills would otherwise land before its first entry.
            int ready[2];
            QVERIFY(pipe(ready) == 0);
            const pid_t child = fork();
            if (child == 0) {
                ManualClock clock(kWed);
                const CheckLog log(folder.state, clock);
                // A first entry before the pause: a new process's first write
                // can take longer than the pause (under the sanitizers here,
                // over 3 ms), and no kill would land among the writes.
                log.WriteLog("No Mail");
                if (write(ready[1], "", 1) != 1) _exit(1);
                for (;;) log.WriteLog("No Mail");
            }
            char byte;
            const bool started = read(ready[0], &byte, 1) == 1;
            close(ready[0]);
            close(ready[1]);
            const timespec pause{0, long(rng.bounded(3000)) * 1000};
            nanosleep(&pause, nullptr);
            // Stopped first, to see whether the kill lands mid-write.
            ::kill(child, SIGSTOP);
            int status = 0;
            const bool stopped = waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status);
            midWrite += stopped && WritesInto(child, dir);
            ::kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            QVERIFY(started && stopped);
            QVERIFY2(file.open(QIODevice::ReadOnly), "the log is missing");
            const QByteArray after = file.readAll();
            file.close();
            if (after == before) continue;
            if (before.startsWith("2026/01/07")) QVERIFY(after.startsWith(before));
            QVERIFY(after.endsWith("\r\n"));
            QList<QByteArray> lines = after.split('\n');
            lines.removeLast();
            QCOMPARE(lines.first(), QByteArray("2026/01/07\r"));
            for (const QByteArray& line : lines.mid(1)) QCOMPARE(line, QByteArray("9:05:07: No Mail\r"));
        }
        qInfo() << midWrite << "of 200 kills landed while the log was open for writing";
        QVERIFY2(midWrite >= 20, qPrintable(QString::number(midWrite)));
    }
};

QTEST_GUILESS_MAIN(CheckLogTest)
#include "tst_check_log.moc"
