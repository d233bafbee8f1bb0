#include <QtTest>

#include "mail/imap/imap_watch.h"
#include "platform/cp932.h"
#include "support/mail_fixture.h"
#include "support/scripted_server.h"

using namespace velmio;
using namespace velmio::test;
using Script = QList<ScriptedTurn>;

namespace {

const QByteArray kHello = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR IDLE] ready\r\n";
const QByteArray kPlain = "a1 AUTHENTICATE PLAIN " + QByteArray("\0alice\0secret", 13).toBase64() + "\r\n";
const QByteArray kStatus = "a2 STATUS INBOX (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)\r\n";
const QByteArray kLoggedIn = "a1 OK [CAPABILITY IMAP4rev1 IDLE] in\r\n";
const QByteArray kCounted = "* STATUS INBOX (MESSAGES 5 UNSEEN 3 UIDNEXT 6 UIDVALIDITY 17)\r\na2 OK done\r\n";
const QByteArray kBye = "* BYE bye\r\na3 OK done\r\n";

// One check against the scripted server and how it must end.
struct Session {
    Script script;
    QString said;
    int picture;
    QList<QByteArray> sent;  // every line the client sends, in order
    QStringList log;
    int security = 0;
    QString login = QStringLiteral("alice"), password = QStringLiteral("secret");
    int cut = -1;
    bool senders = false;  // ShowSender
};

}  // namespace

Q_DECLARE_METATYPE(Session)

// What no real server of the tests does: literals cut anywhere, refusals of
// STARTTLS, BYE in mid-session, replies that cannot be read.
class ImapScriptedTest : public QObject {
    Q_OBJECT
private slots:
    void sessions_data() {
        QTest::addColumn<Session>("s");
        const QList<QByteArray> whole{kPlain, kStatus, "a3 LOGOUT\r\n"};
        const Session normal{
            {{kHello}, {kLoggedIn}, {kCounted}, {kBye, ScriptedTurn::Close}}, ExistLine(3), 3, whole, {"3件"}};
        QTest::newRow("plain") << normal;
        Session closes = normal;
        closes.script.last() = {"* BYE bye\r\n", ScriptedTurn::Close};
        QTest::newRow("closed after BYE, before the tagged answer") << closes;
        // The mailbox name as a literal, its marker and bytes cut anywhere.
        Session literal = normal;
        literal.script[2].reply =
            "* STATUS {5}\r\nINBOX (MESSAGES 5 UNSEEN 3 UIDNEXT 6 UIDVALIDITY 17)\r\na2 OK done\r\n";
        for (literal.cut = 0; literal.cut < literal.script[2].reply.size(); ++literal.cut)
            QTest::addRow("literal cut at %d", literal.cut) << literal;  // 0: one byte per read

        const QByteArray starttls = "* OK [CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN] ready\r\n";
        QTest::newRow("NO to STARTTLS") << Session{{{starttls}, {"a1 NO not now\r\n"}},
                                                   "暗号化できないサーバーみたい…",
                                                   4,
                                                   {"a1 STARTTLS\r\n"},
                                                   {"STARTTLS Error: NO not now"},
                                                   1};
        // The server's trouble, not the password's: a failed check, said so.
        QTest::newRow("login unavailable for now")
            << Session{{{kHello}, {"a1 NO [UNAVAILABLE] back soon\r\n"}},
                       "今はログインできないみたい…あとでね", 4, {kPlain}, {"Login Error: NO back soon"}};
        QTest::newRow("LOGINDISABLED on a plain link")
            << Session{{{"* OK [CAPABILITY IMAP4rev1 LOGINDISABLED STARTTLS] ready\r\n"}},
                       "暗号化しないとログインできないサーバーみたい…",
                       4,
                       {},
                       {"IMAP Error: *"}};
        QTest::newRow("NO to the login") << Session{
            {{kHello}, {"a1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"}}, kWrongLoginLine, 0, {kPlain}};
        // Without AUTH=PLAIN: LOGIN, quoted where it can be, a literal where not.
        Session login{{{"* OK [CAPABILITY IMAP4rev1] ready\r\n"}, {"+ go\r\n"}, {kLoggedIn}, {kCounted}, {kBye}},
                      ExistLine(3),
                      3,
                      {"a1 LOGIN \"al\\\"i\\\\ce\" {7}\r\n", "p\xc3\xa4sswd\r\n", kStatus, "a3 LOGOUT\r\n"},
                      {"3件"}};
        login.login = "al\"i\\ce";
        login.password = QStringLiteral("pässwd");
        QTest::newRow("LOGIN with a quoted name and a literal password") << login;
        // Who wrote: read without marking anything read; a refusal leaves them out.
        Session peek{{{kHello}, {kLoggedIn}, {kCounted}, {"* OK [UIDVALIDITY 17] ok\r\na3 OK [READ-ONLY] in\r\n"},
                      {"* SEARCH 3 5 4\r\na4 OK done\r\n"}, {"a5 NO not now\r\n"}, {"* BYE bye\r\na6 OK done\r\n"}},
                     ExistLine(3), 3,
                     {kPlain, kStatus, "a3 EXAMINE INBOX\r\n", "a4 UID SEARCH UNSEEN\r\n",
                      "a5 UID FETCH 5,4,3 (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT)])\r\n", "a6 LOGOUT\r\n"},
                     {"3件"}};
        peek.senders = true;
        QTest::newRow("headers refused, the count stands") << peek;
        QTest::newRow("BYE mid-session") << Session{
            {{kHello}, {kLoggedIn}, {"* BYE shutting down\r\n", ScriptedTurn::Close}},
            kArrivalLine,
            4,
            whole.mid(0, 2),
            {"Arrival Error"}};
        QTest::newRow("reply that cannot be read")
            << Session{{{kHello}, {kLoggedIn}, {"* STATUS INBOX (MESSAGES 5 UNSEEN 3\r\na2 OK done\r\n"}},
                       kArrivalLine,
                       4,
                       whole.mid(0, 2),
                       {"Arrival Error"}};
        QTest::newRow("NO to STATUS") << Session{{{kHello}, {kLoggedIn}, {"a2 NO no such mailbox\r\n"}},
                                                 kArrivalLine,
                                                 4,
                                                 whole.mid(0, 2),
                                                 {"Arrival Error"}};
        QTest::newRow("endless line") << Session{
            {{"* OK " + QByteArray(4200 * 1024, 'x')}}, kArrivalLine, 4, {}, {"Arrival Error"}};
    }

