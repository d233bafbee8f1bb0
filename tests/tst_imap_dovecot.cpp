#include <QtTest>

#include "app/inbox_push.h"
#include "mail/imap/imap_watch.h"
#include "support/dovecot.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"

using namespace velmio;
using namespace velmio::test;

namespace {

// A check of the given user over IMAP, with the watch beside it.
struct ImapFixture : MailFixture {
    InboxPush push{state, clock, check, [this](int index) { check.ExecuteMailCheck(false, index); }};

    ImapFixture(const char* portVariable, const QString& user) : MailFixture(Dovecot::Port(portVariable).value_or(1)) {
        state.settings.Protocol = kImap;
        state.settings.LoginName = user;
        check.SetTrustStore(Dovecot::Authority());
        push.watch().SetTrustStore(Dovecot::Authority());
        push.watch().SetPauses(100, 1000);
    }
};

}  // namespace

// The real dialogue with Dovecot on the same maildirs as POP3.
class ImapDovecotTest : public QObject {
    Q_OBJECT
private slots:
    void init() { REQUIRE_REAL_PART(Dovecot::Port("VELMIO_IMAP_PORT"), "Dovecot (IMAP)"); }

    void checks_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<int>("security");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("said");
        QTest::newRow("plain") << QByteArray("VELMIO_IMAP_PORT") << 0 << "secret" << ExistLine(3);
        QTest::newRow("STARTTLS") << QByteArray("VELMIO_IMAP_PORT") << 1 << "secret" << ExistLine(3);
        QTest::newRow("IMAPS") << QByteArray("VELMIO_IMAPS_PORT") << 2 << "secret" << ExistLine(3);
        QTest::newRow("wrong password") << QByteArray("VELMIO_IMAP_PORT") << 0 << "nope" << kWrongLoginLine;
    }

    // Unread of five, two already read; who wrote; and not one flag changed.
    void checks() {
        QFETCH(QByteArray, port);
        QFETCH(int, security);
        QFETCH(QString, password);
        QFETCH(QString, said);
        const QStringList files = Dovecot::MessageFiles("mixed");
        ImapFixture f(port.constData(), "mixed");
        f.state.settings.Security = qint16(security);
        f.state.settings.LoginPass = password;
        f.state.settings.ShowSender = true;
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, said);
        QVERIFY2(f.shell.messages.isEmpty(), qPrintable(f.shell.messages.join(" | ")));
        QCOMPARE(f.shell.senders.size(), password == "secret" ? 3 : 0);
        if (password == "secret") QCOMPARE(f.shell.tip, SummaryText(3, 3));
        QCOMPARE(Dovecot::MessageFiles("mixed"), files);
        QVERIFY(f.readyAgain());
    }

    // Told once by UID; a delivery is the only news next time.
    void notYetTold() {
        QVERIFY(Dovecot::SetMessageCount("carol", 2));
        ImapFixture f("VELMIO_IMAP_PORT", "carol");
        f.state.settings.DispDiff = kNotYetTold;
        for (const int expected : {2, 0, 1}) {
            if (expected == 1) QVERIFY(Dovecot::Deliver("carol", "Ann <ann@example.org>", "hello"));
            QVERIFY(f.run());
            QCOMPARE(f.shell.said, expected ? ExistLine(expected) : kNoMailLine);
        }
    }

    // More unread mail than one response may hold values, told by mode.
    void bigInbox() {
        QVERIFY(Dovecot::SetMailbox("carol", 70000, 0));
        for (const qint16 mode : {qint16(0), kNotYetTold}) {
            ImapFixture f("VELMIO_IMAP_PORT", "carol");
            f.state.settings.DispDiff = mode;
            f.state.settings.ShowSender = true;
            QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
            f.check.ExecuteMailCheck();
            QVERIFY(ended.wait(240000));
            QCOMPARE(f.shell.said, kManyLine);
            QCOMPARE(f.shell.senders.size(), 4);  // three and "ほか"
            QVERIFY2(f.shell.messages.isEmpty(), qPrintable(f.shell.messages.join(" | ")));
        }
        QVERIFY(Dovecot::SetMessageCount("carol", 0));
    }

    // With automatic checks on, a delivery is announced with no timer tick,
    // also after Dovecot has gone and come back.
    void idleAnnouncesDeliveries() {
        QVERIFY(Dovecot::SetMessageCount("carol", 0));
        ImapFixture f("VELMIO_IMAP_PORT", "carol");
        QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
        f.push.watch().SetRenewInterval(300);  // many renewals meanwhile
        f.push.Follow();
        QTRY_VERIFY(f.push.watch().Idling());
        QVERIFY(Dovecot::Deliver("carol", "Ann <ann@example.org>", "one"));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 5000);
        QCOMPARE(f.shell.said, ExistLine(1));

        QVERIFY(Dovecot::Stop());
        QTRY_VERIFY(!f.push.watch().Idling());
        QVERIFY(Dovecot::Start());
        QTRY_VERIFY_WITH_TIMEOUT(f.push.watch().Idling(), 10000);
        QTRY_COMPARE(ended.count(), 2);  // back: what came meanwhile is counted
        QVERIFY(Dovecot::Deliver("carol", "Bob <bob@example.org>", "two"));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 3, 5000);
        QCOMPARE(f.shell.said, ExistLine(2));
        QVERIFY(f.shell.messages.isEmpty());
    }

    // Outside the flat-rate hours no connection is open; a wrong password
    // is tried once, told once, and not again until the settings change.
    void watchHolds() {
        ImapFixture f("VELMIO_IMAP_PORT", "carol");
        f.state.settings.TelHodai = true;
        for (const int hour : {12, 23, 9}) {
            f.clock.set(QDateTime(QDate(2026, 1, 7), QTime(hour, 30)));
            f.push.Follow();
            if (hour == 23) QTRY_VERIFY(f.push.watch().Idling());
            QCOMPARE(f.push.watch().ConnectionOpen(), hour == 23);
        }
        // Stopped, nothing of the old link follows: no renewal, no "back again".
        f.state.settings.TelHodai = false;
        f.push.watch().SetRenewInterval(100);
        f.push.Follow();
        QTRY_VERIFY(f.push.watch().Idling());
        f.push.Stop();
        QTest::qWait(300);
        QSignalSpy resumed(&f.push.watch(), &ImapWatch::Resumed);
        f.push.Follow();
        QTRY_VERIFY(f.push.watch().Idling());
        QCOMPARE(resumed.count(), 0);
        f.push.Stop();
        f.state.settings.LoginPass = "nope";
        QSignalSpy refused(&f.push.watch(), &ImapWatch::LoginRefused);
        f.push.Follow();
        QTRY_COMPARE(f.shell.said, kWrongLoginLine);
        QTest::qWait(1500);
        f.push.Follow();
        QCOMPARE(refused.count(), 1);
        QVERIFY(!f.push.watch().ConnectionOpen());
    }
};

QTEST_GUILESS_MAIN(ImapDovecotTest)
#include "tst_imap_dovecot.moc"
