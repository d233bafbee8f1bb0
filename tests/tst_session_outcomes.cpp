#include <QtTest>

#include "mail/imap/imap_session.h"
#include "mail/pop3/pop3_session.h"
#include "support/scripted_server.h"

using namespace velmio;
using namespace velmio::test;
using K = SessionOutcome::Kind;

namespace {

struct Row {
    bool imap;
    QList<ScriptedTurn> script;
    QList<QByteArray> sent;  // the lines the session sent
    K kind;
    QString detail = {};  // how the outcome tells the log what happened; empty: anything
    int security = 0;
};

}  // namespace

Q_DECLARE_METATYPE(Row)

// Each session by itself against a scripted server: what it sends, and the
// one outcome its run ends in.
class SessionOutcomesTest : public QObject {
    Q_OBJECT
private slots:
    void outcomes_data() {
        QTest::addColumn<Row>("r");
        const QByteArray ok = "+OK\r\n", hi = "+OK ready\r\n";
        const QList<QByteArray> pop3{"user alice", "pass secret", "List", "quit"};
        QTest::newRow("POP3 logged out") << Row{false, {{hi}, {ok}, {ok}, {"+OK 0 messages:\r\n.\r\n"}, {ok}}, pop3, K::Finished};
        QTest::newRow("POP3 wrong password")
            << Row{false, {{hi}, {ok}, {"-ERR [AUTH] Authentication failed.\r\n"}}, pop3.mid(0, 2), K::LoginRefused};
        QTest::newRow("POP3 error greeting") << Row{false, {{"-ERR busy\r\n"}}, {}, K::ServerRefused};
        QTest::newRow("POP3 STLS refused")
            << Row{false, {{hi}, {"-ERR no\r\n"}}, {"STLS"}, K::Unsafe, "STLS Error: -ERR no", 1};
        const QByteArray greeting = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] ready\r\n";
        const QByteArray login = "a1 AUTHENTICATE PLAIN AGFsaWNlAHNlY3JldA==";
        QTest::newRow("IMAP logged out")
            << Row{true,
                   {{greeting}, {"a1 OK in\r\n"}, {"* STATUS INBOX (MESSAGES 2 UNSEEN 1)\r\na2 OK\r\n"}, {"* BYE\r\na3 OK\r\n"}},
                   {login, "a2 STATUS INBOX (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)", "a3 LOGOUT"}, K::Finished};
        QTest::newRow("IMAP wrong password")
            << Row{true, {{greeting}, {"a1 NO [AUTHENTICATIONFAILED] no\r\n"}}, {login}, K::LoginRefused};
        QTest::newRow("IMAP BYE in the middle")
            << Row{true, {{greeting}, {"* BYE going\r\n"}}, {login}, K::Broken, "the server ended the session"};
        QTest::newRow("IMAP logins only encrypted")
            << Row{true, {{"* OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready\r\n"}}, {}, K::Unsafe,
                   "IMAP Error: the server takes no login on a plain link"};
        QTest::newRow("IMAP closed port") << Row{true, {}, {}, K::Failed, "Connection refused"};
    }
    void outcomes() {
        QFETCH(Row, r);
        ScriptedServer server(r.script);
        std::unique_ptr<MailSession> session;
        if (r.imap) session = std::make_unique<ImapSession>();
        else session = std::make_unique<Pop3Session>();
        session->SetReplyTimeout(3000);
        Account a;
        a.protocol = r.imap ? Account::Protocol::Imap : Account::Protocol::Pop3;
        a.server = QStringLiteral("127.0.0.1");
        a.port = r.detail == "Connection refused" ? ScriptedServer::ClosedPort() : server.port();
        a.security = qint16(r.security);
        a.login = QStringLiteral("alice");
        a.password = QStringLiteral("secret");
        QObject::connect(session.get(), &MailSession::Counted, session.get(), [&] { session->Finish(); });
        QSignalSpy ended(session.get(), &MailSession::Ended);
        session->Start(a, false);
        QVERIFY(ended.wait(5000));
        const auto o = ended.first().first().value<SessionOutcome>();
        QCOMPARE(int(o.kind), int(r.kind));
        if (!r.detail.isEmpty()) QCOMPARE(o.detail, r.detail);
        QList<QByteArray> sent;
        for (const QByteArray& line : server.lines()) sent << line.trimmed();
        QCOMPARE(sent, r.sent);
        QTest::qWait(50);
        QCOMPARE(ended.count(), 1);
    }
};

QTEST_GUILESS_MAIN(SessionOutcomesTest)
#include "tst_session_outcomes.moc"