    void sessions() {
        QFETCH(Session, s);
        ScriptedServer server(s.script);
        server.setCut(s.cut);
        MailFixture f(server.port());
        AppSettings& set = f.state.settings;
        set.Protocol = kImap;
        set.Security = qint16(s.security);
        set.LoginName = s.login;
        set.LoginPass = s.password;
        set.ShowSender = s.senders;
        QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, s.said);
        QCOMPARE(f.shell.picture, s.picture);
        QVERIFY2(f.shell.messages.isEmpty(), qPrintable(f.shell.messages.join(" | ")));
        QCOMPARE(server.lines(), s.sent);
        QString log = DecodeCp932(f.log());
        for (const QString& entry : s.log)
            QVERIFY2(log.contains(entry.endsWith('*') ? entry.chopped(1) : entry), qPrintable(log));
        QVERIFY(!log.contains("secret"));
        QVERIFY(f.readyAgain());
        QVERIFY(!f.check.CheckRunning());
        QTest::qWait(50);
        QCOMPARE(ended.count(), 1);
    }

    // The watch's pause before its next try: doubling, never past the most.
    void pausesGrow_data() {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("pause");
        for (const auto& [failures, pause] : {std::pair{1, 2000}, {2, 4000}, {5, 32000}, {9, 512000}, {10, 900000},
                                               {1000, 900000}})
            QTest::addRow("%d", failures) << failures << pause;
    }
    void pausesGrow() {
        QFETCH(int, failures);
        QFETCH(int, pause);
        QCOMPARE(ImapWatch::PauseAfter(failures, 2000, 15 * 60 * 1000), pause);
    }
};

QTEST_GUILESS_MAIN(ImapScriptedTest)
#include "tst_imap_scripted.moc"
