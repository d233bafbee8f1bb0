#include <QtTest>

#include "mail/mail_count.h"
#include "platform/cp932.h"
#include "support/fd_capture.h"
#include "support/mail_fixture.h"
#include "support/scripted_pop3_server.h"

using namespace velmio;
using test::MailFixture;
using test::Pop3Turn;
using test::ScriptedPop3Server;
using Script = QList<Pop3Turn>;
Q_DECLARE_METATYPE(Script)

// Whole checks against a scripted server: the texts of servers the tests
// cannot run, and every way a session can go wrong.
class Pop3ScriptedTest : public QObject {
    Q_OBJECT
private slots:
    void serverCounts_data();
    void serverCounts();
    void serverRejectsWrongPassword_data();
    void serverRejectsWrongPassword();
    void faults_data();
    void faults();
    void everyCutOfEveryReply_data();
    void everyCutOfEveryReply();
    void newCheckAbandonsRunningOne();
    void noPasswordOpensTheSettings_data();
    void noPasswordOpensTheSettings();
    void newCheckDuringErrorBoxOwnsTheCharacter();
    void passwordIsNeverPrinted();
};

static const QList<QByteArray> kCommands{"user alice\r\n", "pass secret\r\n", "List\r\n", "quit\r\n"};

// Matches text against a pattern that may end in "*" (any rest).
static bool Like(const QString& text, const QString& pattern) {
    return pattern.endsWith('*') ? text.startsWith(pattern.chopped(1)) : text == pattern;
}

// The log's entries without their time; the header must be today's date.
static QStringList LogEntries(const MailFixture& f) {
    const QByteArray log = f.log();
    if (log.isEmpty()) return {};
    QStringList lines = DecodeCp932(log).split("\r\n");
    if (lines.takeFirst() != "2026/01/07" || lines.takeLast() != "") return {"bad log: " + DecodeCp932(log)};
    for (QString& l : lines) l = l.section(": ", 1);
    return lines;
}

struct Server {
    const char* name;
    QByteArray greeting;
    QByteArray wrongPassword;  // may carry more replies after it
    bool closesAfterRejecting;
    QByteArray listFirstLine;  // %1: the count
    int count;
};

static const Server kServers[] = {
    {"Dovecot 2.3", "+OK Dovecot (Debian) ready.\r\n", "-ERR [AUTH] Authentication failed.\r\n", false,
     "+OK %1 messages:", 2},
    {"Gmail", "+OK Gpop ready for requests from 192.0.2.1 a1mb\r\n",
     "-ERR [AUTH] Username and password not accepted.\r\n", false, "+OK %1 messages (626188523 bytes)", 276},
    {"Exchange", "+OK The Microsoft Exchange POP3 service is ready.\r\n",
     "-ERR Logon failure: unknown user name or bad password.\r\n", false, "+OK %1 525246", 5},
    {"Cyrus", "+OK mail.example.org Cyrus POP3 v2.4.17 server ready\r\n", "-ERR [AUTH] Invalid login\r\n", false,
     "+OK scan listing follows", 4},
    {"Courier", "+OK Hello there.\r\n", "-ERR Login failed.\r\n", false,
     "+OK POP3 clients that break here, they violate STD53.", 6},
    {"qpopper", "+OK Qpopper (version 4.1.0) at h starting.\r\n",
     "-ERR [AUTH] Password supplied for \"u\" is incorrect.\r\n+OK Pop server at h signing off.\r\n", true,
     "+OK %1 visible messages (320 octets)", 2},
    {"UW ipop3d", "+OK POP3 h v2007f.104 server ready\r\n", "-ERR Bad login\r\n", false,
     "+OK Mailbox scan listing follows", 1},
    {"GreenMail", "+OK POP3 GreenMail Server v1.6 ready\r\n",
     "-ERR Authentication failed: Invalid password\r\n", false, "+OK", 2},
};

void Pop3ScriptedTest::serverCounts_data() {
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("listFirstLine");
    QTest::addColumn<int>("count");
    for (const Server& s : kServers) QTest::newRow(s.name) << s.greeting << s.listFirstLine << s.count;
}

