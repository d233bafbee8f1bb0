#include <QtTest>

#include "app/away_news.h"
#include "app/tray_icon.h"
#include "support/dovecot.h"
#include "support/fake_notifications.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"
#include "support/shell_fixture.h"

using namespace velmio;
using namespace velmio::test;

namespace {

// The user's messages by file name without the flags, the \Seen ones (":2,S") or all.
QSet<QString> Files(bool onlySeen, const QString& user = "carol") {
    QSet<QString> names;
    for (const QString& f : Dovecot::MessageFiles(user))
        if (!onlySeen || f.section(":2,", 1).contains('S')) names << f.section(':', 0, 0);
    return names;
}

}  // namespace

class NotificationActionsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { REQUIRE_REAL_PART(QDBusConnection::sessionBus().isConnected(), "session bus"); }
    // Later tests count carol's unread mail.
    void cleanupTestCase() {
        Dovecot::SetMessageCount("carol", 0);
        Dovecot::SetMessageCount("dave", 0);
    }

    // Buttons only where the service shows them; the mailer's when one is
    // set, marking when an IMAP check gave the messages' ids.
    void offeredActions_data() {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<bool>("mailer");
        QTest::addColumn<bool>("imap");
        QTest::addColumn<QStringList>("actions");
        const QStringList caps{"body", "actions"}, view{"view", "見る"}, mailer{"mailer", "メールソフトを開く"},
            mark{"mark-read", "既読にする"};
        QTest::newRow("service without actions") << QStringList{"body"} << true << true << QStringList();
        QTest::newRow("POP3") << caps << false << false << view;
        QTest::newRow("POP3, mailer") << caps << true << false << view + mailer;
        QTest::newRow("IMAP") << caps << false << true << view + mark;
        QTest::newRow("IMAP, mailer") << caps << true << true << view + mailer + mark;
    }
    void offeredActions() {
        QFETCH(QStringList, capabilities);
        QFETCH(bool, mailer);
        QFETCH(bool, imap);
        FakeNotifications service(capabilities);
        AwayNews news;
        news.Tell("1通あるよ", {}, imap ? QList{AnnouncedMail{"127.0.0.1", 143, "carol", {"7.1"}}} : QList<AnnouncedMail>(),
                  mailer, QString());
        QTRY_COMPARE(service.calls.size(), 1);
        QTEST(service.actions, "actions");
    }

    // Put away, a real IMAP check of two new mails; each button does its
    // thing, and only on her notification.
    void invokedActions_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<uint>("otherId");  // added to her notification's id
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("launched");
        QTest::addColumn<int>("seen");
        QTest::newRow("見る") << "view" << 0u << true << 0 << 0;
        QTest::newRow("メールソフトを開く") << "mailer" << 0u << false << 1 << 0;
        QTest::newRow("既読にする") << "mark-read" << 0u << false << 0 << 2;
        QTest::newRow("another notification's button") << "mark-read" << 7u << false << 0 << 0;
    }
    void invokedActions() {
        QFETCH(QString, key);
        QFETCH(uint, otherId);
        QFETCH(int, seen);
        REQUIRE_REAL_PART(Dovecot::Port("VELMIO_IMAP_PORT"), "Dovecot (IMAP)");
        QVERIFY(Dovecot::SetMessageCount("carol", 0) && Dovecot::SetMailbox("carol", 2, 0));
        FakeNotifications service({"actions", "body"});
        ShellFixture f;
        QVERIFY(f.start(QStringLiteral("[System]\nServer=127.0.0.1\nPort=%1\nProtocol=1\nLoginName=carol\n"
                                       "LoginPass=secret\nShowSender=0\nMailer=mailer --new\n")
                            .arg(*Dovecot::Port("VELMIO_IMAP_PORT"))));
        f.form1->RunMenuCommand("mnuReturnTary");
        QSignalSpy ended(f.form1->mailCheck(), &MailCheck::SessionEnded);
        QSignalSpy marked(f.form1->mailCheck(), &MailCheck::SeenMarked);
        f.form1->mailCheck()->ExecuteMailCheck(false);
        QVERIFY(ended.wait(15000));
        QTRY_COMPARE(service.calls.size(), 1);
        QTest::qWait(200);  // the service's answer, with her notification's id
        emit service.ActionInvoked(service.lastId() + otherId, key);
        QVERIFY(seen ? marked.wait(15000) : !marked.wait(300));
        QTEST(f.form1->isVisible(), "visible");
        if (f.form1->isVisible()) QCOMPARE(f.form1->LastSaidText(), service.calls.first().section('|', 3, 3));
        QTEST(int(f.fakes.launcher.programs.size()), "launched");
        QCOMPARE(Files(true).size(), seen);
    }

    // 既読にする flags exactly what the check told of: not what came after,
    // not what the mode left untold, nothing under another UIDVALIDITY.
    void markedOnDovecot_data() {
        QTest::addColumn<qint16>("mode");
        QTest::addColumn<bool>("otherValidity");
        QTest::addColumn<QString>("marked");  // first: the unread one of before the first check
        QTest::addColumn<bool>("dave");  // a second account, with two unread of its own
        QTest::newRow("all waiting") << qint16(0) << false << "first, delivered" << false;
        QTest::newRow("since the last check") << qint16(1) << false << "delivered" << false;
        QTest::newRow("not yet told") << kNotYetTold << false << "delivered" << false;
        QTest::newRow("UIDVALIDITY changed") << qint16(1) << true << "" << false;
        QTest::newRow("two accounts") << qint16(1) << false << "delivered" << true;
    }
    void markedOnDovecot() {
        QFETCH(qint16, mode);
        QFETCH(bool, otherValidity);
        QFETCH(QString, marked);
        QFETCH(bool, dave);
        REQUIRE_REAL_PART(Dovecot::Port("VELMIO_IMAP_PORT"), "Dovecot (IMAP)");
        QVERIFY(Dovecot::SetMessageCount("carol", 0) && Dovecot::SetMailbox("carol", 1, 1) &&
                Dovecot::SetMessageCount("dave", 0));
        MailFixture f(*Dovecot::Port("VELMIO_IMAP_PORT"));
        f.state.settings.Protocol = kImap;
        f.state.settings.LoginName = "carol";
        f.state.settings.DispDiff = mode;
        f.shell.away = true;
        AccountSettings second = f.state.settings;
        second.LoginName = "dave";
        if (dave) f.state.settings.MoreAccounts = {second};
        const QSet<QString> seenBefore = Files(true), first = Files(false) - seenBefore;
        QVERIFY(f.run());  // the first message gets its UID
        QVERIFY(Dovecot::Deliver("carol", "Ann <ann@x.org>", "a") && Dovecot::Deliver("carol", "Bob <bob@x.org>", "b"));
        const QSet<QString> delivered = Files(false) - first - seenBefore;
        QVERIFY(Dovecot::Deliver("dave", "Dee <dee@x.org>", "d") && Dovecot::Deliver("dave", "Dee <dee@x.org>", "e"));
        QVERIFY(f.run());
        QList<AnnouncedMail> announced = f.check.Announced();
        QCOMPARE(announced.size(), dave ? 2 : 1);
        for (QString& id : announced[0].ids)
            if (otherValidity) id = QString::number(id.section('.', 0, 0).toULongLong() + 1) + '.' + id.section('.', 1);
        QVERIFY(Dovecot::Deliver("carol", "Cy <cy@x.org>", "after"));  // came after she told
        QSignalSpy accounts(&f.check, &MailCheck::SeenMarked);
        f.check.MarkSeen(announced);
        QVERIFY(accounts.wait(15000));
        QCOMPARE(accounts.first().first().toInt(), otherValidity ? 0 : int(announced.size()));
        QCOMPARE(Files(true, "dave").size(), dave ? 2 : 0);
        QCOMPARE(Files(true) - seenBefore, (marked.contains("first") ? first : QSet<QString>()) +
                                               (marked.contains("delivered") ? delivered : QSet<QString>()));
    }

    // Back from the tray she says the news she had while away, whether or
    // not the desktop showed it, and only once; with none, as ever.
    void newsSaidAgain_data() {
        QTest::addColumn<bool>("service");
        QTest::addColumn<bool>("news");
        QTest::newRow("no notification service") << false << true;
        QTest::newRow("notification shown") << true << true;
        QTest::newRow("no news") << true << false;
    }
    void newsSaidAgain() {
        QFETCH(bool, service);
        QFETCH(bool, news);
        std::unique_ptr<FakeNotifications> desktop(service ? new FakeNotifications : nullptr);
        ShellFixture f;
        QVERIFY(f.start("[System]\nServer=127.0.0.1\n"));
        for (const bool told : {news, false}) {
            f.form1->RunMenuCommand("mnuReturnTary");
            if (told) {
                f.form1->SayText("2通あるよ");
                f.form1->TellSenders({"Annさん「a」"});
            }
            f.form1->HandleTrayMessage(TrayIcon::kLeftDown);
            QCOMPARE(f.form1->LastSaidText(), told ? "Annさん「a」" : "なぁに？" + f.state.settings.NickName);
            if (told) QTRY_COMPARE_WITH_TIMEOUT(f.form1->LastSaidText(), QStringLiteral("2通あるよ"), 6000);
        }
    }
};

QTEST_MAIN(NotificationActionsTest)
#include "tst_notification_actions.moc"
