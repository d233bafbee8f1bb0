#include <QtTest>
#include <set>
#include <stdexcept>

#include "character/reaction_draw.h"
#include "core/app_state.h"
#include "mail/check_log.h"
#include "mail/result_messages.h"
#include "platform/cp932.h"
#include "support/mail_fixture.h"

using namespace velmio;
using test::MailFixture;

// The character's reaction to a finished count: the text, the draw, and
// what reaches the picture, the sounds, the balloon and the log.
class ResultMessagesTest : public QObject {
    Q_OBJECT
private slots:
    void reactionText_data();
    void reactionText();
    void newMailReaction_data();
    void newMailReaction();
    void noMailReaction_data();
    void noMailReaction();
    void kindWithoutVariantsFailsBeforeAnyEffect_data();
    void kindWithoutVariantsFailsBeforeAnyEffect();
    void drawStaysInRangeAndFollowsTheClock_data();
    void drawStaysInRangeAndFollowsTheClock();
};

void ResultMessagesTest::reactionText_data() {
    QTest::addColumn<bool>("exist");
    QTest::addColumn<int>("align");
    QTest::addColumn<QString>("nick");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    const QString nick = QStringLiteral("お兄ちゃん");
    QTest::newRow("new mail, nickname in front: two spaces before the count")
        << true << 1 << nick << 3 << QStringLiteral("お兄ちゃんに、メールは  3通来てるよ");
    QTest::newRow("new mail, no nickname") << true << 0 << nick << 3 << QStringLiteral(" 3通来てるよ");
    QTest::newRow("new mail, nickname at the end") << true << 2 << nick << 12 << QStringLiteral(" 12通来てるよお兄ちゃん");
    QTest::newRow("new mail, 100") << true << 0 << nick << 100 << QStringLiteral(" 100通来てるよ");
    QTest::newRow("new mail, negative count") << true << 0 << nick << -2 << QStringLiteral("-2通来てるよ");
    QTest::newRow("new mail, align 3") << true << 3 << nick << 3 << QString();
    QTest::newRow("new mail, align -1") << true << -1 << nick << 3 << QString();
    QTest::newRow("no mail, nickname in front") << false << 1 << nick << 0 << QStringLiteral("お兄ちゃんに、通来てるよ");
    QTest::newRow("no mail, no nickname") << false << 0 << nick << 0 << QStringLiteral("通来てるよ");
    QTest::newRow("no mail, nickname appended directly") << false << 2 << nick << 0 << QStringLiteral("通来てるよお兄ちゃん");
    QTest::newRow("no mail, empty nickname") << false << 1 << QString() << 0 << QStringLiteral("に、通来てるよ");
    QTest::newRow("no mail, align 3") << false << 3 << nick << 0 << QString();
}

void ResultMessagesTest::reactionText() {
    QFETCH(bool, exist);
    QFETCH(int, align);
    QFETCH(QString, nick);
    QFETCH(int, count);
    QFETCH(QString, text);
    QCOMPARE(ComposeReactionText(exist ? EventKind::ExistMail : EventKind::NoMail, static_cast<qint16>(align),
                                 QStringLiteral("通来てるよ"), nick, static_cast<qint16>(count)),
             text);
}

void ResultMessagesTest::newMailReaction_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("playWave");
    QTest::addColumn<int>("align");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QByteArray>("logLine");
    const QString drawn = QStringLiteral("say お兄ちゃんに、メールは  3通来てるよ");
    QTest::newRow("three") << 3 << true << 1
                           << QStringList{"picture 3", "wave /sounds/exist.wav", drawn} << QByteArray("9:05:07: 3件");
    QTest::newRow("sound off") << 3 << false << 1 << QStringList{"picture 3", drawn} << QByteArray("9:05:07: 3件");
    QTest::newRow("align 3 says nothing, the rest goes on")
        << 3 << true << 3 << QStringList{"picture 3", "wave /sounds/exist.wav", "say "} << QByteArray("9:05:07: 3件");
    QTest::newRow("100 still draws")
        << 100 << true << 0 << QStringList{"picture 3", "wave /sounds/exist.wav", "say  100通来てるよ"}
        << QByteArray("9:05:07: 100件");
    QTest::newRow("101 is too many")
        << 101 << true << 1 << QStringList{"picture 2", "sound 4", "say " + test::kManyLine}
        << QByteArray("9:05:07: 101件");
    // The event sound applies the sound setting itself.
    QTest::newRow("101 with sound off")
        << 101 << false << 1 << QStringList{"picture 2", "sound 4", "say " + test::kManyLine}
        << QByteArray("9:05:07: 101件");
}

