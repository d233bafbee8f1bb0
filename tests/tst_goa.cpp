#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include "mail/imap/imap_watch.h"
#include "settings_dialog/server_page.h"
#include "support/child_run.h"
#include "support/dovecot.h"
#include "support/goa.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"

using namespace velmio;
using namespace velmio::test;

namespace {

const QString kSignInAgain = QStringLiteral("GNOMEの設定で、もう一度サインインしてほしいな…");
const QString kAccountId = QStringLiteral("account_1700000000_0");

// The account of GOA's id, as choosing it in the dialog leaves it.
void UseGoa(AccountSettings& a, const QString& id, quint16 port) {
    a.Auth = kAuthGoa;
    a.Goa = id;
    a.Protocol = kImap;
    a.Server = "127.0.0.1";
    a.Port = static_cast<qint16>(port);
    a.Security = 2;
    a.LoginPass.clear();
}

}  // namespace

// Accounts of GNOME Online Accounts: the real daemon for the password it
// holds, a stand-in with its interface for tokens (the real one makes them
// only with a provider on the network).
class GoaTest : public QObject {
    Q_OBJECT
private slots:
    void realDaemon_data() {
        QTest::addColumn<QString>("line");  // empty: alice's three messages counted
        QTest::newRow("chosen in the dialog and checked") << "";
        QTest::newRow("removed from GOA") << "GNOMEのオンラインアカウントにこのアカウントがないよ…";
        QTest::newRow("GOA not on the bus") << "GNOMEのオンラインアカウントとお話しできないよ…";
    }
    void realDaemon() {
        QFETCH(QString, line);
        const bool noBus = QByteArray(QTest::currentDataTag()) == "GOA not on the bus";
        if (noBus && qEnvironmentVariableIsEmpty("VELMIO_NO_BUS")) {
            // A process keeps the session bus it found: this row runs in one without.
            const auto child = RunInChild("realDaemon:GOA not on the bus", "DBUS_SESSION_BUS_ADDRESS",
                                          "unix:path=/nonexistent/bus", "VELMIO_NO_BUS");
            QVERIFY2(child->exitStatus() == QProcess::NormalExit && child->exitCode() == 0,
                     child->readAllStandardOutput().constData());
            return;
        }
        const auto port = Dovecot::Port("VELMIO_IMAPS_PORT");
        REQUIRE_REAL_PART(port, "Dovecot");
        GoaDaemon goa;
        if (!noBus) {
            REQUIRE_REAL_PART(QFile::exists(GoaDaemon::kProgram), "goa-daemon");
            QVERIFY(goa.WriteImapAccount(kAccountId, *port, "secret"));
            QVERIFY(goa.Start(1));
        }
        MailFixture f(*port);
        f.check.SetTrustStore(Dovecot::Authority());
        ServerPage page;
        page.LoadServerPage(f.state.settings);
        auto* button = page.findChild<QPushButton*>("GoaAccount");
        QCOMPARE(button->isEnabled(), !noBus);
        QCOMPARE(button->toolTip().isEmpty(), !noBus);
        if (noBus) {
            UseGoa(f.state.settings, kAccountId, *port);
        } else {
            page.show();
            button->click();
            auto* menu = page.findChild<QMenu*>("GoaMenu");
            QTRY_VERIFY(menu->isVisible());
            QCOMPARE(menu->actions().size(), 1);
            QVERIFY2(menu->actions().first()->text().startsWith("alice@example.org（"),
                     qPrintable(menu->actions().first()->text()));
            menu->actions().first()->trigger();
            QVERIFY(!page.findChild<QLineEdit*>("ServerAddress")->isEnabled());
            bool changed = false;
            page.Apply(f.state.settings, changed);
            const AccountSettings& a = f.state.settings;
            QCOMPARE(QStringList({QString::number(a.Auth), a.Goa, a.Server, QString::number(a.Port),
                                  QString::number(a.Security), a.LoginName, a.LoginPass}),
                     QStringList({"1", kAccountId, "127.0.0.1", QString::number(*port), "2", "alice", ""}));
        }
        if (QTest::currentDataTag() == QByteArray("removed from GOA")) {
            QVERIFY(goa.WriteNoAccounts());
            QVERIFY(goa.WaitForAccounts(0));
        }
        QVERIFY(f.run());
        if (line.isEmpty()) QCOMPARE(f.state.MailTotal, qint16(3));
        else QCOMPARE(f.shell.said, line);
        QVERIFY(f.state.settings.LoginPass.isEmpty());
        QVERIFY(!f.log().contains("secret"));
        QVERIFY(f.readyAgain());
    }

    // A refused token is renewed once (EnsureCredentials, a new token, one
    // more login); then she asks for a sign-in, and the watch holds.
    void tokens_data() {
        QTest::addColumn<bool>("watch");
        QTest::addColumn<bool>("attention");
        QTest::addColumn<bool>("ensureRefused");
        QTest::addColumn<int>("tokens");  // asked for
        QTest::newRow("refused, renewed, refused again") << false << false << false << 2;
        QTest::newRow("renewal refused by GOA") << false << false << true << 1;
        QTest::newRow("attention needed") << false << true << false << 0;
        QTest::newRow("the watch, refused twice") << true << false << false << 2;
    }
    void tokens() {
        QFETCH(bool, watch);
        QFETCH(bool, attention);
        QFETCH(bool, ensureRefused);
        QFETCH(int, tokens);
        const auto port = Dovecot::Port("VELMIO_IMAPS_PORT");
        REQUIRE_REAL_PART(port, "Dovecot");
        GoaStandIn goa(*port, {"expired-token", "refused-token"});
        QVERIFY(goa.Register());
        goa.attentionNeeded = attention;
        goa.ensureRefused = ensureRefused;
        MailFixture f(*port);
        UseGoa(f.state.settings, "token", *port);
        if (watch) {
            ImapWatch w;
            w.SetTrustStore(Dovecot::Authority());
            QSignalSpy held(&w, &ImapWatch::LoginRefused);
            w.Follow(f.state.settings);
            QVERIFY(held.wait(15000));
            // The same account again: no new token, no new login.
            w.Follow(f.state.settings);
            QTest::qWait(300);
            QCOMPARE(held.count(), 1);
        } else {
            f.check.SetTrustStore(Dovecot::Authority());
            QVERIFY(f.run());
            QCOMPARE(f.shell.said, kSignInAgain);
            QVERIFY(!f.log().contains("-token"));
            QVERIFY(f.readyAgain());
        }
        QCOMPARE(goa.tokensGiven, tokens);
        QCOMPARE(goa.ensured, int(tokens == 2 || ensureRefused));
    }
};

QTEST_MAIN(GoaTest)
#include "tst_goa.moc"
