#include <QtTest>

#include "mail/mail_count.h"
#include "platform/cp932.h"
#include "platform/qt_translations.h"
#include "support/fd_capture.h"
#include "support/mail_fixture.h"
#include "support/scripted_server.h"

using namespace velmio;
using namespace velmio::test;
using Script = QList<ScriptedTurn>;

namespace {

const QList<QByteArray> kCommands{"user alice\r\n", "pass secret\r\n", "List\r\n", "quit\r\n"};

// Matches text against a pattern that may end in "*" (any rest).
bool Like(const QString& text, const QString& pattern) {
    return pattern.endsWith('*') ? text.startsWith(pattern.chopped(1)) : text == pattern;
}

// The log's entries without their time; the header must be today's date.
QStringList LogEntries(const MailFixture& f) {
    const QString log = DecodeCp932(f.log());
    if (log.isEmpty()) return {};
    QStringList lines = log.split("\r\n");
    if (lines.takeFirst() != "2026/01/07" || lines.takeLast() != "") return {"bad log: " + log};
    for (QString& l : lines) l = l.section(": ", 1);
    return lines;
}

// Servers the tests cannot run, as they greet, reject a wrong password and
// begin the reply to LIST ("%1": the count).
struct Server {
    const char* name;
    QByteArray greeting, wrongPassword, listFirstLine;
    int count;
    bool closesAfterRejecting = false;
};
const Server kServers[] = {
    {"Dovecot 2.3", "+OK Dovecot (Debian) ready.\r\n", "-ERR [AUTH] Authentication failed.\r\n", "+OK %1 messages:", 2},
    {"Gmail", "+OK Gpop ready for requests from 192.0.2.1 a1mb\r\n",
     "-ERR [AUTH] Username and password not accepted.\r\n", "+OK %1 messages (626188523 bytes)", 276},
    {"Exchange", "+OK The Microsoft Exchange POP3 service is ready.\r\n",
     "-ERR Logon failure: unknown user name or bad password.\r\n", "+OK %1 525246", 5},
    {"Cyrus", "+OK mail.example.org Cyrus POP3 v2.4.17 server ready\r\n", "-ERR [AUTH] Invalid login\r\n",
     "+OK scan listing follows", 4},
    {"Courier", "+OK Hello there.\r\n", "-ERR Login failed.\r\n",
     "+OK POP3 clients that break here, they violate STD53.", 6},
    {"qpopper", "+OK Qpopper (version 4.1.0) at h starting.\r\n",
     "-ERR [AUTH] Password supplied for \"u\" is incorrect.\r\n+OK Pop server at h signing off.\r\n",
     "+OK %1 visible messages (320 octets)", 2, true},
    {"UW ipop3d", "+OK POP3 h v2007f.104 server ready\r\n", "-ERR Bad login\r\n", "+OK Mailbox scan listing follows",
     1},
    {"GreenMail", "+OK POP3 GreenMail Server v1.6 ready\r\n", "-ERR Authentication failed: Invalid password\r\n", "+OK",
     2},
};

// One session against the scripted server and how it must end. Patterns
// may end in "*".
struct Session {
    enum Where { Scripted, RefusedPort, UnknownHost, NoReactionTable };
    Script script;
    QString said;
    int picture;
    int popState;
    int sent;           // how many of kCommands reach the server; -1: 3 or 4
    QString message;    // the one message box; empty: none
    QStringList log;    // the entries written
    QString tip;
    Where where = Scripted;
    int sound = -1;     // an event sound among the calls
    int cut = -1;       // ScriptedServer::setCut
};

}  // namespace

Q_DECLARE_METATYPE(Session)

