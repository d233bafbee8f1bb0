#include <QtTest>

#include "mail/pop3/pop3_reply_buffer.h"

using namespace velmio;
using Replies = QList<QByteArray>;
using Kinds = QList<bool>;  // whether each reply is awaited as a listing

// Takes every reply that is complete, in the order the session awaits them.
static void TakeAll(Pop3ReplyBuffer& b, const Kinds& kinds, Replies& got) {
    while (got.size() < kinds.size()) {
        const auto r = b.TakeReply(kinds[got.size()]);
        if (!r) return;
        got << *r;
    }
}

// How the replies of a session are cut out of what arrives, whatever the
// reads look like.
class Pop3ReplyTest : public QObject {
    Q_OBJECT
private slots:
    void everyCutGivesTheSameReplies_data() {
        QTest::addColumn<Replies>("replies");
        QTest::addColumn<Kinds>("kinds");
        QTest::newRow("whole session") << Replies{"+OK Dovecot (Debian) ready.\r\n", "+OK\r\n", "+OK Logged in.\r\n",
                                                  "+OK 3 messages:\r\n1 120\r\n2 200\r\n3 310\r\n.\r\n",
                                                  "+OK Logging out.\r\n"}
                                       << Kinds{false, false, false, true, false};
        QTest::newRow("error reply to List is one line")
            << Replies{"-ERR [IN-USE] Mailbox locked\r\n", "+OK bye\r\n"} << Kinds{true, false};
        QTest::newRow("empty listing") << Replies{"+OK\r\n.\r\n", "+OK\r\n"} << Kinds{true, false};
        QTest::newRow("listing without a count") << Replies{"+OK scan listing follows\r\n1 5\r\n.\r\n"} << Kinds{true};
        QTest::newRow("bare line feeds") << Replies{"+OK ready\n", "+OK 1\n1 5\n.\n"} << Kinds{false, true};
        QTest::newRow("dot inside a line is no end") << Replies{"+OK 2\r\n1 10 .\r\n2 20\r\n.\r\n"} << Kinds{true};
        QTest::newRow("status line awaited where a listing would be")
            << Replies{"+OK 2 messages\r\n", "1 10\r\n"} << Kinds{false, false};
    }

    void everyCutGivesTheSameReplies() {
        QFETCH(Replies, replies);
        QFETCH(Kinds, kinds);
        const QByteArray all = replies.join();
        for (int cut = 0; cut <= all.size(); ++cut) {
            Pop3ReplyBuffer b;
            Replies got;
            b.Append(all.left(cut));
            TakeAll(b, kinds, got);
            // Nothing is handed over before its end has arrived.
            int complete = 0;
            for (int seen = 0; complete < replies.size() && (seen += replies[complete].size()) <= cut;) ++complete;
            QCOMPARE(got.size(), complete);
            b.Append(all.mid(cut));
            TakeAll(b, kinds, got);
            QCOMPARE(got, replies);
            QVERIFY(b.IsEmpty());
        }
        Pop3ReplyBuffer b;
        Replies got;
        for (char c : all) {  // one byte per read
            b.Append(QByteArray(1, c));
            TakeAll(b, kinds, got);
        }
        QCOMPARE(got, replies);
    }
};

QTEST_GUILESS_MAIN(Pop3ReplyTest)
#include "tst_pop3_reply.moc"
