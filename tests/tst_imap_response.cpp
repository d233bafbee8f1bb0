#include <QtTest>

#include "mail/imap/imap_response.h"

using namespace velmio;
using Replies = QList<QByteArray>;

// A status response or continuation and what it must read as; code is the
// code's name and what follows it, as Show writes it.
struct Status {
    QByteArray raw;
    char kind;  // 'T'agged, 'U'ntagged, '+'
    QByteArray tag, status, code, text;
};
// A data response: values as Show writes them; value is FindItem(key) in the
// last of them.
struct Data {
    QByteArray name;
    qint64 number;  // -1: none
    QByteArray values, key = {}, value = {};
};
Q_DECLARE_METATYPE(Status)
Q_DECLARE_METATYPE(Data)

// What was read, back in IMAP form with every string quoted.
static QByteArray Show(const QList<ImapValue>& values) {
    QByteArrayList parts;
    for (const ImapValue& v : values) {
        if (v.kind == ImapValue::Kind::List)
            parts << '(' + Show(v.list) + ')';
        else if (v.kind == ImapValue::Kind::String)
            parts << '"' + v.text + '"';
        else
            parts << (v.kind == ImapValue::Kind::Nil ? "NIL" : v.text);
    }
    return parts.join(' ');
}

static const QByteArray kHeader = "From: a@example.org\r\nSubject: Hi there\r\n\r\n";

class ImapResponseTest : public QObject {
    Q_OBJECT
private slots:
    void status_data() {
        QTest::addColumn<Status>("want");
        QTest::newRow("greeting") << Status{
            "* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n", 'U', "", "OK", "CAPABILITY IMAP4rev1 IDLE", "ready"};
        QTest::newRow("select") << Status{"a1 OK [READ-ONLY] done\r\n", 'T', "a1", "OK", "READ-ONLY", "done"};
        QTest::newRow("code alone") << Status{
            "* OK [UIDVALIDITY 1700000000]\r\n", 'U', "", "OK", "UIDVALIDITY 1700000000", ""};
        QTest::newRow("alert") << Status{"* NO [ALERT] Over quota\r\n", 'U', "", "NO", "ALERT", "Over quota"};
        QTest::newRow("flags code") << Status{
            "* OK [PERMANENTFLAGS (\\Seen \\*)] Limited\r\n", 'U', "", "OK", "PERMANENTFLAGS (\\Seen \\*)", "Limited"};
        QTest::newRow("code of free text") << Status{"* OK [X-ODD a \"b] c\r\n", 'U', "", "OK", "X-ODD a \"b", "c"};
        QTest::newRow("no code") << Status{"* OK [no code\r\n", 'U', "", "OK", "", "[no code"};
        QTest::newRow("lower case") << Status{
            "a2 no [authenticationfailed] Bad.\r\n", 'T', "a2", "NO", "AUTHENTICATIONFAILED", "Bad."};
        QTest::newRow("bare LF") << Status{"A003 BAD Command unknown\n", 'T', "A003", "BAD", "", "Command unknown"};
        QTest::newRow("bye") << Status{"* BYE Shutting down\r\n", 'U', "", "BYE", "", "Shutting down"};
        QTest::newRow("preauth") << Status{"* PREAUTH [ALERT] as Smith\r\n", 'U', "", "PREAUTH", "ALERT", "as Smith"};
        QTest::newRow("idling") << Status{"+ idling\r\n", '+', "", "", "", "idling"};
        QTest::newRow("plus alone") << Status{"+\r\n", '+', "", "", "", ""};
        QTest::newRow("challenge") << Status{"+ PDE4OTYuNjk3MTcwOTUy\r\n", '+', "", "", "", "PDE4OTYuNjk3MTcwOTUy"};
    }

    void status() {
        QFETCH(Status, want);
        const auto r = ParseImapResponse(want.raw);
        QVERIFY(r);
        QCOMPARE("TU+"[int(r->kind)], want.kind);
        QCOMPARE(r->tag, want.tag);
        QCOMPARE(r->status, want.status);
        QCOMPARE(r->name, want.status);
        QCOMPARE(r->code.isEmpty() ? r->code : (r->code + ' ' + Show(r->codeValues)).trimmed(), want.code);
        QCOMPARE(r->text, want.text);
        QVERIFY(!r->number && r->values.isEmpty());
    }

