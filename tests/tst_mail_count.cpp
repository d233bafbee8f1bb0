#include <QtTest>

#include "character/reaction_draw.h"
#include "core/app_state.h"
#include "mail/check_log.h"
#include "mail/mail_count.h"
#include "mail/result_messages.h"
#include "support/mail_fixture.h"
#include "support/recording_mail_shell.h"

using namespace velmio;
using test::RecordingMailShell;

using Counts = QList<int>;

class MailCountTest : public QObject {
    Q_OBJECT
private slots:
    void countOfListReply_data();
    void countOfListReply();
    void displayModesAcrossChecks_data();
    void displayModesAcrossChecks();
    void overflowingDifferenceIsAnUnreadableCount();
    void reportedCount_data();
    void reportedCount();
};

static QByteArray Scan(int n) {
    QByteArray b;
    for (int i = 1; i <= n; ++i) b += QByteArray::number(i) + ' ' + QByteArray::number(500 + i) + "\r\n";
    return b;
}

void MailCountTest::countOfListReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("count");  // -1: unreadable
    // The first lines real servers give, each with a listing that disagrees,
    // so the test sees which of the two was used.
    QTest::newRow("Dovecot") << "+OK 2 messages:\r\n" + Scan(3) + ".\r\n" << 2;
    QTest::newRow("Gmail") << "+OK 276 messages (626188523 bytes)\r\n" + Scan(3) + ".\r\n" << 276;
    QTest::newRow("Exchange") << "+OK 5 525246\r\n" + Scan(3) + ".\r\n" << 5;
    QTest::newRow("qpopper") << "+OK 2 visible messages (320 octets)\r\n" + Scan(3) + ".\r\n" << 2;
    QTest::newRow("count alone") << "+OK 7\r\n" + Scan(3) + ".\r\n" << 7;
    QTest::newRow("Cyrus") << "+OK scan listing follows\r\n" + Scan(4) + ".\r\n" << 4;
    QTest::newRow("Courier") << "+OK POP3 clients that break here, they violate STD53.\r\n" + Scan(6) + ".\r\n" << 6;
    QTest::newRow("UW ipop3d") << "+OK Mailbox scan listing follows\r\n" + Scan(1) + ".\r\n" << 1;
    QTest::newRow("GreenMail") << "+OK\r\n" + Scan(2) + ".\r\n" << 2;
    QTest::newRow("GreenMail, empty") << QByteArray("+OK\r\n.\r\n") << 0;
    QTest::newRow("no messages") << QByteArray("+OK 0 messages:\r\n.\r\n") << 0;
    // Far beyond the 255 pieces a split of the whole listing could take.
    QTest::newRow("4,000 listed under a count") << "+OK 4000 messages:\r\n" + Scan(4000) + ".\r\n" << 4000;
    QTest::newRow("4,000 scan lines") << "+OK\r\n" + Scan(4000) + ".\r\n" << 4000;
    QTest::newRow("scan lines with more after the size") << QByteArray("+OK\r\n1 20 x\r\n2 30\r\n.\r\n") << 2;
    QTest::newRow("malformed listing") << QByteArray("+OK\r\n1 20\r\nhello\r\n.\r\n") << -1;
    QTest::newRow("negative count") << QByteArray("+OK -3 messages\r\n.\r\n") << -1;
    QTest::newRow("count beyond 16 bits") << QByteArray("+OK 40000 messages\r\n.\r\n") << -1;
    QTest::newRow("scan lines beyond 16 bits") << "+OK\r\n" + Scan(32768) + ".\r\n" << -1;
}

void MailCountTest::countOfListReply() {
    QFETCH(QByteArray, reply);
    QFETCH(int, count);
    const auto n = CountFromListReply(QString::fromLatin1(reply));
    QCOMPARE(n.has_value(), count >= 0);
    if (n) QCOMPARE(int(*n), count);
}

void MailCountTest::displayModesAcrossChecks_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("loadedMail");
    QTest::addColumn<Counts>("totals");
    QTest::addColumn<Counts>("reported");
    QTest::addColumn<Counts>("lastCheck");  // LastCheckMail after each check
    QTest::addColumn<Counts>("startMail");  // StartMail after each check
    QTest::newRow("all") << 0 << 5 << Counts{5, 7, 3} << Counts{5, 7, 3} << Counts{5, 5, 5} << Counts{5, 5, 5};
    QTest::newRow("unknown mode is all") << 9 << 5 << Counts{4} << Counts{4} << Counts{5} << Counts{5};
    QTest::newRow("since last check") << 1 << 5 << Counts{5, 7, 3, 4} << Counts{0, 2, 0, 4} << Counts{5, 7, 0, 4}
                                      << Counts{5, 5, 5, 5};
    QTest::newRow("since last start") << 2 << 5 << Counts{5, 7, 9, 3, 4} << Counts{0, 2, 4, 0, 4}
                                      << Counts{5, 7, 9, 3, 4} << Counts{5, 5, 5, 0, 0};
    QTest::newRow("no mail in any mode") << 1 << 0 << Counts{0, 0} << Counts{0, 0} << Counts{0, 0} << Counts{0, 0};
}

