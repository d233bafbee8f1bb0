#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>

#include "platform/cp932.h"
#include "support/dovecot.h"
#include "support/mail_fixture.h"
#include "support/real_part.h"
#include "support/scripted_server.h"

using namespace velmio;
using namespace velmio::test;

namespace {

// A check with the test authority as the only trusted one.
struct SecureFixture : MailFixture {
    SecureFixture(quint16 port, int security, bool apop = false) : MailFixture(port) {
        state.settings.Security = static_cast<qint16>(security);
        state.settings.Apop = apop;
        check.SetTrustStore(Dovecot::Authority());
    }
};

quint16 PortOf(const char* variable) { return Dovecot::Port(variable).value_or(0); }

bool Matches(const QByteArray& text, const QString& pattern) {
    return QRegularExpression("\\A(?:" + pattern + ")\\z", QRegularExpression::DotMatchesEverythingOption)
        .match(QString::fromLatin1(text))
        .hasMatch();
}

}  // namespace

// Encrypted checks and APOP against the real Dovecot, the certificate
// question against its self-signed twin, and servers that refuse encryption.
class Pop3TlsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        REQUIRE_REAL_PART(PortOf("VELMIO_POP3S_SELF_PORT"), "TLS Dovecot (VELMIO_POP3S_SELF_PORT)");
    }

    void dovecot_data() {
        QTest::addColumn<int>("security");
        QTest::addColumn<bool>("apop");
        QTest::addColumn<QByteArray>("pass");
        QTest::addColumn<QString>("sent");  // what the relay saw, as a pattern
        const QString apop = "APOP alice [0-9a-f]{32}\r\n";
        QTest::newRow("SSL/TLS") << 2 << false << QByteArray("secret") << "";
        QTest::newRow("STARTTLS") << 1 << false << QByteArray("secret") << "STLS\r\n.+";
        QTest::newRow("APOP, plain") << 0 << true << QByteArray("secret") << apop + "List\r\nquit\r\n";
        QTest::newRow("APOP, SSL/TLS") << 2 << true << QByteArray("secret") << "";
        QTest::newRow("APOP, STARTTLS") << 1 << true << QByteArray("secret") << "STLS\r\n.+";
        QTest::newRow("APOP, wrong password") << 0 << true << QByteArray("wrong") << apop;
    }
    void dovecot() {
        QFETCH(int, security);
        QFETCH(bool, apop);
        QFETCH(QByteArray, pass);
        QFETCH(QString, sent);
        Pop3Tap tap(PortOf(security == 2 ? "VELMIO_POP3S_PORT" : "VELMIO_POP3_PORT"));
        SecureFixture f(tap.port(), security, apop);
        f.state.settings.LoginPass = pass;
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, pass == "wrong" ? kWrongLoginLine : ExistLine(3));
        QVERIFY2(f.shell.messages.isEmpty() && f.shell.questions.isEmpty(), qPrintable(f.shell.calls.join(" | ")));
        QVERIFY(f.readyAgain());
        if (!sent.isEmpty()) QVERIFY2(Matches(tap.sent, sent), tap.sent.left(60).constData());
        if (security) QVERIFY(!tap.sent.contains(pass) && !tap.sent.contains("user") && !tap.sent.contains("APOP"));
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
        SecureFixture f(PortOf(security == 2 ? "VELMIO_POP3S_SELF_PORT" : "VELMIO_POP3_SELF_PORT"), security);
        const auto self = QSslCertificate::fromPath(qEnvironmentVariable("VELMIO_POP3_DIR") + "/self.pem");
        const QString digest = self.value(0).digest(QCryptographicHash::Sha256).toHex();
        f.shell.onQuestion = [](QDialog& box) {
            for (QAbstractButton* b : static_cast<QMessageBox&>(box).buttons())
                if (b->text() == "信頼する") b->click();
        };
        for (int round = 0; round < 2; ++round) {
            QVERIFY(f.run());
            QCOMPARE(f.shell.said, ExistLine(3));
            QCOMPARE(f.state.settings.CertPin, digest);
            QCOMPARE(f.shell.calls.count("question") + f.shell.calls.count("store pin"), 2);
        }
        const QString& asked = f.shell.questions[0];
        QVERIFY2(asked.startsWith("この証明書を信頼しますか？") && asked.contains("自分で署名") &&
                     asked.contains(digest.left(4) + ' ' + digest.mid(4, 4)) && asked.contains("Velmio Self"),
                 qPrintable(asked));

        f.state.settings.CertPin = QString(64, 'a');  // another certificate was trusted
        f.shell.onQuestion = nullptr;                  // Cancel
        QVERIFY(f.run());
        QVERIFY(f.shell.questions.value(1).startsWith("このサーバーの証明書は、前に信頼したときのものから変わっています"));
        QCOMPARE(f.shell.said, QStringLiteral("証明書を確かめられなかったよ…"));
        QCOMPARE(f.state.settings.CertPin, QString(64, 'a'));
        QVERIFY(DecodeCp932(f.log()).contains("Certificate Error: "));
        QVERIFY(f.readyAgain());
    }

    // Servers that will not encrypt, or not take APOP: the check ends before
    // the login, with picture 4 and sound 5 once.
    void endsBeforeLogin_data() {
        QTest::addColumn<int>("security");
        QTest::addColumn<QList<ScriptedTurn>>("script");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("box");  // the one message box's beginning
        QTest::addColumn<QString>("log");  // the log entry's beginning
        const QByteArray hi = "+OK ready\r\n";
        const QString noTls = "暗号化できないサーバーみたい…";
        QTest::newRow("no STLS") << 1 << QList<ScriptedTurn>{{hi}, {"-ERR Unknown command\r\n"}} << noTls << ""
                                 << "STLS Error: -ERR Unknown command";
        QTest::newRow("STLS agreed, then no handshake")
            << 1 << QList<ScriptedTurn>{{hi}, {"+OK Begin TLS\r\n", ScriptedTurn::Close}} << noTls << ""
            << "STLS Error: 暗号化の途中でサーバーが接続を切りました";
        QTest::newRow("SSL/TLS to a plain server") << 2 << QList<ScriptedTurn>{{hi}} << kFailedLine
                                                   << "Error: サーバーがTLSで答えませんでした"
                                                   << "Winsock ErrCd:12157 ErrMes:サーバーがTLSで答えませんでした";
        QTest::newRow("APOP, no timestamp") << -1 << QList<ScriptedTurn>{{hi}} << "APOPが使えないサーバーみたい…" << ""
                                            << "APOP Error";
    }
    void endsBeforeLogin() {
        QFETCH(int, security);
        QFETCH(QList<ScriptedTurn>, script);
        QFETCH(QString, said);
        QFETCH(QString, box);
        QFETCH(QString, log);
        ScriptedServer server(script);
        SecureFixture f(server.port(), qMax(security, 0), security < 0);
        QVERIFY(f.run());
        QCOMPARE(f.shell.said, said);
        QCOMPARE(f.shell.picture, 4);
        QCOMPARE(f.shell.calls.count("sound 5"), 1);  // the box adds none
        const QStringList& boxes = f.shell.messages;
        QVERIFY(box.isEmpty() ? boxes.isEmpty() : boxes.size() == 1 && boxes[0].startsWith(box));
        QVERIFY2(DecodeCp932(f.log()).contains(log), qPrintable(DecodeCp932(f.log())));
        QCOMPARE(server.lines().mid(0, 1), security == 1 ? QList<QByteArray>{"STLS\r\n"} : QList<QByteArray>{});
        for (const QByteArray& line : server.lines()) QVERIFY(!line.contains("secret") && !line.startsWith("user"));
        QVERIFY(f.readyAgain());
    }
};

QTEST_MAIN(Pop3TlsTest)
#include "tst_pop3_tls.moc"