    void dataResponse_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<Data>("want");
        QTest::newRow("capability") << QByteArray("* CAPABILITY IMAP4rev1 IDLE\r\n")
                                    << Data{"CAPABILITY", -1, "IMAP4rev1 IDLE"};
        QTest::newRow("status") << QByteArray("* STATUS INBOX (MESSAGES 3 UNSEEN 1 UIDNEXT 4)\r\n")
                                << Data{"STATUS", -1, "INBOX (MESSAGES 3 UNSEEN 1 UIDNEXT 4)", "unseen", "1"};
        QTest::newRow("quoted name") << QByteArray("* STATUS \"A \\\"B\\\\\" (MESSAGES 0)\r\n")
                                     << Data{"STATUS", -1, "\"A \"B\\\" (MESSAGES 0)", "MESSAGES", "0"};
        QTest::newRow("literal name") << QByteArray("* STATUS {5}\r\nINBOX (UNSEEN 2)\r\n")
                                      << Data{"STATUS", -1, "\"INBOX\" (UNSEEN 2)", "UNSEEN", "2"};
        QTest::newRow("search") << QByteArray("* SEARCH 2 5 7\r\n") << Data{"SEARCH", -1, "2 5 7"};
        QTest::newRow("search, none") << QByteArray("* SEARCH\r\n") << Data{"SEARCH", -1, ""};
        QByteArrayList uids;
        for (int uid = 1; uid <= 70000; ++uid) uids << QByteArray::number(uid);
        QTest::newRow("search of a big inbox") << "* SEARCH " + uids.join(' ') + "\r\n"
                                               << Data{"SEARCH", -1, uids.join(' ')};
        QTest::newRow("search with more than numbers") << QByteArray("* SEARCH 2 5 (MODSEQ 9)\r\n")
                                                       << Data{"SEARCH", -1, "2 5 (MODSEQ 9)"};
        QTest::newRow("exists") << QByteArray("* 23 EXISTS\r\n") << Data{"EXISTS", 23, ""};
        QTest::newRow("expunge") << QByteArray("* 3 expunge\n") << Data{"EXPUNGE", 3, ""};
        QTest::newRow("flags") << QByteArray("* FLAGS (\\Seen \\Answered)\r\n")
                               << Data{"FLAGS", -1, "(\\Seen \\Answered)"};
        const QByteArray section = "BODY[HEADER.FIELDS (FROM SUBJECT)]";
        QTest::newRow("header") << "* 1 FETCH (UID 7 " + section + " {42}\r\n" + kHeader + ")\r\n"
                                << Data{"FETCH", 1, "(UID 7 " + section + " \"" + kHeader + "\")", section.toLower(),
                                        kHeader};
        QTest::newRow("two literals, NIL, nesting")
            << QByteArray("* 4 FETCH (BODY[1]<0> {3}\r\nabc ENVELOPE (nil \"Hi\" ((\"A\" NIL))) BODY[2] {0}\r\n)\r\n")
            << Data{"FETCH", 4, "(BODY[1]<0> \"abc\" ENVELOPE (NIL \"Hi\" ((\"A\" NIL))) BODY[2] \"\")", "BODY[1]<0>",
                    "abc"};
    }

    void dataResponse() {
        QFETCH(QByteArray, raw);
        QFETCH(Data, want);
        const auto r = ParseImapResponse(raw);
        QVERIFY(r);
        QCOMPARE(r->kind, ImapResponse::Kind::Untagged);
        QCOMPARE(r->name, want.name);
        QCOMPARE(r->number ? qint64(*r->number) : -1, want.number);
        QByteArrayList numbers;
        for (const quint64 n : r->numbers) numbers << QByteArray::number(n);
        QCOMPARE(r->numbers.isEmpty() ? Show(r->values) : numbers.join(' '), want.values);
        const ImapValue* value = r->values.isEmpty() ? nullptr : FindItem(r->values.last().list, want.key.constData());
        QCOMPARE(value ? value->text : QByteArray(), want.value);
        QVERIFY(r->status.isEmpty() && r->code.isEmpty() && r->text.isEmpty());
    }

    void refuse_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("open list") << QByteArray("* 1 FETCH (UID 7\r\n");
        QTest::newRow("extra close") << QByteArray("* LIST (\\Noselect)) \"/\" x\r\n");
        QTest::newRow("open quote") << QByteArray("* STATUS \"INBOX (MESSAGES 1)\r\n");
        QTest::newRow("short literal") << QByteArray("* 1 FETCH (BODY[] {10}\r\nabc)\r\n");
        QTest::newRow("long literal") << QByteArray("* 1 FETCH (BODY[] {2}\r\nabcd)\r\n");
        QTest::newRow("open section") << QByteArray("* 1 FETCH (BODY[HEADER {1}\r\nx)\r\n");
        QTest::newRow("too deep") << "* X " + QByteArray(65, '(') + QByteArray(65, ')') + "\r\n";
        QTest::newRow("no line end") << QByteArray("a1 OK done");
        QTest::newRow("text after the end") << QByteArray("a1 OK done\r\nmore\r\n");
        QTest::newRow("tagged bye") << QByteArray("a1 BYE now\r\n");
        QTest::newRow("number beyond 64 bits") << QByteArray("* 18446744073709551616 EXISTS\r\n");
        QTest::newRow("empty") << QByteArray("\r\n");
    }

    void refuse() {
        QFETCH(QByteArray, raw);
        QVERIFY(!ParseImapResponse(raw));
    }

    void deepestNestingIsRead() {
        const auto r = ParseImapResponse("* X " + QByteArray(64, '(') + QByteArray(64, ')') + "\r\n");
        QVERIFY(r && r->values.size() == 1);
    }

    void everyCutGivesTheSameReplies_data() {
        QTest::addColumn<Replies>("replies");
        QTest::newRow("session") << Replies{"* OK [CAPABILITY IMAP4rev1] ready\r\n",
                                            "a1 OK done\r\n",
                                            "+ idling\r\n",
                                            "* 1 FETCH (BODY[] {6}\r\na\r\nb\r\n BODY[1] {3}\r\nabc)\r\n",
                                            "* STATUS {5}\r\nINBOX (UNSEEN 2)\r\n",
                                            "* BYE\r\n"};
        QTest::newRow("marker inside a literal") << Replies{"* 1 FETCH (X {8}\r\na\r\n{3}\r\n)\r\n", "a OK\r\n"};
        QTest::newRow("literal ending in half a marker") << Replies{"* X {2}\r\n{3}\r\n", "a OK\r\n"};
        QTest::newRow("plus marker, bare LF") << Replies{"* 1 FETCH (BODY[] {4+}\nab\r\n)\n", "* 0 RECENT\n"};
        QTest::newRow("empty literal") << Replies{"* STATUS {0}\r\n (MESSAGES 0)\r\n", "a OK\r\n"};
        QTest::newRow("no markers") << Replies{"* OK {x}\r\n", "a OK {}\r\n", "b OK {5\r\n", "c OK 5}\r\n"};
    }

    void everyCutGivesTheSameReplies() {
        QFETCH(Replies, replies);
        const QByteArray all = replies.join();
        for (int cut = 0; cut <= all.size(); ++cut) {
            ImapReplyFramer f;
            Replies got;
            f.Append(all.left(cut));
            while (auto r = f.TakeReply()) got << *r;
            // Nothing is handed over before its end has arrived.
            int complete = 0;
            for (int seen = 0; complete < replies.size() && (seen += replies[complete].size()) <= cut;) ++complete;
            QCOMPARE(got.size(), complete);
            f.Append(all.mid(cut));
            while (auto r = f.TakeReply()) got << *r;
            QCOMPARE(got, replies);
        }
        ImapReplyFramer f;
        Replies got;
        for (char c : all) {  // one byte per read
            f.Append(QByteArray(1, c));
            while (auto r = f.TakeReply()) got << *r;
        }
        QCOMPARE(got, replies);
        QVERIFY(!f.Overlong());
    }

    void overlong_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<bool>("overlong");
        const qsizetype line = ImapReplyFramer::kMaxLine;
        QTest::newRow("endless line") << QByteArray(line + 1, 'x') << true;
        QTest::newRow("line at the limit") << QByteArray(line, 'x') + '\n' << false;
        QTest::newRow("huge literal") << QByteArray("* 1 FETCH (BODY[] {16777217}\r\n") << true;
        QTest::newRow("literal longer than a line")
            << "* 1 FETCH (BODY[] {100000}\r\n" + QByteArray(100000, '\n') + ")\r\n"
            << false;
        QTest::newRow("large literal") << QByteArray("* 1 FETCH (BODY[] {10000000}\r\n") << false;
        QTest::newRow("endless line after a literal")
            << "* 1 FETCH (BODY[] {3}\r\nabc" + QByteArray(line + 1, 'x') << true;
        QTest::newRow("too much in all") << "* 1 FETCH (A {10000000}\r\n" + QByteArray(10000000, 'x') +
                                                " B {7000000}\r\n"
                                         << true;
    }

    void overlong() {
        QFETCH(QByteArray, stream);
        QFETCH(bool, overlong);
        ImapReplyFramer whole, pieces;
        whole.Append(stream);
        for (qsizetype at = 0; at < stream.size(); at += 4096) pieces.Append(stream.mid(at, 4096));
        QCOMPARE(whole.Overlong(), overlong);
        QCOMPARE(pieces.Overlong(), overlong);
        if (overlong) QVERIFY(!whole.TakeReply());
        whole.Clear();
        whole.Append("a OK\r\n");
        QCOMPARE(whole.TakeReply(), QByteArray("a OK\r\n"));
    }
};

QTEST_GUILESS_MAIN(ImapResponseTest)
#include "tst_imap_response.moc"
