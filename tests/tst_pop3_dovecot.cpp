#include <QtTest>

#include "mail/mail_count.h"
#include "platform/cp932.h"
#include "support/dovecot.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"

using namespace velmio;
using namespace velmio::test;
using Counts = QList<int>;

struct Mailbox {
    QByteArray user, pass;
    int count;  // -1: the login is rejected
    QString said;
    int picture;
};
Q_DECLARE_METATYPE(Mailbox)

// Whole checks against the real Dovecot of the test run, through a relay
// that records what the program sends.
class Pop3DovecotTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        REQUIRE_REAL_PART(Dovecot::Port(), "Dovecot (VELMIO_POP3_PORT)");
    }

    void mailboxes_data() {
        QTest::addColumn<Mailbox>("m");
        QTest::newRow("empty") << Mailbox{"empty", "secret", 0, kNoMailLine, 5};
        QTest::newRow("three") << Mailbox{"alice", "secret", 3, ExistLine(3), 3};
        QTest::newRow("4,000") << Mailbox{"bulk", "secret", 4000, kManyLine, 2};
        QTest::newRow("wrong password") << Mailbox{"alice", "wrong", -1, kWrongLoginLine, 0};
    }

    void mailboxes() {
        QFETCH(Mailbox, m);
        Pop3Tap tap(*Dovecot::Port());
        MailFixture f(tap.port());
        f.state.settings.LoginName = m.user;
        f.state.settings.LoginPass = m.pass;
        QVERIFY(f.run());
        const QByteArray login = "user " + m.user + "\r\npass " + m.pass + "\r\n";
        QCOMPARE(tap.sent, m.count < 0 ? login : login + "List\r\nquit\r\n");
        QCOMPARE(f.shell.said, m.said);
        QCOMPARE(f.shell.picture, m.picture);
        QCOMPARE(int(f.check.PopState()), m.count < 0 ? -1 : 0);
        QVERIFY(f.shell.messages.isEmpty());
        QVERIFY(f.readyAgain());
        const qint16 n = static_cast<qint16>(m.count);
        QCOMPARE(f.shell.tip, n < 0 ? QString() : SummaryText(n, n));
        const QString entry = n == 0 ? QStringLiteral("No Mail") : QString::number(n) + "件";
        QCOMPARE(DecodeCp932(f.log()), n < 0 ? QString() : "2026/01/07\r\n9:05:07: " + entry + "\r\n");
    }

    void displayModesAcrossChecks_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<Counts>("totals");
        QTest::addColumn<Counts>("reported");
        // Mail was 5 at start.
        QTest::newRow("all") << 0 << Counts{5, 7, 3} << Counts{5, 7, 3};
        QTest::newRow("unknown mode is all") << 9 << Counts{4} << Counts{4};
        QTest::newRow("since last check") << 1 << Counts{5, 7, 3, 4} << Counts{0, 2, 0, 4};
        QTest::newRow("since last start") << 2 << Counts{5, 7, 9, 3, 4} << Counts{0, 2, 4, 0, 4};
    }

    void displayModesAcrossChecks() {
        QFETCH(int, mode);
        QFETCH(Counts, totals);
        QFETCH(Counts, reported);
        MailFixture f(*Dovecot::Port());
        f.state.settings.LoginName = QStringLiteral("carol");
        f.state.settings.DispDiff = static_cast<qint16>(mode);
        f.state.MailTotal = f.state.LastCheckMail = f.state.StartMail = 5;
        for (int i = 0; i < totals.size(); ++i) {
            QVERIFY(Dovecot::SetMessageCount(QStringLiteral("carol"), totals[i]));
            QVERIFY(f.run());
            const qint16 n = static_cast<qint16>(reported[i]);
            QCOMPARE(f.shell.tip, SummaryText(n, static_cast<qint16>(totals[i])));
            QCOMPARE(f.shell.said, n == 0 ? kNoMailLine : ExistLine(n));
            QVERIFY(f.readyAgain());
        }
        if (mode == 2) QCOMPARE(int(f.state.LastCheckMail), totals.last());
    }

    void logAcrossDays() {
        MailFixture f(*Dovecot::Port());
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
};

QTEST_GUILESS_MAIN(Pop3DovecotTest)
#include "tst_pop3_dovecot.moc"