void Pop3ScriptedTest::serverCounts() {
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, listFirstLine);
    QFETCH(int, count);
    ScriptedPop3Server server(test::NormalTranscript(listFirstLine, count, greeting));
    MailFixture f(server.port());
    f.state.settings.LogMode = true;
    QVERIFY(f.run());
    QCOMPARE(server.lines(), kCommands);
    QCOMPARE(f.shell.tip, SummaryText(static_cast<qint16>(count), static_cast<qint16>(count)));
    QCOMPARE(int(f.shell.traySelector), count);
    QCOMPARE(f.shell.said, count > 100 ? test::kManyLine
                                       : QStringLiteral("お兄ちゃんに、メールは  %1通来てるよ").arg(count));
    QCOMPARE(LogEntries(f), QStringList{QString::number(count) + "件"});
    QCOMPARE(int(f.check.PopState()), 0);
    QVERIFY(f.shell.messages.isEmpty());
    QVERIFY(f.readyAgain());
    QTRY_VERIFY(server.clientGone());
}

void Pop3ScriptedTest::serverRejectsWrongPassword_data() {
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("rejection");
    QTest::addColumn<bool>("closes");
    for (const Server& s : kServers) QTest::newRow(s.name) << s.greeting << s.wrongPassword << s.closesAfterRejecting;
}

void Pop3ScriptedTest::serverRejectsWrongPassword() {
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, rejection);
    QFETCH(bool, closes);
    ScriptedPop3Server server(
        {{greeting}, {"+OK\r\n"}, {rejection, closes ? Pop3Turn::Close : Pop3Turn::Stay}});
    MailFixture f(server.port());
    f.state.settings.LogMode = true;
    QVERIFY(f.run());
    QCOMPARE(server.lines(), kCommands.mid(0, 2));
    QCOMPARE(f.shell.said, test::kWrongLoginLine);
    QCOMPARE(f.shell.picture, 0);
    QVERIFY(f.shell.calls.contains("sound 5"));
    QCOMPARE(int(f.check.PopState()), -1);
    QVERIFY(f.shell.tip.isEmpty());
    QVERIFY(f.shell.messages.isEmpty());
    QVERIFY(f.log().isEmpty());  // a rejected login is not logged
    QVERIFY(f.readyAgain());
}