// Whole checks against a scripted server: the texts of servers the tests
// cannot run, and every way a session can go wrong.
class Pop3ScriptedTest : public QObject {
    Q_OBJECT
private slots:
    void sessions_data() {
        QTest::addColumn<Session>("s");
        for (const Server& v : kServers) {
            const bool many = v.count > ResultMessages::kManyMails;
            QTest::newRow(v.name) << Session{NormalTranscript(v.listFirstLine, v.count, v.greeting),
                                             many ? kManyLine : ExistLine(v.count), many ? 2 : 3, 0, 4, {},
                                             {QString::number(v.count) + "件"}, SummaryText(v.count, v.count)};
            // Any "-ERR" answering "pass" is a rejected login, which is not logged.
            const ScriptedTurn rejection{v.wrongPassword, v.closesAfterRejecting ? ScriptedTurn::Close : ScriptedTurn::Stay};
            QTest::addRow("%s, wrong password", v.name)
                << Session{{{v.greeting}, {"+OK\r\n"}, rejection}, kWrongLoginLine, 0, -1, 2, {}, {}, {},
                           Session::Scripted, 5};
        }
        Session cutUp{NormalTranscript("+OK %1 messages:", 3), ExistLine(3), 3, 0, 4, {}, {"3件"}, SummaryText(3, 3)};
        for (cutUp.cut = 0; cutUp.cut < cutUp.script[3].reply.size(); ++cutUp.cut)
            QTest::addRow("every reply cut at %d", cutUp.cut) << cutUp;  // 0: one byte per read

        const QByteArray hi = "+OK ready\r\n", ok = "+OK\r\n", listing = "+OK 2 messages:\r\n1 10\r\n2 20\r\n.\r\n";
        const QString silent = "Error: サーバーから応答がありませんでした";
        const QStringList silentLog{"Winsock ErrCd:10060 ErrMes:サーバーから応答がありませんでした"};
        const QString closed = "The remote host closed the connection";
        QTest::newRow("accepts, then says nothing") << Session{{}, kFailedLine, 4, 0, 0, silent, silentLog};
        QTest::newRow("listing never ends")
            << Session{{{hi}, {ok}, {ok}, {"+OK 2 messages:\r\n1 10\r\n"}}, kFailedLine, 4, 3, 3, silent, silentLog};
        QTest::newRow("unknown line, then nothing")
            << Session{{{hi}, {"* what?\r\n"}}, kFailedLine, 4, 1, 1, silent, silentLog};
        QTest::newRow("reset after pass") << Session{{{hi}, {ok}, {"", ScriptedTurn::Reset}}, kFailedLine, 4, 2, 2,
                                                     "Error: *", {"Winsock ErrCd:10054 ErrMes:*"}};
        QTest::newRow("closed before the reply to quit")
            << Session{{{hi}, {ok}, {ok}, {listing}, {"", ScriptedTurn::Close}}, kFailedLine, 4, 4, 4, "Error: " + closed,
                       {"2件", "Winsock ErrCd:10054 ErrMes:" + closed}, SummaryText(2, 2)};
        QTest::newRow("refused port") << Session{{}, kFailedLine, 4, 0, 0, "Error: Connection refused",
                                                 {"Winsock ErrCd:10061 ErrMes:Connection refused"}, {},
                                                 Session::RefusedPort};
        QTest::newRow("unknown host") << Session{{}, "サーバーが見つからないよぅ", 4, 0, 0, {},
                                                 {"Winsock ErrCd:11001 ErrMes:*"}, {}, Session::UnknownHost};
        QTest::newRow("error greeting") << Session{{{"-ERR server busy\r\n"}}, kErrorLine, 4, -1, 0};
        QTest::newRow("error answering user") << Session{{{hi}, {"-ERR no such mailbox\r\n"}}, kErrorLine, 4, -1, 1};
        QTest::newRow("error with Pass answering user")
            << Session{{{hi}, {"-ERR Password needed first\r\n"}}, kWrongLoginLine, 0, -1, 1};
        QTest::newRow("error answering List") << Session{{{hi}, {ok}, {ok}, {"-ERR [IN-USE] Mailbox locked\r\n"}},
                                                         kErrorLine, 0, 0, 3, {}, {}, ErrorSummaryText(7)};
        QTest::newRow("error answering quit") << Session{{{hi}, {ok}, {ok}, {listing}, {"-ERR not now\r\n"}},
                                                         kNoMailLine, 5, 0, 4, {}, {"2件", "No Mail"},
                                                         ErrorSummaryText(2)};
        QTest::newRow("off in the reply to List reports nothing")
            << Session{{{hi}, {ok}, {ok}, {"+OK 2 messages, then off\r\n1 10\r\n2 20\r\n.\r\n"}, {ok}}, kWaitLine, 1, 0,
                       4};
        QTest::newRow("malformed listing")
            << Session{{{hi}, {ok}, {ok}, {"+OK\r\n1 10\r\nnonsense\r\n.\r\n"}, {ok}}, kNoMailLine, 5, 0, 4,
                       "Error: 着信件数が取得できませんでした", {"No Mail"}, SummaryText(0, 7)};
        QTest::newRow("two replies in one read") << Session{{{hi + ok}, {""}, {ok}, {listing}, {"+OK bye\r\n"}},
                                                            ExistLine(2), 3, 0, 4, {}, {"2件"}, SummaryText(2, 2)};
        // Answered before it was asked: "quit" may not get out.
        QTest::newRow("listing and the reply to quit in one read")
            << Session{{{hi}, {ok}, {ok}, {listing + "+OK bye\r\n"}, {"", ScriptedTurn::Close}}, ExistLine(2), 3, 0, -1, {},
                       {"2件"}, SummaryText(2, 2)};
        QTest::newRow("endless line")
            << Session{{{"+OK " + QByteArray(70 * 1024, 'x')}}, kArrivalLine, 4, 0, 0, {}, {"Arrival Error"}};
        QTest::newRow("no reaction table")
            << Session{{{hi}, {ok}, {ok}, {listing}, {ok}}, kArrivalLine, 4, 0, 3, {}, {"Arrival Error"},
                       SummaryText(2, 2), Session::NoReactionTable};
    }

