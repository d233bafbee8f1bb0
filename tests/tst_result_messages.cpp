#include <QtTest>
#include <set>
#include <stdexcept>

#include "platform/cp932.h"
#include "support/mail_fixture.h"

using namespace velmio;
using namespace velmio::test;

struct Case {
    int count, align;  // count 0: the no-mail reaction
    bool playWave;
    QString wave;
    QStringList calls;
};
Q_DECLARE_METATYPE(Case)

// The character's reaction to a finished count: the text, the draw, and
// what reaches the picture, the sounds, the balloon and the log.
class ResultMessagesTest : public QObject {
    Q_OBJECT
private slots:
    // The nickname placed by each Align, the count with its sign position,
    // and the order of picture, sound and balloon.
    void reaction_data() {
        QTest::addColumn<Case>("c");
        const QString exist = "/sounds/exist.wav", none = "/sounds/none.wav", many = "say " + kManyLine;
        const auto drawn = [&](const QString& s) { return QStringList{"picture 3", "wave " + exist, "say " + s}; };
        const auto noMail = [&](const QString& s) { return QStringList{"wave " + none, "picture 5", "say " + s}; };
        QTest::newRow("nickname in front, two spaces before the count") << Case{3, 1, true, exist, drawn(ExistLine(3))};
        QTest::newRow("no nickname") << Case{3, 0, true, exist, drawn(" 3通来てるよ")};
        QTest::newRow("nickname at the end") << Case{12, 2, true, exist, drawn(" 12通来てるよお兄ちゃん")};
        QTest::newRow("align 3 says nothing, the rest goes on") << Case{3, 3, true, exist, drawn("")};
        QTest::newRow("align -1 says nothing") << Case{3, -1, true, exist, drawn("")};
        QTest::newRow("sound off") << Case{3, 1, false, exist, QStringList{"picture 3", "say " + ExistLine(3)}};
        QTest::newRow("100 still draws") << Case{100, 0, true, exist, drawn(" 100通来てるよ")};
        QTest::newRow("101 is too many") << Case{101, 1, true, exist, QStringList{"picture 2", "sound 4", many}};
        // The event sound applies the sound setting itself.
        QTest::newRow("101, sound off") << Case{101, 1, false, exist, QStringList{"picture 2", "sound 4", many}};
        // The wave comes before the picture here, unlike new mail.
        QTest::newRow("no mail, no nickname") << Case{0, 0, true, none, noMail(kNoMailLine)};
        QTest::newRow("no mail, nickname in front") << Case{0, 1, true, none, noMail("お兄ちゃんに、" + kNoMailLine)};
        QTest::newRow("no mail, nickname appended directly") << Case{0, 2, true, none, noMail(kNoMailLine + "お兄ちゃん")};
        QTest::newRow("no mail, align 3") << Case{0, 3, true, none, noMail("")};
        QTest::newRow("no mail, sound off") << Case{0, 0, false, none, QStringList{"picture 5", "say " + kNoMailLine}};
        QTest::newRow("no mail, no wave") << Case{0, 0, true, {}, QStringList{"picture 5", "say " + kNoMailLine}};
    }

    void reaction() {
        QFETCH(Case, c);
        MailFixture f;
        f.state.settings.PlayWave = c.playWave;
        Reaction& r = f.state.reactions.of(c.count ? EventKind::ExistMail : EventKind::NoMail)[0];
        r.Align = static_cast<qint16>(c.align);
        r.Wave = c.wave;
        if (c.count)
            f.results.ExistMailReaction(static_cast<qint16>(c.count));
        else
            f.results.NoMailReaction();
        QCOMPARE(f.shell.calls, c.calls);
        const QString entry = c.count ? QString::number(c.count) + "件" : QStringLiteral("No Mail");
        QCOMPARE(f.log(), "2026/01/07\r\n9:05:07: " + EncodeCp932(entry) + "\r\n");
    }

    // No velmio.tbl: nothing to draw, and nothing happens before that is found.
    void kindWithoutVariantsFailsBeforeAnyEffect() {
        MailFixture f;
        f.state.reactions = ReactionTable{};
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.results.ExistMailReaction(2));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, f.results.NoMailReaction());
        QVERIFY(f.shell.calls.isEmpty());
        QVERIFY(f.log().isEmpty());
    }

    void drawStaysInRangeAndFollowsTheClock_data() {
        QTest::addColumn<int>("count");
        for (int c : {1, 2, 3, 10, 11, 32767}) QTest::newRow(qPrintable(QString::number(c))) << c;
    }

    void drawStaysInRangeAndFollowsTheClock() {
        QFETCH(int, count);
        ManualClock clock;
        ReactionDraw draw(clock);
        std::set<int> seen;
        // Every second of a few minutes, second 0 included, at odd milliseconds.
        for (int i = 0; i < 600; ++i) {
            clock.set(QDateTime(QDate(2026, 1, 7), QTime(9, 0, 0).addMSecs(i * 1013)));
            const int k = draw.Draw(count);
            QVERIFY2(k >= 1 && k <= count, qPrintable(QString::number(k)));
            QCOMPARE(draw.Draw(count), k);  // reseeded before each draw: the same moment, the same variant
            seen.insert(k);
        }
        if (count <= 11) QCOMPARE(int(seen.size()), count);  // every variant comes up
    }
};

QTEST_GUILESS_MAIN(ResultMessagesTest)
#include "tst_result_messages.moc"