void Pop3ScriptedTest::faults_data() {
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("host");    // empty: the scripted server
    QTest::addColumn<bool>("closedPort");
    QTest::addColumn<bool>("noTable");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("picture");
    QTest::addColumn<int>("popState");
    QTest::addColumn<QString>("message");   // empty: no message box; "*" ends a prefix
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QByteArray>("lastSent");  // "*": any

    const QByteArray hi = "+OK ready\r\n";
    const QByteArray listing = "+OK 2 messages:\r\n1 10\r\n2 20\r\n.\r\n";
    const QString noAnswer = QStringLiteral("Winsock ErrCd:10060 ErrMes:サーバーから応答がありませんでした");
    const QString noAnswerBox = "Error: サーバーから応答がありませんでした";
    const QString exist2 = QStringLiteral("お兄ちゃんに、メールは  2通来てるよ");
    const QString none;

    QTest::newRow("accepts, then says nothing")
        << Script{} << none << false << false << test::kFailedLine << 4 << 0 << noAnswerBox << QStringList{noAnswer}
        << none << QByteArray();
    QTest::newRow("no answer to List")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}} << none << false << false << test::kFailedLine << 4 << 3
        << noAnswerBox << QStringList{noAnswer} << none << kCommands[2];
    QTest::newRow("listing never ends")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {"+OK 2 messages:\r\n1 10\r\n"}} << none << false << false
        << test::kFailedLine << 4 << 3 << noAnswerBox << QStringList{noAnswer} << none << kCommands[2];
    QTest::newRow("unknown line, then nothing")
        << Script{{hi}, {"* what?\r\n"}} << none << false << false << test::kFailedLine << 4 << 1 << noAnswerBox
        << QStringList{noAnswer} << none << kCommands[0];
    QTest::newRow("reset after pass")
        << Script{{hi}, {"+OK\r\n"}, {"", Pop3Turn::Reset}} << none << false << false << test::kFailedLine << 4 << 2
        << "Error: *" << QStringList{"Winsock ErrCd:10054 ErrMes:*"} << none << kCommands[1];
    QTest::newRow("closed after the greeting")
        << Script{{hi, Pop3Turn::Close}} << none << false << false << test::kFailedLine << 4 << 1
        << "Error: The remote host closed the connection" << QStringList{"Winsock ErrCd:10054 ErrMes:*"} << none
        << QByteArray();
    QTest::newRow("closed before the reply to quit")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {listing}, {"", Pop3Turn::Close}} << none << false << false
        << test::kFailedLine << 4 << 4 << "Error: The remote host closed the connection"
        << QStringList{"2件", "Winsock ErrCd:10054 ErrMes:The remote host closed the connection"}
        << SummaryText(2, 2) << kCommands[3];
    QTest::newRow("refused port") << Script{} << none << true << false << test::kFailedLine << 4 << 0
                                  << "Error: Connection refused"
                                  << QStringList{"Winsock ErrCd:10061 ErrMes:Connection refused"} << none
                                  << QByteArray();
    QTest::newRow("unknown host") << Script{} << "no-such-host.invalid" << false << false
                                  << QStringLiteral("サーバーが見つからないよぅ") << 4 << 0 << none
                                  << QStringList{"Winsock ErrCd:11001 ErrMes:*"} << none << QByteArray();
    QTest::newRow("error greeting") << Script{{"-ERR server busy\r\n"}} << none << false << false << test::kErrorLine
                                    << 4 << -1 << none << QStringList{} << none << QByteArray();
    QTest::newRow("error answering user")
        << Script{{hi}, {"-ERR no such mailbox\r\n"}} << none << false << false << test::kErrorLine << 4 << -1
        << none << QStringList{} << none << kCommands[0];
    QTest::newRow("error with Pass answering user")
        << Script{{hi}, {"-ERR Password needed first\r\n"}} << none << false << false << test::kWrongLoginLine << 0
        << -1 << none << QStringList{} << none << kCommands[0];
    QTest::newRow("error answering List")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {"-ERR [IN-USE] Mailbox locked\r\n"}} << none << false << false
        << test::kErrorLine << 0 << 0 << none << QStringList{} << ErrorSummaryText(7) << kCommands[2];
    QTest::newRow("error answering quit")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {listing}, {"-ERR not now\r\n"}} << none << false << false
        << test::kNoMailLine << 5 << 0 << none << QStringList{"2件", "No Mail"} << ErrorSummaryText(2)
        << kCommands[3];
    QTest::newRow("off in the reply to List reports nothing")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {"+OK 2 messages, then off\r\n1 10\r\n2 20\r\n.\r\n"}, {"+OK\r\n"}}
        << none << false << false << test::kWaitLine << 1 << 0 << none << QStringList{} << none << kCommands[3];
    QTest::newRow("malformed listing")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {"+OK\r\n1 10\r\nnonsense\r\n.\r\n"}, {"+OK\r\n"}} << none
        << false << false << test::kNoMailLine << 5 << 0 << "Error: 着信件数が取得できませんでした"
        << QStringList{"No Mail"} << SummaryText(0, 7) << kCommands[3];
    QTest::newRow("two replies in one read")
        << Script{{hi + "+OK\r\n"}, {""}, {"+OK\r\n"}, {listing}, {"+OK bye\r\n"}} << none << false << false
        << exist2 << 3 << 0 << none << QStringList{"2件"} << SummaryText(2, 2) << kCommands[3];
    QTest::newRow("listing and the reply to quit in one read")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {listing + "+OK bye\r\n"}, {"", Pop3Turn::Close}} << none
        << false << false << exist2 << 3 << 0 << none << QStringList{"2件"} << SummaryText(2, 2)
        << QByteArray("*");  // answered before it was asked: "quit" may not get out
    QTest::newRow("endless line")
        << Script{{"+OK " + QByteArray(70 * 1024, 'x')}} << none << false << false << test::kArrivalLine << 4 << 0
        << none << QStringList{"Arrival Error"} << none << QByteArray();
    QTest::newRow("no reaction table")
        << Script{{hi}, {"+OK\r\n"}, {"+OK\r\n"}, {listing}, {"+OK\r\n"}} << none << false << true
        << test::kArrivalLine << 4 << 0 << none << QStringList{"Arrival Error"} << SummaryText(2, 2)
        << kCommands[2];
}