void ResultMessagesTest::newMailReaction() {
    QFETCH(int, count);
    QFETCH(bool, playWave);
    QFETCH(int, align);
    QFETCH(QStringList, calls);
    QFETCH(QByteArray, logLine);
    MailFixture f;
    f.state.settings.PlayWave = playWave;
    f.state.settings.LogMode = true;
    f.state.reactions.of(EventKind::ExistMail)[0].Align = static_cast<qint16>(align);
    CheckLog log(f.state, f.clock);
    ReactionDraw draw(f.clock);
    ResultMessages results(f.state, f.shell, draw, log);
    results.ExistMailReaction(static_cast<qint16>(count));
    QCOMPARE(f.shell.calls, calls);
    QCOMPARE(f.log(), "2026/01/07\r\n" + EncodeCp932(QString::fromUtf8(logLine)) + "\r\n");
}

void ResultMessagesTest::noMailReaction_data() {
    QTest::addColumn<QString>("wave");
    QTest::addColumn<bool>("playWave");
    QTest::addColumn<QStringList>("calls");
    // The wave comes before the picture here, unlike new mail.
    QTest::newRow("with wave") << QStringLiteral("/sounds/none.wav") << true
                               << QStringList{"wave /sounds/none.wav", "picture 5", "say " + test::kNoMailLine};
    QTest::newRow("sound off") << QStringLiteral("/sounds/none.wav") << false
                               << QStringList{"picture 5", "say " + test::kNoMailLine};
    QTest::newRow("no wave") << QString() << true << QStringList{"picture 5", "say " + test::kNoMailLine};
}

void ResultMessagesTest::noMailReaction() {
    QFETCH(QString, wave);
    QFETCH(bool, playWave);
    QFETCH(QStringList, calls);
    MailFixture f;
    f.state.settings.PlayWave = playWave;
    f.state.settings.LogMode = true;
    f.state.reactions.of(EventKind::NoMail)[0].Wave = wave;
    CheckLog log(f.state, f.clock);
    ReactionDraw draw(f.clock);
    ResultMessages results(f.state, f.shell, draw, log);
    results.NoMailReaction();
    QCOMPARE(f.shell.calls, calls);
    QCOMPARE(f.log(), QByteArray("2026/01/07\r\n9:05:07: No Mail\r\n"));
}

void ResultMessagesTest::kindWithoutVariantsFailsBeforeAnyEffect_data() {
    QTest::addColumn<bool>("exist");
    QTest::newRow("new mail") << true;
    QTest::newRow("no mail") << false;
}

void ResultMessagesTest::kindWithoutVariantsFailsBeforeAnyEffect() {
    QFETCH(bool, exist);
    MailFixture f;
    f.state.settings.LogMode = true;
    f.state.reactions = ReactionTable{};  // no velmio.tbl
    CheckLog log(f.state, f.clock);
    ReactionDraw draw(f.clock);
    ResultMessages results(f.state, f.shell, draw, log);
    if (exist) {
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, results.ExistMailReaction(2));
    } else {
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, results.NoMailReaction());
    }
    QVERIFY(f.shell.calls.isEmpty());
    QVERIFY(f.log().isEmpty());
}

void ResultMessagesTest::drawStaysInRangeAndFollowsTheClock_data() {
    QTest::addColumn<int>("count");
    for (int c : {1, 2, 3, 10, 11, 32767}) QTest::newRow(qPrintable(QString::number(c))) << c;
}

void ResultMessagesTest::drawStaysInRangeAndFollowsTheClock() {
    QFETCH(int, count);
    ManualClock clock;
    ReactionDraw draw(clock);
    std::set<int> seen;
    // Every second of a few minutes, second 0 included, at odd milliseconds.
    for (int i = 0; i < 600; ++i) {
        clock.set(QDateTime(QDate(2026, 1, 7), QTime(9, 0, 0).addMSecs(i * 1013)));
        const int k = draw.Draw(count);
        QVERIFY2(k >= 1 && k <= count, qPrintable(QString::number(k)));
        // Reseeded before each draw: the same moment draws the same variant.
        QCOMPARE(draw.Draw(count), k);
        seen.insert(k);
    }
    if (count <= 11) QCOMPARE(int(seen.size()), count);  // every variant comes up
}

QTEST_GUILESS_MAIN(ResultMessagesTest)
#include "tst_result_messages.moc"
