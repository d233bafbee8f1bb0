#include <QtTest>

#include "app/inbox_push.h"
#include "mail/imap/imap_watch.h"
#include "platform/cp932.h"
#include "support/dovecot.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"
#include "support/scripted_server.h"

using namespace velmio;
using namespace velmio::test;

namespace {

// An account on the test Dovecot: "pop3s", "imap" or "imaps", its user and password.
AccountSettings On(const char* how, const QString& user, const QString& password, const QString& name) {
    AccountSettings a;
    const QByteArray kind(how);
    a.Protocol = kind.startsWith("imap") ? kImap : kPop3;
    a.Security = kind.endsWith('s') ? 2 : 0;
    const QByteArray variable = "VELMIO_" + kind.toUpper() + "_PORT";
    a.Port = static_cast<qint16>(Dovecot::Port(variable.constData()).value_or(1));
    a.Server = QStringLiteral("127.0.0.1");
    a.LoginName = user;
    a.LoginPass = password;
    a.AccountName = name;
    a.Section = 0;
    return a;
}

struct Accounts : MailFixture {
    InboxPush push{state, clock, check, [this](int index) { check.ExecuteMailCheck(false, index); }};
    explicit Accounts(const QList<AccountSettings>& accounts) {
        static_cast<AccountSettings&>(state.settings) = accounts.first();
        state.settings.Section = 1;
        state.settings.MoreAccounts = accounts.mid(1);
        check.SetTrustStore(Dovecot::Authority());
        state.settings.AutoCheck = false;
        push.Follow();  // a watch per account, none watching yet
        for (int i = 0; i < accounts.size(); ++i) {
            push.watch(i).SetTrustStore(Dovecot::Authority());
            push.watch(i).SetPauses(100, 1000);
        }
    }
    QStringList logEntries() const {
        QStringList entries;
        for (const QString& line : DecodeCp932(log()).split("\r\n").mid(1))
            if (!line.isEmpty()) entries << line.section(": ", 1);
        return entries;
    }
};

}  // namespace

// Several accounts on Dovecot, checked at once and told apart.
class AccountsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { REQUIRE_REAL_PART(Dovecot::Port("VELMIO_IMAP_PORT"), "Dovecot"); }

    void check_data() {
        QTest::addColumn<QList<AccountSettings>>("accounts");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<QStringList>("logged");
        const QString wrong = kWrongLoginLine;
        QTest::newRow("two good, one wrong password")
            << QList<AccountSettings>{On("pop3s", "alice", "secret", "仕事"), On("imap", "mixed", "secret", "Gmail"),
                                      On("imap", "carol", "nope", "古い")}
            << ExistLine(6)
            << QStringList{"仕事: *", "Gmail: *", "仕事: *", "ほか 3通", "古い: " + wrong}
            << QStringList{"仕事: 3件", "Gmail: 3件", "古い: " + wrong};
        AccountSettings closed = On("imap", "mixed", "secret", "B");
        closed.Port = static_cast<qint16>(ScriptedServer::ClosedPort());
        QTest::newRow("every one fails: the first failure, then the others")
            << QList<AccountSettings>{On("imap", "mixed", "nope", "A"), closed} << "B: " + kFailedLine
            << QStringList{"A: " + wrong}
            << QStringList{"A: " + wrong, "B: Winsock ErrCd:10061 ErrMes:Connection refused"};
        AccountSettings off = On("imap", "mixed", "secret", "休み");
        off.Enabled = false;
        off.Port = 1;  // never tried: a try would fail
        QTest::newRow("a disabled account, and one left")
            << QList<AccountSettings>{On("imap", "mixed", "secret", QString()), off} << ExistLine(3)
            << QStringList{"*", "*", "*"} << QStringList{"3件"};
    }
    void check() {
        QFETCH(QList<AccountSettings>, accounts);
        QFETCH(QString, said);
        QFETCH(QStringList, told);
        QFETCH(QStringList, logged);
        QVERIFY(Dovecot::SetMessageCount("alice", 3));
        const QStringList files = Dovecot::MessageFiles("mixed");
        Accounts f(accounts);
        f.state.settings.ShowSender = true;
        QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
        f.check.ExecuteMailCheck(false);  // a timed check: no box
        QVERIFY(ended.wait(15000));
        QCOMPARE(f.shell.said, said);
        QCOMPARE(f.shell.senders.size(), told.size());
        for (int i = 0; i < told.size(); ++i)  // "*": any sender line
            QVERIFY2(told[i].endsWith('*') ? f.shell.senders[i].startsWith(told[i].chopped(1)) : f.shell.senders[i] == told[i],
                     qPrintable(f.shell.senders.join(" | ")));
        QCOMPARE(f.logEntries(), logged);
        QVERIFY2(f.shell.messages.isEmpty(), qPrintable(f.shell.messages.join(" | ")));
        QCOMPARE(Dovecot::MessageFiles("mixed"), files);
        QVERIFY(f.readyAgain());
    }

    // A delivery into the second account is a check of it alone, named; the
    // first account's watch stays as it was.
    void deliveryNamesTheAccount() {
        QVERIFY(Dovecot::SetMessageCount("carol", 0));
        Accounts f({On("imap", "mixed", "secret", "仕事"), On("imap", "carol", "secret", "家")});
        f.state.settings.AutoCheck = true;
        f.state.settings.ShowSender = true;
        f.push.Follow();
        QTRY_VERIFY(f.push.watch(0).Idling() && f.push.watch(1).Idling());
        QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
        QVERIFY(Dovecot::Deliver("carol", "Ann <ann@example.org>", "hello"));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 5000);
        QCOMPARE(f.shell.said, ExistLine(1));
        QCOMPARE(f.shell.senders, QStringList{"家: Annさん「hello」"});
        QVERIFY(f.push.watch(0).Idling());
        // Down and back: the first good check opens the waiting watch at once.
        f.push.watch(1).SetPauses(60000, 60000);
        QVERIFY(Dovecot::Stop());
        QTRY_VERIFY(!f.push.watch(1).Idling());
        QVERIFY(Dovecot::Start());
        f.check.ExecuteMailCheck(false, 1);
        QTRY_VERIFY_WITH_TIMEOUT(f.push.watch(1).Idling(), 5000);
    }
};

QTEST_GUILESS_MAIN(AccountsTest)
#include "tst_accounts.moc"