    void sessions() {
        QFETCH(Session, s);
        ScriptedServer server(s.script);
        server.setCut(s.cut);
        MailFixture f(s.where == Session::RefusedPort ? ScriptedServer::ClosedPort() : server.port());
        if (s.where == Session::UnknownHost) f.state.settings.Server = "no-such-host.invalid";
        if (s.where == Session::NoReactionTable) f.state.reactions = ReactionTable{};
        f.state.MailTotal = f.state.LastCheckMail = f.state.StartMail = 7;
        // Only the sessions meant to time out get a short time-out.
        f.check.SetReplyTimeout(s.log.value(0).contains("ErrCd:10060") ? 400 : 10000);
        QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
        bool ran = false;
        QByteArray out, err;
        out = Captured(1, [&] { err = Captured(2, [&] { ran = f.run(); }); });
        std::fputs((out + err).constData(), stderr);  // what was printed, after all
        QVERIFY(ran);
        // The password goes to the server and nowhere else.
        QVERIFY(!(out + err + f.log()).contains("secret"));
        QCOMPARE(f.shell.said, s.said);
        QCOMPARE(f.shell.picture, s.picture);
        QCOMPARE(int(f.check.PopState()), s.popState);
        if (s.sound >= 0) QVERIFY(f.shell.calls.contains(QStringLiteral("sound %1").arg(s.sound)));
        const QStringList& boxes = f.shell.messages;
        QVERIFY2(s.message.isEmpty() ? boxes.isEmpty() : boxes.size() == 1 && Like(boxes[0], s.message),
                 qPrintable(boxes.join(" | ")));
        const QStringList written = LogEntries(f);
        QCOMPARE(written.size(), s.log.size());
        for (int i = 0; i < s.log.size(); ++i) QVERIFY2(Like(written[i], s.log[i]), qPrintable(written[i]));
        QCOMPARE(f.shell.tip, s.tip);
        const QList<QByteArray> sent = server.lines();
        QCOMPARE(sent, kCommands.mid(0, s.sent < 0 ? qMax(3, int(sent.size())) : s.sent));
        QVERIFY(f.readyAgain());
        // The connection is closed, and whatever the server does later reaches nobody.
        if (server.connections()) QTRY_VERIFY(server.clientGone());
        QTest::qWait(50);
        QCOMPARE(ended.count(), 1);
    }

