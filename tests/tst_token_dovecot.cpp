#include <QtTest>

#include "mail/imap/imap_session.h"
#include "mail/pop3/pop3_session.h"
#include "support/dovecot.h"
#include "support/jwt.h"
#include "support/real_part.h"

using namespace velmio;
using namespace velmio::test;
using K = SessionOutcome::Kind;

namespace {

struct Row {
    const char* port;  // the listener's variable; the self-signed twin offers OAUTHBEARER alone
    QByteArray jwt;
    QString login = QStringLiteral("alice");
    K kind = K::Finished;
    int security = 2;
};

}  // namespace

Q_DECLARE_METATYPE(Row)

// Sign-in with tokens that Dovecot checks itself, through a relay that
// records what the client sent.
class TokenDovecotTest : public QObject {
    Q_OBJECT
private slots:
    void init() { REQUIRE_REAL_PART(!qEnvironmentVariableIsEmpty("VELMIO_OAUTH2_KEY"), "Dovecot with tokens"); }

    void signIn_data() {
        QTest::addColumn<Row>("r");
        const QByteArray valid = MintJwt("alice", 600);
        // Padded to some 2,300 bytes: the POP3 line after "+" holds the whole token.
        const QByteArray long2k = MintJwt("alice", 600, TokenIssuer(), {{"pad", QString(1500, 'x')}});
        QTest::newRow("IMAPS XOAUTH2") << Row{"VELMIO_IMAPS_PORT", valid};
        QTest::newRow("IMAPS OAUTHBEARER") << Row{"VELMIO_IMAPS_SELF_PORT", valid};
        QTest::newRow("POP3S XOAUTH2") << Row{"VELMIO_POP3S_PORT", valid};
        QTest::newRow("POP3S OAUTHBEARER") << Row{"VELMIO_POP3S_SELF_PORT", valid};
        QTest::newRow("POP3S 2 KB token") << Row{"VELMIO_POP3S_PORT", long2k};
        QTest::newRow("IMAPS expired") << Row{"VELMIO_IMAPS_PORT", MintJwt("alice", -60), "alice", K::LoginRefused};
        QTest::newRow("POP3S OAUTHBEARER expired")
            << Row{"VELMIO_POP3S_SELF_PORT", MintJwt("alice", -60), "alice", K::LoginRefused};
        QTest::newRow("IMAPS OAUTHBEARER wrong user") << Row{"VELMIO_IMAPS_SELF_PORT", valid, "mixed", K::LoginRefused};
        QTest::newRow("POP3S wrong issuer")
            << Row{"VELMIO_POP3S_PORT", MintJwt("alice", 600, "https://elsewhere.invalid"), "alice", K::LoginRefused};
        QTest::newRow("IMAP STARTTLS XOAUTH2") << Row{"VELMIO_IMAP_PORT", valid, "alice", K::Finished, 1};
        // Dovecot would take it there; nothing at all is sent.
        QTest::newRow("IMAP plain link") << Row{"VELMIO_IMAP_PORT", valid, "alice", K::Unsafe, 0};
        QTest::newRow("POP3 plain link") << Row{"VELMIO_POP3_PORT", valid, "alice", K::Unsafe, 0};
    }
    void signIn() {
        QFETCH(Row, r);
        const bool imap = QByteArray(r.port).contains("IMAP");
        std::unique_ptr<MailSession> session;
        if (imap) session = std::make_unique<ImapSession>();
        else session = std::make_unique<Pop3Session>();
        session->SetReplyTimeout(5000);
        session->SetTrustStore(Dovecot::Authority());
        Account a;
        a.protocol = imap ? Account::Protocol::Imap : Account::Protocol::Pop3;
        a.server = QStringLiteral("127.0.0.1");
        Pop3Tap tap(Dovecot::Port(r.port).value_or(1));
        a.port = tap.port();
        a.security = qint16(r.security);
        a.login = r.login;
        a.password = QString::fromLatin1(r.jwt);
        a.token = true;
        const auto self = QSslCertificate::fromPath(qEnvironmentVariable("VELMIO_POP3_DIR") + "/self.pem");
        if (!self.isEmpty()) a.pin = QString::fromLatin1(self.first().digest(QCryptographicHash::Sha256).toHex());
        std::optional<MailboxCount> counted;
        QObject::connect(session.get(), &MailSession::Counted, session.get(), [&](const MailboxCount& c) {
            counted = c;
            session->Finish();
        });
        std::optional<K> ended;
        QObject::connect(session.get(), &MailSession::Ended, session.get(),
                         [&](const SessionOutcome& o) { ended = o.kind; });
        session->Start(a, false);
        QTRY_VERIFY_WITH_TIMEOUT(ended.has_value(), 10000);
        QCOMPARE(int(*ended), int(r.kind));
        QCOMPARE(counted.has_value(), r.kind == K::Finished);
        if (r.security == 0) QCOMPARE(tap.sent, QByteArray());
        if (counted)
            QCOMPARE(imap ? counted->unread.value_or(-1) : counted->listReply.section(' ', 1, 1).toLongLong(), qint64(3));
    }
};

QTEST_GUILESS_MAIN(TokenDovecotTest)
#include "tst_token_dovecot.moc"