void Pop3ScriptedTest::faults() {
    QFETCH(Script, script);
    QFETCH(QString, host);
    QFETCH(bool, closedPort);
    QFETCH(bool, noTable);
    QFETCH(QString, said);
    QFETCH(int, picture);
    QFETCH(int, popState);
    QFETCH(QString, message);
    QFETCH(QStringList, log);
    QFETCH(QString, tip);
    QFETCH(QByteArray, lastSent);
    ScriptedPop3Server server(script);
    MailFixture f(closedPort ? ScriptedPop3Server::ClosedPort() : server.port());
    if (!host.isEmpty()) f.state.settings.Server = host;
    if (noTable) f.state.reactions = ReactionTable{};
    f.state.settings.LogMode = true;
    f.state.MailTotal = f.state.LastCheckMail = f.state.StartMail = 7;
    f.check.SetReplyTimeout(400);
    QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
    QVERIFY(f.run());
    QCOMPARE(f.shell.said, said);
    QCOMPARE(f.shell.picture, picture);
    QCOMPARE(int(f.check.PopState()), popState);
    if (message.isEmpty()) {
        QCOMPARE(f.shell.messages, QStringList{});
    } else {
        QCOMPARE(f.shell.messages.size(), 1);
        QVERIFY2(Like(f.shell.messages[0], message), qPrintable(f.shell.messages[0]));
    }
    const QStringList written = LogEntries(f);
    QCOMPARE(written.size(), log.size());
    for (int i = 0; i < log.size(); ++i) QVERIFY2(Like(written[i], log[i]), qPrintable(written[i]));
    QCOMPARE(f.shell.tip, tip);
    if (lastSent != "*") QCOMPARE(server.lines().isEmpty() ? QByteArray() : server.lines().last(), lastSent);
    QVERIFY(f.readyAgain());
    // Whatever the server does later reaches nobody.
    QTest::qWait(50);
    QCOMPARE(ended.count(), 1);
}

void Pop3ScriptedTest::everyCutOfEveryReply_data() {
    QTest::addColumn<int>("cut");  // 0: one byte per write
    QTest::newRow("byte by byte") << 0;
    const QByteArray longest = "+OK 3 messages:\r\n" + test::ScanListing(3);
    for (int cut = 1; cut < longest.size(); ++cut) QTest::newRow(qPrintable(QString("cut at %1").arg(cut))) << cut;
}

void Pop3ScriptedTest::everyCutOfEveryReply() {
    QFETCH(int, cut);
    ScriptedPop3Server server(test::NormalTranscript("+OK %1 messages:", 3, "+OK Dovecot (Debian) ready.\r\n"));
    if (cut == 0) server.setByteByByte(true);
    else server.setCut(cut);
    MailFixture f(server.port());
    QVERIFY(f.run());
    QCOMPARE(server.lines(), kCommands);
    QCOMPARE(f.shell.tip, SummaryText(3, 3));
    QCOMPARE(f.shell.said, QStringLiteral("お兄ちゃんに、メールは  3通来てるよ"));
    QCOMPARE(int(f.check.PopState()), 0);
    QVERIFY(f.readyAgain());
}

void Pop3ScriptedTest::newCheckAbandonsRunningOne() {
    ScriptedPop3Server silent(Script{});
    ScriptedPop3Server normal(test::NormalTranscript("+OK %1 messages:", 1));
    MailFixture f(silent.port());
    QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
    f.check.SetReplyTimeout(300);
    f.check.ExecuteMailCheck();
    QTRY_COMPARE(silent.connections(), 1);
    QVERIFY(!f.shell.menuEnabled);
    f.state.settings.Port = static_cast<qint16>(normal.port());
    f.shell.clear();
    f.check.ExecuteMailCheck();
    QTRY_VERIFY(silent.clientGone());  // closed without "quit"
    QVERIFY(silent.received().isEmpty());
    QTRY_COMPARE(ended.count(), 1);
    QCOMPARE(normal.lines(), kCommands);
    QCOMPARE(f.shell.calls.mid(0, 5),
             (QStringList{"timer off", "sound 1", "picture 1", "say " + test::kWaitLine, "menu off"}));
    // The first session's time-out never comes.
    QTest::qWait(600);
    QCOMPARE(ended.count(), 1);
    QVERIFY(f.shell.messages.isEmpty());
    QVERIFY(f.readyAgain());
}

