#include <QtTest>

#include "mail/pop3/apop.h"

using namespace velmio;

// The APOP pieces that read what a server sends.
class ApopTest : public QObject {
    Q_OBJECT
private slots:
    void timestamp_data() {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("stamp");
        QTest::newRow("Dovecot") << QByteArray("+OK Dovecot (Debian) ready. <5d4d.5.6b16afac.cq1p==@vm>\r\n")
                                 << QByteArray("<5d4d.5.6b16afac.cq1p==@vm>");
        QTest::newRow("none") << QByteArray("+OK Dovecot (Debian) ready.\r\n") << QByteArray();
        QTest::newRow("never closed") << QByteArray("+OK ready <1896.697@host\r\n") << QByteArray();
        QTest::newRow("blank inside") << QByteArray("+OK <a b@host>\r\n") << QByteArray();
        QTest::newRow("empty brackets") << QByteArray("+OK <>\r\n") << QByteArray();
        QTest::newRow("only on a later line") << QByteArray("+OK ready\r\n<1@h>\r\n") << QByteArray();
        QTest::newRow("first of two") << QByteArray("+OK <1@h> <2@h>") << QByteArray("<1@h>");
    }
    void timestamp() {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, stamp);
        QCOMPARE(ApopTimestamp(greeting), stamp);
    }

    void digestOfTheStandardsExample() {
        QCOMPARE(ApopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"),
                 QByteArray("c4c9334bac560ecc979e58001b3e22fb"));
    }
};

QTEST_APPLESS_MAIN(ApopTest)
#include "tst_apop.moc"
