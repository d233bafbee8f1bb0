#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "character/event_sounds.h"
#include "core/app_state.h"
#include "mail/auth/device_grant_source.h"
#include "mail/auth/oauth_endpoint.h"
#include "mail/imap/imap_session.h"
#include "platform/clock.h"
#include "platform/password_keyring.h"
#include "settings_dialog/form3.h"
#include "settings_dialog/sign_in_dialog.h"
#include "support/dovecot.h"
#include "support/fakes.h"
#include "support/jwt.h"
#include "support/real_part.h"
#include "support/token_endpoint.h"

using namespace velmio;
using namespace velmio::test;

namespace {

constexpr int kMsPerSecond = 40;  // the endpoint's seconds, shortened
const QString kSignedIn = QStringLiteral("サインインできたよ！");

// What the Secret Service holds at a place, read by another program.
QString Lookup(const QString& place) {
    QProcess tool;
    tool.start("secret-tool", {"lookup", "server", "velmio-check", "user", place});
    tool.waitForFinished(5000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

AccountSettings TestAccount(const TokenEndpoint& endpoint) {
    AccountSettings a;
    a.Server = "127.0.0.1", a.LoginName = "alice", a.Protocol = kImap, a.Port = 993, a.Security = 2;
    a.Auth = kAuthDeviceGrant, a.OAuthClientId = "test-client", a.OAuthAuthority = endpoint.authority();
    return a;
}

// One letter an answer: Ready, Missing, Unavailable, or Sign in again.
QString Letter(const CredentialAnswer& answer) {
    return QString("RMUS").at(static_cast<int>(answer.kind));
}

}  // namespace

class DeviceGrantTest : public QObject {
    Q_OBJECT
    SecretServiceKeyring keyring_;

private slots:
    void init() { REQUIRE_REAL_PART(keyring_.Available(), "the keyring"); }

    // The dialog through a whole sign-in against the endpoint's answers.
    void signIn_data() {
        QTest::addColumn<QString>("authority");  // empty: the endpoint's
        QTest::addColumn<int>("interval");       // of the device code, and how long it lasts
        QTest::addColumn<int>("expires");
        QTest::addColumn<QList<QByteArray>>("polls");
        QTest::addColumn<bool>("cancel");  // after the first poll
        QTest::addColumn<QString>("said");
        const QByteArray pending = ErrorBody("authorization_pending");
        const QString expired = QStringLiteral("コードの期限が切れちゃった。もう一度やり直してね");
        const QString denied = QStringLiteral("サインインが断られちゃった…");
        using L = QList<QByteArray>;
        QTest::newRow("pending, slow down, success")
            << "" << 1 << 900 << L{pending, ErrorBody("slow_down"), GrantedBody("at-1", "rt-1")} << false << kSignedIn;
        QTest::newRow("expired") << "" << 1 << 900 << L{pending, ErrorBody("expired_token")} << false << expired;
        QTest::newRow("access denied") << "" << 1 << 900 << L{ErrorBody("access_denied")} << false << denied;
        QTest::newRow("declined, as Microsoft says it") << "" << 1 << 900 << L{ErrorBody("authorization_declined")} << false << denied;
        QTest::newRow("code runs out while pending") << "" << 1 << 4 << L{pending} << false << expired;
        QTest::newRow("cancel stops polling") << "" << 5 << 900 << L{pending} << true
                                              << "ブラウザでサインインするのを待ってるよ…";
        QTest::newRow("plain http off loopback") << "http://login.example.org/common" << 1 << 900 << L{} << false
                                                 << "OAuthAuthority のアドレスが https じゃないから、サインインには使えないよ";
    }
    void signIn() {
        QFETCH(QString, authority);
        QFETCH(int, interval);
        QFETCH(int, expires);
        QFETCH(QList<QByteArray>, polls);
        QFETCH(bool, cancel);
        QFETCH(QString, said);
        TokenEndpoint endpoint;
        endpoint.deviceCode = {DeviceCodeBody(endpoint, interval, expires)};
        endpoint.token = polls;
        AccountSettings account = TestAccount(endpoint);
        if (!authority.isEmpty()) account.OAuthAuthority = authority;
        keyring_.Remove(TokenPlace(account));
        QStringList opened;
        SignInDialog dialog(account, {&keyring_, [&](const QString& a) { opened << a; }, kMsPerSecond});
        dialog.show();
        auto* state = dialog.findChild<QLabel*>("SignInState");
        if (cancel) {
            QTRY_COMPARE(endpoint.to("/token").size(), 1);
            dialog.findChild<QPushButton*>("Cancel")->click();
        }
        QTRY_COMPARE(state->text(), said);
        const qsizetype seen = endpoint.to("/token").size();
        QTest::qWait(12 * kMsPerSecond);  // nothing more after the end
        QCOMPARE(endpoint.to("/token").size(), seen);
        // A last pending answer repeats until the end; any other ends it.
        QVERIFY(polls.isEmpty() || polls.last().contains("pending") ? seen >= polls.size() : seen == polls.size());
        QCOMPARE(Lookup(TokenPlace(account)), said == kSignedIn ? "rt-1" : "");
        QCOMPARE(dialog.SignedIn(), said == kSignedIn);
        if (!authority.isEmpty()) {
            QVERIFY(endpoint.requests.isEmpty() && opened.isEmpty());
            return;
        }

        QCOMPARE(opened, QStringList{endpoint.authority() + "/device"});
        QCOMPARE(dialog.findChild<QLabel*>("UserCode")->text(), "VELM-1O2K");
        const QUrlQuery asked = endpoint.to("/devicecode").value(0).form;
        QCOMPARE(asked.queryItemValue("client_id"), "test-client");
        QCOMPARE(asked.queryItemValue("scope", QUrl::FullyDecoded),
                 "https://outlook.office.com/IMAP.AccessAsUser.All offline_access");
        for (const TokenEndpoint::Request& poll : endpoint.to("/token"))
            QCOMPARE(poll.form.queryItemValue("grant_type", QUrl::FullyDecoded),
                     "urn:ietf:params:oauth:grant-type:device_code");
        // slow_down adds five seconds to every later wait.
        const QList<TokenEndpoint::Request> p = endpoint.to("/token");
        if (p.size() == 3) {
            const qint64 first = p[1].at - p[0].at, second = p[2].at - p[1].at;
            QVERIFY2(second >= qint64(5.7 * kMsPerSecond) && second - first >= qint64(4 * kMsPerSecond),
                     qPrintable(QString("waits %1, %2 ms").arg(first).arg(second)));
        }
    }

    // Microsoft on the server page: its server and port, her own sign-in
    // opened at once, and pressed again the password back.
    void microsoftChoice_data() {
        QTest::addColumn<qint16>("protocol");
        QTest::addColumn<int>("presses");
        QTest::addColumn<QString>("account");  // Server:Port Security Auth after OK
        QTest::newRow("POP3") << kPop3 << 1 << "outlook.office365.com:995 2 2";
        QTest::newRow("IMAP") << kImap << 1 << "outlook.office365.com:993 2 2";
        QTest::newRow("pressed again") << kImap << 2 << "outlook.office365.com:993 2 0";
    }
    void microsoftChoice() {
        QFETCH(qint16, protocol);
        QFETCH(int, presses);
        QFETCH(QString, account);
        QTemporaryDir folder;
        AppState state;
        state.paths = AppPaths::ProgramFolder(folder.path());
        state.settings.Server = "pop.example.org", state.settings.LoginName = "hanako@outlook.jp";
        state.settings.Port = 110, state.settings.Protocol = protocol;
        RecordingSound sound;
        EventSounds sounds(state, sound);
        Form3Services services;
        services.sounds = &sounds, services.keyring = &keyring_;
        Form3 dialog(state, services);
        dialog.show();
        QStringList signIns;
        for (int i = 0; i < presses; ++i) {
            QTimer::singleShot(100, &dialog, [&] {
                auto* signIn = qobject_cast<SignInDialog*>(QApplication::activeModalWidget());
                signIns << (signIn ? signIn->findChild<QLabel*>("Label1")->text() : "none");
                if (signIn) signIn->reject();
            });
            dialog.findChild<QPushButton*>("MicrosoftSignIn")->click();
        }
        QTRY_COMPARE(signIns.size(), presses);
        QCOMPARE(signIns.count("none"), presses - 1);  // opened only when chosen
        QVERIFY(signIns[0].contains("hanako@outlook.jp"));
        QVERIFY(dialog.findChild<QLineEdit*>("LoginPass")->isEnabled() == (presses == 2));
        dialog.accept();
        const AppSettings& s = state.settings;
        QCOMPARE(QString("%1:%2 %3 %4").arg(s.Server).arg(s.Port).arg(s.Security).arg(s.Auth), account);
    }

    // The source through a sequence of fetches: "fetch", "refused", or
    // "+N" seconds on the clock.
    void source_data() {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QString>("saved");  // the refresh token in the keyring before
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("letters");
        QTest::addColumn<int>("refreshes");
        QTest::addColumn<QString>("savedAfter");
        const QList<QByteArray> two{GrantedBody("at-1", "rt-2"), GrantedBody("at-2", "")};
        QTest::newRow("kept while fresh") << two << "rt-1" << QStringList{"fetch", "+3000", "fetch"} << "RR" << 1 << "rt-2";
        QTest::newRow("renewed shortly before expiry") << two << "rt-1" << QStringList{"fetch", "+3400", "fetch"} << "RR" << 2 << "rt-2";
        QTest::newRow("refused login renews once")
            << two << "rt-1" << QStringList{"fetch", "refused", "refused", "fetch"} << "RRSR" << 3 << "rt-2";
        QTest::newRow("refused refresh asks for a sign-in")
            << QList<QByteArray>{ErrorBody("invalid_grant")} << "rt-1" << QStringList{"fetch"} << "S" << 1 << "rt-1";
        QTest::newRow("busy endpoint is a failed check")
            << QList<QByteArray>{ErrorBody("temporarily_unavailable")} << "rt-1" << QStringList{"fetch"} << "U" << 1 << "rt-1";
        QTest::newRow("not signed in yet") << two << "" << QStringList{"fetch"} << "M" << 0 << "";
    }
    void source() {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QString, saved);
        QFETCH(QStringList, steps);
        QFETCH(QString, letters);
        QFETCH(int, refreshes);
        QFETCH(QString, savedAfter);
        TokenEndpoint endpoint;
        endpoint.token = answers;
        const AccountSettings account = TestAccount(endpoint);
        keyring_.Remove(TokenPlace(account));
        if (!saved.isEmpty()) QVERIFY(keyring_.Write(TokenPlace(account), saved));
        ManualClock clock;
        DeviceGrantSource source(keyring_, &clock);
        QSignalSpy answered(&source, &CredentialSource::Answered);
        QString got;
        for (const QString& step : steps) {
            if (step.startsWith('+')) {
                clock.advanceSecs(step.toInt());
                continue;
            }
            source.Fetch(account, step == "refused");
            QVERIFY(answered.wait(5000));
            const auto answer = answered.takeFirst().at(0).value<CredentialAnswer>();
            got += Letter(answer);
            if (answer.kind == CredentialAnswer::Kind::Ready) QVERIFY(answer.credential.kind == Credential::Kind::Token);
        }
        QCOMPARE(got, letters);
        QCOMPARE(endpoint.to("/token").size(), refreshes);
        for (const TokenEndpoint::Request& r : endpoint.requests)
            QCOMPARE(r.form.queryItemValue("grant_type"), "refresh_token");
        QCOMPARE(Lookup(TokenPlace(account)), savedAfter);
    }

    // Tokens from the endpoint that Dovecot checks itself: one it takes, and
    // one it refuses, renewed once after the refusal.
    void tokensDovecotTakes_data() {
        QTest::addColumn<qint64>("firstExpires");  // seconds left of the first token's own expiry
        QTest::addColumn<int>("refreshes");
        QTest::newRow("valid token") << qint64(600) << 1;
        QTest::newRow("refused token renewed once") << qint64(-60) << 2;
    }
    void tokensDovecotTakes() {
        QFETCH(qint64, firstExpires);
        QFETCH(int, refreshes);
        REQUIRE_REAL_PART(!qEnvironmentVariableIsEmpty("VELMIO_OAUTH2_KEY"), "Dovecot with tokens");
        TokenEndpoint endpoint;
        // The endpoint says an hour either way, as one does for a token revoked since.
        endpoint.token = {GrantedBody(MintJwt("alice", firstExpires), ""), GrantedBody(MintJwt("alice", 600), "")};
        AccountSettings settings = TestAccount(endpoint);
        QVERIFY(keyring_.Write(TokenPlace(settings), "rt-dovecot"));
        ManualClock clock;
        DeviceGrantSource source(keyring_, &clock);
        QSignalSpy answered(&source, &CredentialSource::Answered);
        std::optional<SessionOutcome::Kind> ended;
        for (bool refused = false;; refused = true) {
            source.Fetch(settings, refused);
            QVERIFY(answered.wait(5000));
            const CredentialAnswer answer = answered.takeFirst().at(0).value<CredentialAnswer>();
            QVERIFY(answer.kind == CredentialAnswer::Kind::Ready);
            ImapSession session;
            session.SetReplyTimeout(5000);
            session.SetTrustStore(Dovecot::Authority());
            Account a;
            a.protocol = Account::Protocol::Imap, a.server = "127.0.0.1", a.security = 2, a.login = "alice";
            a.port = quint16(Dovecot::Port("VELMIO_IMAPS_PORT").value_or(1));
            a.password = answer.credential.secret, a.token = true;
            connect(&session, &MailSession::Counted, &session, [&](const MailboxCount&) { session.Finish(); });
            ended.reset();
            connect(&session, &MailSession::Ended, &session, [&](const SessionOutcome& o) { ended = o.kind; });
            session.Start(a, false);
            QTRY_VERIFY_WITH_TIMEOUT(ended.has_value(), 10000);
            if (*ended != SessionOutcome::Kind::LoginRefused || refused) break;
        }
        QCOMPARE(int(*ended), int(SessionOutcome::Kind::Finished));
        QCOMPARE(endpoint.to("/token").size(), refreshes);
    }

    // Signed in once, a new start of the program gets a token without
    // another sign-in, and the refresh token is in no file of hers.
    void restartKeepsTheSignIn() {
        TokenEndpoint endpoint;
        endpoint.deviceCode = {DeviceCodeBody(endpoint)};
        endpoint.token = {GrantedBody("at-first", "rt-kept-secret"), GrantedBody("at-after-restart", "")};
        const AccountSettings account = TestAccount(endpoint);
        {
            SignInDialog dialog(account, {&keyring_, [](const QString&) {}, kMsPerSecond});
            dialog.show();
            QTRY_VERIFY(dialog.SignedIn());
        }
        ManualClock clock;
        DeviceGrantSource restarted(keyring_, &clock);
        QSignalSpy answered(&restarted, &CredentialSource::Answered);
        restarted.Fetch(account, false);
        QVERIFY(answered.wait(5000));
        QCOMPARE(answered.at(0).at(0).value<CredentialAnswer>().credential.secret, "at-after-restart");
        QCOMPARE(endpoint.to("/devicecode").size(), 1);
        QCOMPARE(endpoint.to("/token").last().form.queryItemValue("refresh_token"), "rt-kept-secret");
        // Where her settings and logs go when installed, and the test desktop's files.
        const QString home = QDir::homePath();
        for (const QString& folder : {qEnvironmentVariable("XDG_CONFIG_HOME", home + "/.config") + "/velmio-check",
                                      qEnvironmentVariable("XDG_STATE_HOME", home + "/.local/state") + "/velmio-check",
                                      qEnvironmentVariable("VELMIO_TEST_ENV_DIR")}) {
            if (folder.isEmpty()) continue;
            for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
                QFile file(it.next());
                if (file.size() < (1 << 24) && file.open(QIODevice::ReadOnly))
                    QVERIFY2(!file.readAll().contains("rt-kept-secret"), qPrintable(file.fileName()));
            }
        }
    }
};

QTEST_MAIN(DeviceGrantTest)
#include "tst_device_grant.moc"