void Pop3ScriptedTest::noPasswordOpensTheSettings_data() {
    QTest::addColumn<bool>("sessionRunning");
    QTest::addColumn<bool>("alwaysActive");
    QTest::addColumn<QStringList>("calls");
    const QString box = "msg 16 Passwordが設定されていません";
    QTest::newRow("idle") << false << false << QStringList{"topmost 0", box, "settings", "topmost 0"};
    QTest::newRow("idle, always on top") << false << true << QStringList{"topmost 0", box, "settings", "topmost 1"};
    // The abandoned session gives back what it held.
    QTest::newRow("a check running") << true << false
                                     << QStringList{"menu on", "timer on", "topmost 0", box, "settings", "topmost 0"};
}

void Pop3ScriptedTest::noPasswordOpensTheSettings() {
    QFETCH(bool, sessionRunning);
    QFETCH(bool, alwaysActive);
    QFETCH(QStringList, calls);
    ScriptedPop3Server silent(Script{});
    MailFixture f(silent.port());
    f.shell.alwaysActive = alwaysActive;
    if (sessionRunning) {
        f.check.ExecuteMailCheck();
        QTRY_COMPARE(silent.connections(), 1);
    }
    f.shell.clear();
    f.state.settings.LoginPass.clear();
    f.check.ExecuteMailCheck();
    QCOMPARE(f.shell.calls, calls);
    QVERIFY(!f.check.SessionOpen());
    QTest::qWait(50);
    QCOMPARE(silent.connections(), sessionRunning ? 1 : 0);
    QCOMPARE(f.shell.menuEnabled, true);
}

void Pop3ScriptedTest::newCheckDuringErrorBoxOwnsTheCharacter() {
    ScriptedPop3Server normal(test::NormalTranscript("+OK %1 messages:", 2));
    MailFixture f(ScriptedPop3Server::ClosedPort());
    f.state.settings.LogMode = true;
    QSignalSpy ended(&f.check, &MailCheck::SessionEnded);
    // While the refused connection's box is open, the user starts a check.
    bool once = false;
    f.shell.onShowMsg = [&] {
        if (once) return;
        once = true;
        f.state.settings.Port = static_cast<qint16>(normal.port());
        f.check.ExecuteMailCheck();
        QVERIFY(ended.wait(5000));
    };
    f.check.ExecuteMailCheck();
    QTRY_COMPARE(ended.count(), 1);
    QTest::qWait(50);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(f.shell.said, QStringLiteral("お兄ちゃんに、メールは  2通来てるよ"));
    QCOMPARE(f.shell.picture, 3);
    QVERIFY(f.shell.balloonVisible);
    QVERIFY(f.readyAgain());
    const QString log = DecodeCp932(f.log());
    QVERIFY2(log.contains("2件") && log.contains("Winsock ErrCd:10061"), qPrintable(log));
}

void Pop3ScriptedTest::passwordIsNeverPrinted() {
    const QString password = QStringLiteral("pw-Zq7x");
    ScriptedPop3Server wrong({{"+OK\r\n"}, {"+OK\r\n"}, {"-ERR [AUTH] Authentication failed.\r\n"}});
    ScriptedPop3Server reset({{"+OK\r\n"}, {"+OK\r\n"}, {"", Pop3Turn::Reset}});
    ScriptedPop3Server fine(test::NormalTranscript("+OK %1 messages:", 1));
    MailFixture f;
    f.state.settings.LoginPass = password;
    f.state.settings.LogMode = true;
    bool allEnded = true;
    QByteArray printed;
    {
        // Nothing of QtTest's may be printed while capturing.
        test::FdCapture out(1);
        test::FdCapture err(2);
        for (quint16 port : {wrong.port(), reset.port(), fine.port(), ScriptedPop3Server::ClosedPort()}) {
            f.state.settings.Port = static_cast<qint16>(port);
            allEnded = f.run() && allEnded;
        }
        printed = out.text() + err.text();
    }
    QVERIFY(allEnded);
    QVERIFY(reset.received().contains(password.toLatin1()));  // it was sent, where it belongs
    printed += f.log();
    QVERIFY(!f.log().isEmpty());
    QVERIFY(!printed.contains(password.toLatin1()));
}

QTEST_GUILESS_MAIN(Pop3ScriptedTest)
#include "tst_pop3_scripted.moc"
