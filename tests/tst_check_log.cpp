#include <QtTest>

#include "core/app_state.h"
#include "mail/check_log.h"
#include "platform/clock.h"
#include "platform/cp932.h"
#include "support/fd_capture.h"

using namespace velmio;

// The weekday files of check outcomes beside the program.
class CheckLogTest : public QObject {
    Q_OBJECT
private slots:
    void entries_data();
    void entries();
    void fileNameFollowsTheWeekday_data();
    void fileNameFollowsTheWeekday();
    void unwritableFileDropsTheEntry();
};

struct Entry {
    QDateTime at;
    QString text;
};
Q_DECLARE_METATYPE(QList<Entry>)

static const QDateTime kWed(QDate(2026, 1, 7), QTime(9, 5, 7));

void CheckLogTest::entries_data() {
    QTest::addColumn<bool>("logMode");
    QTest::addColumn<QByteArray>("before");  // Wed.log before the entries; "-" for none
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QByteArray>("after");  // "-" for no file
    const QByteArray jp = EncodeCp932(QStringLiteral("3件"));
    QTest::newRow("first entry ever") << true << QByteArray("-") << QList<Entry>{{kWed, "No Mail"}}
                                      << QByteArray("2026/01/07\r\n9:05:07: No Mail\r\n");
    QTest::newRow("same day appends")
        << true << QByteArray("-")
        << QList<Entry>{{kWed, "No Mail"}, {kWed.addSecs(3600 * 5), QStringLiteral("3件")}}
        << "2026/01/07\r\n9:05:07: No Mail\r\n14:05:07: " + jp + "\r\n";
    QTest::newRow("a week later starts afresh")
        << true << QByteArray("-") << QList<Entry>{{kWed, "No Mail"}, {kWed.addDays(7).addSecs(-9 * 3600), "Arrival Error"}}
        << QByteArray("2026/01/14\r\n0:05:07: Arrival Error\r\n");
    QTest::newRow("last week's file is replaced")
        << true << QByteArray("2025/12/31\r\n23:59:59: No Mail\r\n") << QList<Entry>{{kWed, "No Mail"}}
        << QByteArray("2026/01/07\r\n9:05:07: No Mail\r\n");
    // The whole header counts, not its first 8 characters.
    QTest::newRow("header sharing the first 8 characters")
        << true << QByteArray("2026/01/01\r\n8:00:00: No Mail\r\n") << QList<Entry>{{kWed, "No Mail"}}
        << QByteArray("2026/01/07\r\n9:05:07: No Mail\r\n");
    QTest::newRow("empty file starts afresh") << true << QByteArray("") << QList<Entry>{{kWed, "No Mail"}}
                                              << QByteArray("2026/01/07\r\n9:05:07: No Mail\r\n");
    QTest::newRow("empty text ends in a colon and space") << true << QByteArray("-") << QList<Entry>{{kWed, ""}}
                                                          << QByteArray("2026/01/07\r\n9:05:07: \r\n");
    QTest::newRow("socket error text unchanged")
        << true << QByteArray("-")
        << QList<Entry>{{kWed, QStringLiteral("Winsock ErrCd:10061 ErrMes:Connection refused")}}
        << QByteArray("2026/01/07\r\n9:05:07: Winsock ErrCd:10061 ErrMes:Connection refused\r\n");
    QTest::newRow("log off touches nothing") << false << QByteArray("-") << QList<Entry>{{kWed, "No Mail"}}
                                             << QByteArray("-");
    QTest::newRow("log off keeps last week's file")
        << false << QByteArray("2025/12/31\r\n1:00:00: No Mail\r\n") << QList<Entry>{{kWed, "3件"}}
        << QByteArray("2025/12/31\r\n1:00:00: No Mail\r\n");
}

void CheckLogTest::entries() {
    QFETCH(bool, logMode);
    QFETCH(QByteArray, before);
    QFETCH(QList<Entry>, entries);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    AppState state;
    state.AppPath = dir.path();
    state.settings.LogMode = logMode;
    const QString path = dir.filePath("Wed.log");
    if (before != "-") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    ManualClock clock;
    CheckLog log(state, clock);
    for (const Entry& e : entries) {
        clock.set(e.at);
        log.WriteLog(e.text);
    }
    QFile f(path);
    if (after == "-") {
        QVERIFY(!f.exists());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 0);
        return;
    }
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), after);
}

void CheckLogTest::fileNameFollowsTheWeekday_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("name");
    const char* names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int i = 0; i < 7; ++i) QTest::newRow(names[i]) << QDate(2026, 1, 4).addDays(i) << QString(names[i]) + ".log";
}

void CheckLogTest::fileNameFollowsTheWeekday() {
    QFETCH(QDate, date);
    QFETCH(QString, name);
    QTemporaryDir dir;
    AppState state;
    state.AppPath = dir.path();
    state.settings.LogMode = true;
    ManualClock clock(QDateTime(date, QTime(12, 0)));
    CheckLog(state, clock).WriteLog("No Mail");
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
}

// A path that cannot be written, for root as for anyone: a folder of that name.
void CheckLogTest::unwritableFileDropsTheEntry() {
    QTemporaryDir dir;
    AppState state;
    state.AppPath = dir.path();
    state.settings.LogMode = true;
    QVERIFY(QDir(dir.path()).mkdir("Wed.log"));
    ManualClock clock(kWed);
    test::FdCapture err(2);
    CheckLog(state, clock).WriteLog("No Mail");  // returns; nothing is thrown
    const QByteArray said = err.text();
    QVERIFY2(said.contains("check log entry dropped") && said.contains("Wed.log"), said.constData());
    QCOMPARE(said.count('\n'), 1);
    QVERIFY(QFileInfo(dir.filePath("Wed.log")).isDir());
}

QTEST_GUILESS_MAIN(CheckLogTest)
#include "tst_check_log.moc"