    void newCheckAbandonsRunningOne() {
        ScriptedServer silent(Script{}), normal(NormalTranscript("+OK %1 messages:", 1));
        MailFixture f(silent.port());
        QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
        f.check.SetReplyTimeout(300);
        f.check.ExecuteMailCheck();
        QTRY_COMPARE(silent.connections(), 1);
        QVERIFY(!f.shell.menuEnabled);
        f.state.settings.Port = static_cast<qint16>(normal.port());
        f.shell.calls.clear();
        f.check.ExecuteMailCheck();
        QTRY_VERIFY(silent.clientGone());  // closed without "quit"
        QVERIFY(silent.lines().isEmpty());
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(normal.lines(), kCommands);
        QCOMPARE(f.shell.calls.mid(0, 5),
                 (QStringList{"timer off", "sound 1", "picture 1", "say " + kWaitLine, "menu off"}));
        QTest::qWait(600);  // the first session's time-out never comes
        QCOMPARE(ended.count(), 1);
        QVERIFY(f.shell.messages.isEmpty());
        QVERIFY(f.readyAgain());
    }

    // No password: a box, then the settings dialog; a running check gives
    // back what it held first.
    void noPasswordOpensTheSettings() {
        for (const bool running : {false, true}) {
            ScriptedServer silent(Script{});
            MailFixture f(silent.port());
            f.shell.alwaysActive = !running;
            if (running) {
                f.check.ExecuteMailCheck();
                QTRY_COMPARE(silent.connections(), 1);
            }
            f.shell.calls.clear();
            f.state.settings.LoginPass.clear();
            f.check.ExecuteMailCheck();
            const QStringList asked{"topmost 0", "msg 16 Passwordが設定されていません", "settings",
                                    running ? "topmost 0" : "topmost 1"};
            QCOMPARE(f.shell.calls, (running ? QStringList{"menu on", "timer on"} + asked : asked));
            QVERIFY(!f.check.SessionOpen());
            QTest::qWait(50);
            QCOMPARE(silent.connections(), int(running));
            QVERIFY(f.shell.menuEnabled);
        }
    }

    // While the refused connection's box is open, the user starts a check.
    void newCheckDuringErrorBoxOwnsTheCharacter() {
        ScriptedServer normal(NormalTranscript("+OK %1 messages:", 2));
        MailFixture f(ScriptedServer::ClosedPort());
        QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
        bool once = false;
        f.shell.onShowMsg = [&] {
            if (std::exchange(once, true)) return;
            f.state.settings.Port = static_cast<qint16>(normal.port());
            f.check.ExecuteMailCheck();
            QVERIFY(ended.wait(5000));
        };
        f.check.ExecuteMailCheck();
        QTRY_COMPARE(ended.count(), 1);
        QTest::qWait(50);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(f.shell.said, ExistLine(2));
        QCOMPARE(f.shell.picture, 3);
        QVERIFY(f.shell.balloonVisible);
        QVERIFY(f.readyAgain());
        const QString log = DecodeCp932(f.log());
        QVERIFY2(log.contains("2件") && log.contains("Winsock ErrCd:10061"), qPrintable(log));
    }

    // Last, as Qt's Japanese texts stay loaded: the program's socket errors
    // come in Japanese like everything else.
    void socketErrorsInJapanese() {
        QVERIFY(LoadQtJapanese(*QCoreApplication::instance()));
        MailFixture f(ScriptedServer::ClosedPort());
        QVERIFY(f.run());
        QCOMPARE(f.shell.messages, QStringList{"Error: 接続を拒否されました"});
    }
};

QTEST_GUILESS_MAIN(Pop3ScriptedTest)
#include "tst_pop3_scripted.moc"
