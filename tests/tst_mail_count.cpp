#include <QtTest>

#include "support/mail_fixture.h"

using namespace velmio;
using namespace velmio::test;

// A reply to "List" and what it must show.
struct Report {
    QByteArray reply;
    int mode, lastCheck;
    QString tip;
    int reported;  // the tray's selector and the count said
    bool message = false;
};
Q_DECLARE_METATYPE(Report)

static QByteArray Scan(int n) {
    QByteArray b;
    for (int i = 1; i <= n; ++i) b += QByteArray::number(i) + ' ' + QByteArray::number(500 + i) + "\r\n";
    return b + ".\r\n";
}

class MailCountTest : public QObject {
    Q_OBJECT
private slots:
    void countOfListReply_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("count");  // -1: unreadable
        // The first lines real servers give, each with a listing that
        // disagrees, so the test sees which of the two was used. Servers
        // that give no count are in the scripted sessions.
        QTest::newRow("Dovecot") << "+OK 2 messages:\r\n" + Scan(3) << 2;
        QTest::newRow("Gmail") << "+OK 276 messages (626188523 bytes)\r\n" + Scan(3) << 276;
        QTest::newRow("Exchange") << "+OK 5 525246\r\n" + Scan(3) << 5;
        QTest::newRow("qpopper") << "+OK 2 visible messages (320 octets)\r\n" + Scan(3) << 2;
        QTest::newRow("count alone") << "+OK 7\r\n" + Scan(3) << 7;
        QTest::newRow("GreenMail, empty") << "+OK\r\n" + Scan(0) << 0;
        QTest::newRow("no messages") << "+OK 0 messages:\r\n" + Scan(0) << 0;
        // Far beyond the 255 pieces a split of the whole listing could take.
        QTest::newRow("4,000 listed under a count") << "+OK 4000 messages:\r\n" + Scan(4000) << 4000;
        QTest::newRow("4,000 scan lines") << "+OK\r\n" + Scan(4000) << 4000;
        QTest::newRow("scan lines with more after the size") << QByteArray("+OK\r\n1 20 x\r\n2 30\r\n.\r\n") << 2;
        QTest::newRow("malformed listing") << QByteArray("+OK\r\n1 20\r\nhello\r\n.\r\n") << -1;
        QTest::newRow("negative count") << "+OK -3 messages\r\n" + Scan(0) << -1;
        QTest::newRow("count beyond 16 bits") << "+OK 40000 messages\r\n" + Scan(0) << -1;
        QTest::newRow("scan lines beyond 16 bits") << "+OK\r\n" + Scan(32768) << -1;
    }

    void countOfListReply() {
        QFETCH(QByteArray, reply);
        QFETCH(int, count);
        const auto n = CountFromListReply(QString::fromLatin1(reply));
        QCOMPARE(n ? int(*n) : -1, count);
    }

    void reportedCount_data() {
        QTest::addColumn<Report>("r");
        QTest::newRow("two new of five") << Report{"+OK 5 messages:\r\n" + Scan(5), 1, 3, "　新着 2件/全 5件", 2};
        QTest::newRow("err in the reply keeps the old total")
            << Report{"+OK 9 messages: error\r\n.\r\n", 0, 3, "　新着 0件/全 3件", 0};
        QTest::newRow("unreadable count") << Report{"+OK\r\nsomething\r\n.\r\n", 0, 3, "　新着 0件/全 3件", 0, true};
        // A stored Mail can be anything: the difference does not fit 16 bits.
        QTest::newRow("overflowing difference")
            << Report{"+OK 10 messages:\r\n.\r\n", 1, -32768, "　新着 0件/全 10件", 0, true};
    }

    void reportedCount() {
        QFETCH(Report, r);
        MailFixture f;
        f.state.settings.DispDiff = static_cast<qint16>(r.mode);
        f.state.MailTotal = f.state.StartMail = 3;
        f.state.LastCheckMail = static_cast<qint16>(r.lastCheck);
        f.shell.menuEnabled = false;
        f.count.ReportMailCount(QString::fromLatin1(r.reply));
        QCOMPARE(f.shell.tip, r.tip);
        QCOMPARE(int(f.shell.traySelector), r.reported);
        QCOMPARE(f.shell.said, r.reported ? ExistLine(r.reported) : kNoMailLine);
        QCOMPARE(f.shell.messages, r.message ? QStringList{"Error: 着信件数が取得できませんでした"} : QStringList{});
        QVERIFY(f.shell.menuEnabled);
        // The tip is set before the character reacts.
        const QStringList& calls = f.shell.calls;
        QVERIFY(calls.indexOf(QRegularExpression("tray .*")) < calls.indexOf(QRegularExpression("say .*")));
    }
};

QTEST_GUILESS_MAIN(MailCountTest)
#include "tst_mail_count.moc"