void MailCountTest::displayModesAcrossChecks() {
    QFETCH(int, mode);
    QFETCH(int, loadedMail);
    QFETCH(Counts, totals);
    QFETCH(Counts, reported);
    QFETCH(Counts, lastCheck);
    QFETCH(Counts, startMail);
    AppState state;
    state.settings.DispDiff = static_cast<qint16>(mode);
    state.LastCheckMail = state.StartMail = state.MailTotal = static_cast<qint16>(loadedMail);
    for (int i = 0; i < totals.size(); ++i) {
        const auto n = ApplyDisplayMode(state, static_cast<qint16>(totals[i]));
        QVERIFY(n);
        QCOMPARE(int(*n), reported[i]);
        QCOMPARE(int(state.MailTotal), totals[i]);
        QCOMPARE(int(state.LastCheckMail), lastCheck[i]);
        QCOMPARE(int(state.StartMail), startMail[i]);
    }
}

void MailCountTest::overflowingDifferenceIsAnUnreadableCount() {
    test::MailFixture f;
    f.state.settings.DispDiff = 1;
    f.state.LastCheckMail = -32768;  // a stored Mail can be anything
    CheckLog log(f.state, f.clock);
    ReactionDraw draw(f.clock);
    ResultMessages results(f.state, f.shell, draw, log);
    MailCount count(f.state, f.shell, results);
    QCOMPARE(int(count.GetMailCount(QStringLiteral("+OK 10 messages:\r\n.\r\n"))), 0);
    QCOMPARE(f.shell.messages, QStringList{QStringLiteral("Error: 着信件数が取得できませんでした")});
    QCOMPARE(int(f.state.MailTotal), 10);
}

void MailCountTest::reportedCount_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<int>("selector");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("message");
    const QString exist2 = QStringLiteral("お兄ちゃんに、メールは  2通来てるよ");
    QTest::newRow("two new of five") << "+OK 5 messages:\r\n" + QString::fromLatin1(Scan(5)) + ".\r\n" << 1
                                     << QStringLiteral("　新着 2件/全 5件") << 2 << exist2 << false;
    QTest::newRow("all five") << "+OK 5 messages:\r\n" + QString::fromLatin1(Scan(5)) + ".\r\n" << 0
                              << QStringLiteral("　新着 5件/全 5件") << 5
                              << QStringLiteral("お兄ちゃんに、メールは  5通来てるよ") << false;
    QTest::newRow("err in the reply keeps the old total") << QStringLiteral("+OK 9 messages: error\r\n.\r\n") << 0
                                                          << QStringLiteral("　新着 0件/全 3件") << 0
                                                          << test::kNoMailLine << false;
    QTest::newRow("unreadable count") << QStringLiteral("+OK\r\nsomething\r\n.\r\n") << 0
                                      << QStringLiteral("　新着 0件/全 3件") << 0 << test::kNoMailLine << true;
}

void MailCountTest::reportedCount() {
    QFETCH(QString, reply);
    QFETCH(int, mode);
    QFETCH(QString, tip);
    QFETCH(int, selector);
    QFETCH(QString, said);
    QFETCH(bool, message);
    test::MailFixture f;
    f.state.settings.DispDiff = static_cast<qint16>(mode);
    f.state.MailTotal = f.state.LastCheckMail = f.state.StartMail = 3;
    f.shell.menuEnabled = false;
    CheckLog log(f.state, f.clock);
    ReactionDraw draw(f.clock);
    ResultMessages results(f.state, f.shell, draw, log);
    MailCount count(f.state, f.shell, results);
    count.ReportMailCount(reply);
    QCOMPARE(f.shell.tip, tip);
    QCOMPARE(int(f.shell.traySelector), selector);
    QCOMPARE(f.shell.said, said);
    QCOMPARE(f.shell.messages.size(), message ? 1 : 0);
    QVERIFY(f.shell.menuEnabled);
    // The tip is set before the character reacts.
    QVERIFY(f.shell.calls.indexOf(QRegularExpression("tray .*")) < f.shell.calls.indexOf(QRegularExpression("say .*")));
}

QTEST_GUILESS_MAIN(MailCountTest)
#include "tst_mail_count.moc"
