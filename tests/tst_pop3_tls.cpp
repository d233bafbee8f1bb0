#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>

#include "platform/cp932.h"
#include "support/dovecot.h"
#include "support/mail_fixture.h"
#include "support/scripted_pop3_server.h"

using namespace velmio;
using namespace velmio::test;

namespace {

const QString kNoEncryptionLine = QStringLiteral("暗号化できないサーバーみたい…");
const QString kCertificateLine = QStringLiteral("証明書を確かめられなかったよ…");

// A check of the test run's Dovecot (port from variable) with the test
// authority as its only trusted one.
struct SecureFixture : MailFixture {
    SecureFixture(quint16 port, int security, bool apop = false) : MailFixture(port) {
        state.settings.Security = static_cast<qint16>(security);
        state.settings.Apop = apop;
        check.SetTrustStore(Dovecot::Authority());
    }
};

void Trust(QDialog& dialog) {
    for (QAbstractButton* b : static_cast<QMessageBox&>(dialog).buttons())
        if (b->text() == "信頼する") b->click();
}

}  // namespace

// Encrypted checks and APOP against the real Dovecot, the certificate
// question against its self-signed twin, and servers that refuse encryption.
class Pop3TlsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (!Dovecot::Port("VELMIO_POP3S_SELF_PORT")) QSKIP("no TLS Dovecot (run under scripts/test)");
    }

    void dovecot_data() {
        QTest::addColumn<int>("security");
        QTest::addColumn<bool>("apop");
        QTest::addColumn<QByteArray>("pass");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("sent");  // what the relay saw, as a pattern; empty: not plain text
        const QString listed = "List\r\nquit\r\n";
        QTest::newRow("SSL/TLS") << 2 << false << QByteArray("secret") << ExistLine(3) << "";
        QTest::newRow("STARTTLS") << 1 << false << QByteArray("secret") << ExistLine(3) << "STLS\r\n(?!.*secret).*";
        QTest::newRow("APOP, plain") << 0 << true << QByteArray("secret") << ExistLine(3)
                                     << "APOP alice [0-9a-f]{32}\r\n" + listed;
        QTest::newRow("APOP, SSL/TLS") << 2 << true << QByteArray("secret") << ExistLine(3) << "";
        QTest::newRow("APOP, STARTTLS") << 1 << true << QByteArray("secret") << ExistLine(3) << "STLS\r\n.*";
        QTest::newRow("APOP, wrong password") << 0 << true << QByteArray("wrong") << kWrongLoginLine
                                              << "APOP alice [0-9a-f]{32}\r\n";
    }
    void dovecot() {
        QFETCH(int, security);
        QFETCH(bool, apop);
        QFETCH(QByteArray, pass);
        QFETCH(QString, said);
        QFETCH(QString, sent);
        Pop3Tap tap(*Dovecot::Port(security == 2 ? "VELMIO_POP3S_PORT" : "VELMIO_POP3_PORT"));
        SecureFixture f(tap.port(), security, apop);
        f.state.settings.LoginPass = pass;
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, said);
        QVERIFY2(f.shell.messages.isEmpty() && f.shell.questions.isEmpty(), qPrintable(f.shell.calls.join(" | ")));
        QVERIFY(f.readyAgain());
        if (security) QVERIFY(!tap.sent.contains(pass) && !tap.sent.contains("user") && !tap.sent.contains("APOP"));
        if (!sent.isEmpty()) {
            const QRegularExpression pattern("\\A(?:" + sent + ")\\z", QRegularExpression::DotMatchesEverythingOption);
            QVERIFY2(pattern.match(QString::fromLatin1(tap.sent)).hasMatch(), tap.sent.left(80).constData());
        }
    }

    // Asked once and trusted, the next check asks nothing; another
    // certificate asks again, saying first that it changed.
    void selfSignedTrustedOnFirstUse_data() {
        QTest::addColumn<int>("security");
        QTest::newRow("SSL/TLS") << 2;
        QTest::newRow("STARTTLS") << 1;
    }
    void selfSignedTrustedOnFirstUse() {
        QFETCH(int, security);
        SecureFixture f(*Dovecot::Port(security == 2 ? "VELMIO_POP3S_SELF_PORT" : "VELMIO_POP3_SELF_PORT"), security);
        const QSslCertificate self = QSslCertificate::fromPath(qEnvironmentVariable("VELMIO_POP3_DIR") + "/self.pem")[0];
        const QString digest = self.digest(QCryptographicHash::Sha256).toHex();
        f.shell.onQuestion = Trust;
        for (int round = 0; round < 2; ++round) {
            QVERIFY(f.run());
            QCOMPARE(f.shell.said, ExistLine(3));
            QCOMPARE(f.state.settings.CertPin, digest);
            QCOMPARE(f.shell.calls.count("question"), 1);
            QCOMPARE(f.shell.calls.count("store pin"), 1);
        }
        const QString& asked = f.shell.questions[0];
        QVERIFY2(asked.startsWith("この証明書を信頼しますか？") && asked.contains("自分で署名") &&
                     asked.contains(digest.left(4) + ' ' + digest.mid(4, 4)) && asked.contains("Velmio Self"),
                 qPrintable(asked));

        f.state.settings.CertPin = QString(64, 'a');  // trusted before: another certificate
        f.shell.onQuestion = nullptr;                  // Cancel
        QVERIFY(f.run());
        QCOMPARE(f.shell.questions.size(), 2);
        QVERIFY2(f.shell.questions[1].startsWith("このサーバーの証明書は、前に信頼したときのものから変わっています"),
                 qPrintable(f.shell.questions[1]));
        QCOMPARE(f.shell.said, kCertificateLine);
        QCOMPARE(f.shell.picture, 4);
        QCOMPARE(f.state.settings.CertPin, QString(64, 'a'));
        QVERIFY(DecodeCp932(f.log()).contains("Certificate Error: "));
        QVERIFY(f.readyAgain());
    }

    // Servers that will not encrypt: the check ends before the login.
    void noEncryptionNoLogin_data() {
        QTest::addColumn<int>("security");
        QTest::addColumn<QList<Pop3Turn>>("script");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("box");  // the one message box, as its beginning
        QTest::addColumn<QString>("log");  // the log entry's beginning
        const QByteArray hi = "+OK ready\r\n";
        QTest::newRow("no STLS") << 1 << QList<Pop3Turn>{{hi}, {"-ERR Unknown command\r\n"}} << kNoEncryptionLine
                                 << "" << "STLS Error: -ERR Unknown command";
        QTest::newRow("STLS agreed, then no handshake")
            << 1 << QList<Pop3Turn>{{hi}, {"+OK Begin TLS\r\n", Pop3Turn::Close}} << kNoEncryptionLine << ""
            << "STLS Error: 暗号化の途中でサーバーが接続を切りました";
        // A plain server on a TLS port: the socket-error path, one sound 5.
        QTest::newRow("SSL/TLS to a plain server")
            << 2 << QList<Pop3Turn>{{hi}} << kFailedLine << "Error: サーバーがTLSで答えませんでした"
            << "Winsock ErrCd:12157 ErrMes:サーバーがTLSで答えませんでした";
    }
    void noEncryptionNoLogin() {
        QFETCH(int, security);
        QFETCH(QList<Pop3Turn>, script);
        QFETCH(QString, said);
        QFETCH(QString, box);
        QFETCH(QString, log);
        ScriptedPop3Server server(script);
        SecureFixture f(server.port(), security);
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, said);
        QCOMPARE(f.shell.picture, 4);
        QCOMPARE(f.shell.calls.count("sound 5"), 1);
        QVERIFY(f.shell.calls.filter(QRegularExpression("^msg ")).isEmpty());
        QVERIFY2(box.isEmpty() ? f.shell.messages.isEmpty() : f.shell.messages.value(0).startsWith(box),
                 qPrintable(f.shell.messages.join(" | ")));
        QVERIFY2(DecodeCp932(f.log()).contains(log), qPrintable(DecodeCp932(f.log())));
        QCOMPARE(server.lines().mid(0, 1), security == 1 ? QList<QByteArray>{"STLS\r\n"} : QList<QByteArray>{});
        for (const QByteArray& line : server.lines()) QVERIFY(!line.contains("secret") && !line.startsWith("user"));
        QVERIFY(f.readyAgain());
    }

    void apopWithoutTimestampSendsNothing() {
        ScriptedPop3Server server({{"+OK ready\r\n"}});
        SecureFixture f(server.port(), 0, true);
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, QStringLiteral("APOPが使えないサーバーみたい…"));
        QCOMPARE(f.shell.picture, 4);
        QVERIFY(server.lines().isEmpty());
        QVERIFY(f.readyAgain());
    }
};


QTEST_MAIN(Pop3TlsTest)
#include "tst_pop3_tls.moc"
