#include <QtTest>

#include "mail/mail_count.h"
#include "platform/cp932.h"
#include "support/dovecot.h"
#include "support/mail_fixture.h"

using namespace velmio;
using test::Dovecot;
using test::MailFixture;
using Counts = QList<int>;

// Whole checks against the real Dovecot of the test run, through a relay
// that records what the program sends.
class Pop3DovecotTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void mailboxes_data();
    void mailboxes();
    void wrongPassword();
    void displayModesAcrossChecks_data();
    void displayModesAcrossChecks();
    void logAcrossDays();
};

void Pop3DovecotTest::init() {
    if (!Dovecot::Port()) QSKIP(qPrintable(Dovecot::SkipReason()));
}

void Pop3DovecotTest::mailboxes_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("picture");
    QTest::newRow("empty") << "empty" << 0 << test::kNoMailLine << 5;
    QTest::newRow("three") << "alice" << 3 << QStringLiteral("お兄ちゃんに、メールは  3通来てるよ") << 3;
    QTest::newRow("4,000") << "bulk" << 4000 << test::kManyLine << 2;
}

void Pop3DovecotTest::mailboxes() {
    QFETCH(QString, user);
    QFETCH(int, count);
    QFETCH(QString, said);
    QFETCH(int, picture);
    test::Pop3Tap tap(*Dovecot::Port());
    MailFixture f(tap.port());
    f.state.settings.LoginName = user;
    f.state.settings.LogMode = true;
    QVERIFY(f.run());
    QCOMPARE(tap.sent(), "user " + user.toLatin1() + "\r\npass secret\r\nList\r\nquit\r\n");
    QCOMPARE(f.shell.tip, SummaryText(static_cast<qint16>(count), static_cast<qint16>(count)));
    QCOMPARE(int(f.shell.traySelector), count);
    QCOMPARE(f.shell.said, said);
    QCOMPARE(f.shell.picture, picture);
    QCOMPARE(int(f.state.MailTotal), count);
    QVERIFY(f.shell.messages.isEmpty());
    QCOMPARE(int(f.check.PopState()), 0);
    QVERIFY(f.readyAgain());
    const QString entry = count == 0 ? QStringLiteral("No Mail") : QString::number(count) + "件";
    QCOMPARE(DecodeCp932(f.log()), "2026/01/07\r\n9:05:07: " + entry + "\r\n");
}

void Pop3DovecotTest::wrongPassword() {
    test::Pop3Tap tap(*Dovecot::Port());
    MailFixture f(tap.port());
    f.state.settings.LoginPass = QStringLiteral("wrong");
    f.state.settings.LogMode = true;
    QVERIFY(f.run());
    QCOMPARE(tap.sent(), QByteArray("user alice\r\npass wrong\r\n"));
    QCOMPARE(f.shell.said, test::kWrongLoginLine);
    QCOMPARE(f.shell.picture, 0);
    QCOMPARE(int(f.check.PopState()), -1);
    QVERIFY(f.shell.tip.isEmpty());
    QVERIFY(f.log().isEmpty());
    QVERIFY(f.readyAgain());
}

void Pop3DovecotTest::displayModesAcrossChecks_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<Counts>("totals");
    QTest::addColumn<Counts>("reported");
    // Mail was 5 at start.
    QTest::newRow("all") << 0 << Counts{5, 7, 3} << Counts{5, 7, 3};
    QTest::newRow("since last check") << 1 << Counts{5, 7, 3, 4} << Counts{0, 2, 0, 4};
    QTest::newRow("since last start") << 2 << Counts{5, 7, 9, 3, 4} << Counts{0, 2, 4, 0, 4};
}

void Pop3DovecotTest::displayModesAcrossChecks() {
    QFETCH(int, mode);
    QFETCH(Counts, totals);
    QFETCH(Counts, reported);
    MailFixture f(*Dovecot::Port());
    f.state.settings.LoginName = QStringLiteral("carol");
    f.state.settings.DispDiff = static_cast<qint16>(mode);
    f.state.MailTotal = f.state.LastCheckMail = f.state.StartMail = 5;
    for (int i = 0; i < totals.size(); ++i) {
        QVERIFY(Dovecot::SetMessageCount(QStringLiteral("carol"), totals[i]));
        f.shell.clear();
        QVERIFY(f.run());
        const qint16 n = static_cast<qint16>(reported[i]);
        QCOMPARE(f.shell.tip, SummaryText(n, static_cast<qint16>(totals[i])));
        QCOMPARE(f.shell.said, n == 0 ? test::kNoMailLine : QStringLiteral("お兄ちゃんに、メールは  %1通来てるよ").arg(n));
        QVERIFY(f.readyAgain());
    }
    if (mode == 2) QCOMPARE(int(f.state.LastCheckMail), totals.last());
}

void Pop3DovecotTest::logAcrossDays() {
    MailFixture f(*Dovecot::Port());
    f.state.settings.LogMode = true;
    QVERIFY(f.run());
    f.clock.advanceSecs(3600);
    f.state.settings.LoginPass = QStringLiteral("wrong");  // not logged
    QVERIFY(f.run());
    f.state.settings.LoginPass = QStringLiteral("secret");
    f.state.settings.LoginName = QStringLiteral("empty");
    QVERIFY(f.run());
    QCOMPARE(DecodeCp932(f.log()), QStringLiteral("2026/01/07\r\n9:05:07: 3件\r\n10:05:07: No Mail\r\n"));
    f.clock.advanceSecs(7 * 24 * 3600);
    QVERIFY(f.run());
    QCOMPARE(DecodeCp932(f.log()), QStringLiteral("2026/01/14\r\n10:05:07: No Mail\r\n"));
    QCOMPARE(QDir(f.dir.path()).entryList({"*.log"}), QStringList{"Wed.log"});
}

QTEST_GUILESS_MAIN(Pop3DovecotTest)
#include "tst_pop3_dovecot.moc"
