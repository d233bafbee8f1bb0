#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QAccessible>
#include <QStringEncoder>
#include <QtTest>

#include "support/dovecot.h"
#include "support/fake_notifications.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"
#include "support/scripted_server.h"
#include "support/shell_fixture.h"

using namespace velmio;
using namespace velmio::test;

namespace {

// Makes carol's maildir hold exactly these messages, oldest first.
bool Deliver(const QList<QByteArray>& messages) {
    if (!Dovecot::SetMessageCount("carol", 0)) return false;
    const QDir dir(qEnvironmentVariable("VELMIO_POP3_DIR") + "/mail/carol/Maildir/cur");
    static int serial = 0;
    for (const QByteArray& m : messages) {
        QFile f(dir.filePath(QStringLiteral("17000%1.M%2P1.sender:2,").arg(++serial, 5, 10, QChar('0')).arg(serial)));
        if (!f.open(QIODevice::WriteOnly) || f.write(m + "\r\nHello.\r\n") < 0) return false;
    }
    return true;
}

QByteArray Message(const QByteArray& from, const QByteArray& subject) {
    QByteArray m = "From: " + from + "\r\n";
    if (!subject.isNull()) m += "Subject: " + subject + "\r\n";
    return m + "Date: Tue, 8 Dec 2026 10:00:00 +0900\r\n";
}

QByteArray Sjis(const QString& text) { return QStringEncoder("Shift_JIS").encode(text); }

}  // namespace

class SenderLinesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { REQUIRE_REAL_PART(Dovecot::Port(), "Dovecot"); }

    // Each kind of header as Japanese mail really has it, through Dovecot.
    void decodedFromDovecot_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("line");
        QTest::newRow("ISO-2022-JP subject")
            << Message("taro@example.jp", "=?ISO-2022-JP?B?GyRCMnE1RCRON28bKEI=?=") << "taroさん「会議の件」";
        QTest::newRow("Q-encoded UTF-8 name")
            << Message("=?UTF-8?Q?=E5=B1=B1=E7=94=B0_=E5=A4=AA=E9=83=8E?= <taro@example.jp>", "Hi")
            << "山田 太郎さん「Hi」";
        QTest::newRow("raw Shift_JIS") << Message("\"" + Sjis("鈴木") + "\" <s@example.jp>", Sjis("見積もり①"))
                                       << "鈴木さん「見積もり①」";
        QTest::newRow("folded subject")
            << Message("a@example.org", "=?UTF-8?B?5LuK5pel44Gu?=\r\n =?UTF-8?B?5LqI5a6a?=") << "aさん「今日の予定」";
        QTest::newRow("no subject") << Message("Ann <ann@example.org>", QByteArray()) << "Annさん";
        QTest::newRow("100 KiB header") << Message("Bob <b@x.org>", "Long") + "X-Long: " + QByteArray(100 * 1024, 'x') + "\r\n"
                                        << "Bobさん「Long」";
        QTest::newRow("long English name")
            << Message("Bartholomew Fitzgerald-Montgomery <b@x.org>", "Quarterly results for the northern region")
            << "Bartholomew Fit…さん「Quarterly results for t…」";
    }
    void decodedFromDovecot() {
        QFETCH(QByteArray, message);
        QFETCH(QString, line);
        QVERIFY(Deliver({Message("old@example.org", "old"), message}));
        Pop3Tap tap(*Dovecot::Port());
        MailFixture f(tap.port());
        f.state.settings.LoginName = "carol";
        f.state.settings.ShowSender = true;
        f.state.settings.DispDiff = 1;
        f.state.LastCheckMail = 1;  // one new: only the newest is asked for
        QVERIFY(f.run());
        QCOMPARE(f.shell.senders, QStringList{line});
        QVERIFY2(tap.sent.endsWith("List\r\nTOP 2 0\r\nquit\r\n"), tap.sent.constData());
        QVERIFY(f.readyAgain());
    }

    // What goes over the wire: TOP for the newest new messages only, never
    // with nothing new or the setting off.
    void wire_data() {
        QTest::addColumn<int>("messages");
        QTest::addColumn<bool>("showSender");
        QTest::addColumn<QByteArray>("after");  // what follows "List"
        QTest::addColumn<int>("lines");
        QTest::newRow("nothing new") << 0 << true << QByteArray("quit\r\n") << 0;
        QTest::newRow("setting off") << 2 << false << QByteArray("quit\r\n") << 0;
        QTest::newRow("five new") << 5 << true << QByteArray("TOP 5 0\r\nTOP 4 0\r\nTOP 3 0\r\nquit\r\n") << 4;
    }
    void wire() {
        QFETCH(int, messages);
        QFETCH(bool, showSender);
        QFETCH(QByteArray, after);
        QFETCH(int, lines);
        QList<QByteArray> box;
        for (int i = 1; i <= messages; ++i) box << Message("n" + QByteArray::number(i) + "@x.org", "s");
        QVERIFY(Deliver(box));
        Pop3Tap tap(*Dovecot::Port());
        MailFixture f(tap.port());
        f.state.settings.LoginName = "carol";
        f.state.settings.ShowSender = showSender;
        QVERIFY(f.run());
        QCOMPARE(tap.sent, "user carol\r\npass secret\r\nList\r\n" + after);
        QCOMPARE(f.shell.senders.size(), lines);
        if (lines) QCOMPARE(f.shell.senders.last(), QStringLiteral("ほか 2通"));
    }

    // The not-yet-told mode: what was told is not told again, also after a
    // restart, and an arrival after a deletion is one new message.
    void notYetTold() {
        const QByteArray a = Message("a@x.org", "a"), b = Message("b@x.org", "b"), c = Message("c@x.org", "c");
        QVERIFY(Deliver({a, b}));
        QTemporaryDir logs;
        const auto check = [&] {
            MailFixture f(*Dovecot::Port());  // a fresh start each time
            f.state.paths = AppPaths::ProgramFolder(logs.path());
            f.state.settings.LoginName = "carol";
            f.state.settings.DispDiff = kNotYetTold;
            f.state.settings.ShowSender = true;
            return f.run() ? f.shell.calls.filter(QRegularExpression("^(tray|senders) ")).join(" / ") : "no end";
        };
        QCOMPARE(check(), QStringLiteral("tray 2 　新着 2件/全 2件 / senders bさん「b」 | aさん「a」"));
        QCOMPARE(check(), QStringLiteral("tray 0 　新着 0件/全 2件"));
        // Two taken off on a phone, one arrives: one new, though the total fell.
        QVERIFY(Deliver({}));
        QVERIFY(Deliver({c}));
        QCOMPARE(check(), QStringLiteral("tray 1 　新着 1件/全 1件 / senders cさん「c」"));
    }

    // A server that refuses TOP still gets its count told.
    void refusedTopKeepsTheCount() {
        QList<ScriptedTurn> script = NormalTranscript("+OK %1 messages:", 2);
        script.insert(4, ScriptedTurn{"-ERR no such command\r\n"});
        ScriptedServer server(script);
        MailFixture f(server.port());
        f.state.settings.ShowSender = true;
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, ExistLine(2));
        QCOMPARE(f.shell.senders, QStringList());
        QCOMPARE(server.lines().value(3), QByteArray("TOP 2 0\r\n"));
        QCOMPARE(server.lines().value(4), QByteArray("quit\r\n"));
        QVERIFY(f.readyAgain());
    }

    // Put away, she sends her words to the desktop; on screen, a screen
    // reader reads them from the balloon.
    void notificationAndAccessibleName() {
        REQUIRE_REAL_PART(QDBusConnection::sessionBus().isConnected(), "session bus");
        FakeNotifications service;
        QVERIFY(service.registered);
        ShellFixture f;
        QVERIFY(f.start("[System]\nServer=127.0.0.1\n"));
        const auto name = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
        QCOMPARE(name(f.form4()), QStringLiteral("Velmio"));
        f.form1->SayText("2通あるよ");
        QCOMPARE(name(f.form1.get()), QStringLiteral("2通あるよ"));
        f.form1->TellSenders({"Annさん「a」"});
        QCOMPARE(name(f.form1.get()), QStringLiteral("Annさん「a」"));
        f.form1->RunMenuCommand("mnuReturnTary");
        f.form1->SayText("1通あるよ");
        f.form1->TellSenders({"Bobさん「b」", "ほか 1通"});
        QTRY_COMPARE(service.calls.size(), 1);
        QTest::qWait(200);  // the service's answer, with the id to replace
        f.form1->TellSenders({});
        QTRY_COMPARE(service.calls.size(), 2);
        QCOMPARE(service.calls, (QStringList{"Velmio Check|0|icon|1通あるよ|Bobさん「b」\nほか 1通",
                                             "Velmio Check|42|icon|1通あるよ|"}));
    }
};

QTEST_MAIN(SenderLinesTest)
#include "tst_sender_lines.moc"
