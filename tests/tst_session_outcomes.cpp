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
    int security = 0;     // 2: the server speaks TLS
    bool token = false;   // the password is the token T0KEN
};

// Raw SASL bytes in an expected line, base64-encoded there once "%p" in
// them is the server's port.
QByteArray B64(const QByteArray& raw) { return '\2' + raw + '\3'; }

QByteArray Expand(QByteArray line, quint16 port) {
    const qsizetype from = line.indexOf('\2'), to = line.indexOf('\3');
    if (from < 0 || to < from) return line;
    const QByteArray raw = line.mid(from + 1, to - from - 1).replace("%p", QByteArray::number(port));
    return line.left(from) + raw.toBase64() + line.mid(to + 1);
}

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

        // Tokens.
        const QByteArray xoauth2 = "user=alice\1auth=Bearer T0KEN\1\1";
        const QByteArray bearer = "n,a=alice,\1host=127.0.0.1\1port=%p\1auth=Bearer T0KEN\1\1";
        const QByteArray tokenError = "+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=\r\n";  // {"status":"401",...}
        const QByteArray both = "* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2 AUTH=OAUTHBEARER] hi\r\n";
        const QList<ScriptedTurn> counted{{"* STATUS INBOX (MESSAGES 2 UNSEEN 1)\r\na2 OK\r\n"}, {"* BYE\r\na3 OK\r\n"}};
        const QList<QByteArray> count{"a2 STATUS INBOX (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)", "a3 LOGOUT"};
        QTest::newRow("IMAP XOAUTH2 inline")
            << Row{true, QList<ScriptedTurn>{{both}, {"a1 OK\r\n"}} + counted,
                   QList<QByteArray>{"a1 AUTHENTICATE XOAUTH2 " + B64(xoauth2)} + count, K::Finished, {}, 2, true};
        QTest::newRow("IMAP OAUTHBEARER after the +")
            << Row{true,
                   {{"* OK hi\r\n"}, {"* CAPABILITY IMAP4rev1 AUTH=PLAIN AUTH=OAUTHBEARER\r\na1 OK\r\n"}, {"+\r\n"},
                    {"a2 OK\r\n"}, {"* STATUS INBOX (MESSAGES 2 UNSEEN 1)\r\na3 OK\r\n"}, {"* BYE\r\na4 OK\r\n"}},
                   {"a1 CAPABILITY", "a2 AUTHENTICATE OAUTHBEARER", B64(bearer),
                    "a3 STATUS INBOX (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)", "a4 LOGOUT"},
                   K::Finished, {}, 2, true};
        QTest::newRow("IMAP XOAUTH2 refused")
            << Row{true, {{both}, {tokenError}, {"a1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"}},
                   {"a1 AUTHENTICATE XOAUTH2 " + B64(xoauth2), ""}, K::LoginRefused,
                   "NO Authentication failed. (401)", 2, true};
        QTest::newRow("IMAP OAUTHBEARER expired")
            << Row{true,
                   {{"* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=OAUTHBEARER] hi\r\n"}, {tokenError}, {"a1 NO [EXPIRED] old\r\n"}},
                   {"a1 AUTHENTICATE OAUTHBEARER " + B64(bearer), "AQ=="}, K::LoginRefused, "NO old (401)", 2, true};
        QTest::newRow("IMAP token for now unavailable")
            << Row{true, {{both}, {"a1 NO [UNAVAILABLE] later\r\n"}}, {"a1 AUTHENTICATE XOAUTH2 " + B64(xoauth2)},
                   K::ServerRefused, "NO later", 2, true};
        QTest::newRow("IMAP token on a plain link")
            << Row{true, {{both}}, {}, K::Unsafe, "IMAP Error: a token is sent on an encrypted link only", 0, true};
        const QByteArray capa = "+OK\r\nUSER\r\nSASL PLAIN XOAUTH2 OAUTHBEARER\r\n.\r\n";
        QTest::newRow("POP3 XOAUTH2 in two steps")
            << Row{false, {{hi}, {capa}, {"+ \r\n"}, {"+OK in\r\n"}, {"+OK 0 messages:\r\n.\r\n"}, {ok}},
                   {"CAPA", "AUTH XOAUTH2", B64(xoauth2), "List", "quit"}, K::Finished, {}, 2, true};
        QTest::newRow("POP3 OAUTHBEARER refused")
            << Row{false,
                   {{hi}, {"+OK\r\nSASL OAUTHBEARER\r\n.\r\n"}, {"+ \r\n"}, {tokenError},
                    {"-ERR [AUTH] Authentication failed.\r\n"}},
                   {"CAPA", "AUTH OAUTHBEARER", B64(bearer), "AQ=="}, K::LoginRefused,
                   "-ERR [AUTH] Authentication failed. (401)", 2, true};
        QTest::newRow("POP3 token without CAPA, for now unavailable")
            << Row{false, {{hi}, {"-ERR what\r\n"}, {"+ \r\n"}, {"-ERR [SYS/TEMP] later\r\n"}},
                   {"CAPA", "AUTH XOAUTH2", B64(xoauth2)}, K::ServerRefused, "-ERR [SYS/TEMP] later", 2, true};
        QTest::newRow("POP3 token on a plain link")
            << Row{false, {{hi}}, {}, K::Unsafe, "POP3 Error: a token is sent on an encrypted link only", 0, true};
        QTest::newRow("POP3 password for now unavailable")
            << Row{false, {{hi}, {ok}, {"-ERR [SYS/TEMP] later\r\n"}}, pop3.mid(0, 2), K::ServerRefused,
                   "-ERR [SYS/TEMP] later"};
    }
    void outcomes() {
        QFETCH(Row, r);
        ScriptedServer server(r.script);
        server.setTls(r.security == 2);
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
        a.password = r.token ? QStringLiteral("T0KEN") : QStringLiteral("secret");
        a.token = r.token;
        a.pin = QString::fromLatin1(ScriptedServer::Certificate().digest(QCryptographicHash::Sha256).toHex());
        QObject::connect(session.get(), &MailSession::Counted, session.get(), [&] { session->Finish(); });
        QSignalSpy ended(session.get(), &MailSession::Ended);
        session->Start(a, false);
        QVERIFY(ended.wait(5000));
        const auto o = ended.first().first().value<SessionOutcome>();
        QCOMPARE(int(o.kind), int(r.kind));
        if (!r.detail.isEmpty()) QCOMPARE(o.detail, r.detail);
        QList<QByteArray> sent, expected;
        for (const QByteArray& line : server.lines()) sent << line.trimmed();
        for (const QByteArray& line : r.sent) expected << Expand(line, server.port());
        QCOMPARE(sent, expected);
        QTest::qWait(50);
        QCOMPARE(ended.count(), 1);
    }
};

QTEST_GUILESS_MAIN(SessionOutcomesTest)
#include "tst_session_outcomes.moc"
