#include <QElapsedTimer>
#include <QStringEncoder>
#include <QtTest>

#include "mail/mail_header.h"

using namespace velmio;

static QByteArray Bytes(const char* charset, const QString& text) {
    QStringEncoder encoder(charset, QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder(text);
    // Qt leaves ISO-2022-JP shifted out at the end; mailers shift back.
    if (qstrcmp(charset, "ISO-2022-JP") == 0) bytes += "\x1b(B";
    return bytes;
}

static QByteArray Q(const QByteArray& bytes) {
    QByteArray q;
    for (const char c : bytes) q += c == ' ' ? QByteArray("_") : QByteArray(1, c).toPercentEncoding().replace('%', '=');
    return q;
}

// An encoded word of text in charset; "q" or "b" as the encoding.
static QByteArray Word(const char* charset, const QString& text, const char* encoding = "B") {
    const QByteArray bytes = Bytes(charset, text);
    const bool q = qstricmp(encoding, "q") == 0;
    return "=?" + QByteArray(charset) + '?' + encoding + '?' + (q ? Q(bytes) : bytes.toBase64()) + "?=";
}

class MailHeaderTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("subject");
        QTest::newRow("ISO-2022-JP subject") << "From: a@example.jp\r\nSubject: " + Word("ISO-2022-JP", "会議のお知らせ") + "\r\n\r\n"
                                             << "a" << "会議のお知らせ";
        QTest::newRow("Q-encoded UTF-8 name") << "From: " + Word("utf-8", "山田 太郎", "q") + " <taro@example.jp>\r\n"
                                              << "山田 太郎" << "";
        // 表 ends in a backslash byte, which is no escape inside the quotes.
        QTest::newRow("raw Shift_JIS") << "From: \"" + Bytes("Shift_JIS", "表計算 太郎") + "\" <hyo@example.jp>\r\nSubject: " +
                                              Bytes("Shift_JIS", "予定表") + "\r\n"
                                       << "表計算 太郎" << "予定表";
        // 、 is the bytes !" once shifted, which is no quote.
        QTest::newRow("raw ISO-2022-JP") << "From: " + Bytes("ISO-2022-JP", "山田、太郎") + " <yamada@example.jp>\r\n"
                                         << "山田、太郎" << "";
        const QByteArray hello = QStringLiteral("こんにちは").toUtf8();
        QTest::newRow("folded, a character split across two words")
            << "Subject: =?UTF-8?B?" + hello.left(4).toBase64() + "?=\n\t=?UTF-8?B?" + hello.mid(4).toBase64() + "?=\n"
            << "" << "こんにちは";
        QTest::newRow("no Subject") << QByteArray("X-Subject: no\r\nfrom: <taro@example.jp>\r\n\r\nSubject: body\r\n")
                                    << "taro" << "";
        // Without a name, the part before "@" is how people call a sender.
        QTest::newRow("address alone in brackets") << QByteArray("From: <sender3@example.org>\r\n") << "sender3" << "";
        QTest::newRow("name that is the address")
            << QByteArray("From: \"Sender3@Example.org\" <sender3@example.org>\r\n") << "Sender3" << "";
        QTest::newRow("blank before the @") << QByteArray("From: taro @example.jp\r\n") << "taro" << "";
        QTest::newRow("no @ to cut at") << QByteArray("From: <postmaster>\r\n") << "postmaster" << "";
        QByteArray big = "Subject: ";
        while (big.size() < 100 * 1024) big += "=?UTF-8?B?44GC?=\r\n ";
        QTest::newRow("100 KiB header, read to 64 KiB") << big + "\r\nFrom: late@example.jp\r\n"
                                                        << "" << QString(999, u'あ') + u'…';
        QTest::newRow("unknown charset") << "Subject: Re: =?x-velmio?B?44GC?= " + Word("UTF-8", "あ") + "\r\n"
                                         << "" << "Re: =?x-velmio?B?44GC?= あ";
        // A dangling sixth of a byte, which Qt's base64 would drop unsaid.
        QTest::newRow("broken base64") << QByteArray("From: =?UTF-8?B?44GCx?= <b@example.jp>\r\nSubject: =?UTF-8?B?4!GC?=\r\n")
                                       << "=?UTF-8?B?44GCx?=" << "=?UTF-8?B?4!GC?=";
        QTest::newRow("CP932-only characters under Shift_JIS")
            << "Subject: " + Word("windows-31j", "①㈱～").replace("windows-31j", "Shift_JIS") + "\r\n" << "" << "①㈱～";
        QTest::newRow("escaped quotes, the first of several")
            << QByteArray("From: \"Taro \\\"T\\\" Yamada\" <taro@example.jp>, Hanako <hanako@example.jp>\r\n")
            << "Taro \"T\" Yamada" << "";
        QTest::newRow("address with a comment") << QByteArray("From: taro@example.jp (Taro Yamada)\r\n") << "Taro Yamada" << "";
        QTest::newRow("control characters") << QByteArray("Subject: =?UTF-8?Q?_a=0D=0Ab=09c?=\r\n") << "" << "a b c";
    }

    void parse() {
        QFETCH(QByteArray, header);
        QFETCH(QString, from);
        QFETCH(QString, subject);
        QElapsedTimer timer;
        timer.start();
        const MailHeader h = ParseMailHeader(header);
        QCOMPARE(h.from, from);
        QCOMPARE(h.subject, subject);
        QVERIFY(timer.elapsed() < 1000);
    }

    void elide_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("elided");
        QTest::newRow("fits") << "abcde" << 5 << "abcde";
        QTest::newRow("cut") << "abcdef" << 5 << "abcd…";
        QTest::newRow("surrogate pair at the cut") << "abc😀def" << 5 << "abc…";
        QTest::newRow("room for the mark alone") << "abc" << 1 << "…";
        // A character as the reader sees it stays whole.
        QTest::newRow("combining accent at the cut") << "abce\u0301fg" << 5 << "abc…";
        QTest::newRow("kana with a combining voiced mark") << "かか\u3099きく" << 3 << "か…";
        QTest::newRow("flag of two regional indicators") << "ab🇯🇵cd" << 6 << "ab…";
    }

    void elide() {
        QFETCH(QString, text);
        QFETCH(int, max);
        QTEST(Elide(text, max), "elided");
    }
};

QTEST_GUILESS_MAIN(MailHeaderTest)
#include "tst_mail_header.moc"
