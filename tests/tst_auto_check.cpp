#include <QtTest>

#include "app/auto_check.h"
#include "core/app_settings.h"
#include "support/scripted_server.h"
#include "support/shell_fixture.h"

using namespace velmio;
using namespace velmio::test;

namespace {

const QString kChecking = QStringLiteral("ちょっと待ってね…");
const QString kBetweenTicks = QStringLiteral("…");
const QDate kDay(2026, 3, 10);

// A started program whose account points at an empty mailbox on loopback.
struct Program : ShellFixture {
    ScriptedServer mailbox{NormalTranscript("+OK %1 messages:", 0)};

    Program(bool autoCheck, bool telHodai, int min, const QTime& start) {
        writeIni(QStringLiteral("[System]\nServer=127.0.0.1\nPort=%1\nLoginName=alice\nLoginPass=secret\n"
                                "SavePassword=1\nAutoCheck=%2\nTelHodai=%3\nMin=%4\n")
                     .arg(mailbox.port())
                     .arg(int(autoCheck))
                     .arg(int(telHodai))
                     .arg(min));
        fakes.clock.set(QDateTime(kDay, start));
    }

    // One minute passes and the timer ticks, as the timer would: only while
    // it is enabled. True when the tick started a check, which is seen
    // through to its end.
    bool tick() {
        fakes.clock.advanceSecs(60);
        if (!form1->TimerEnabled()) return false;
        form1->SayText(kBetweenTicks);
        form1->AutoCheckTick();
        const bool started = form1->LastSaidText() == kChecking;
        if (started) finishCheck();
        return started;
    }

    // A check has just started: the timer is off until the mailbox has said
    // goodbye and the program has given back the menu item and the timer.
    void finishCheck() {
        QVERIFY2(!form1->TimerEnabled(), "the timer runs during a check");
        QTRY_VERIFY_WITH_TIMEOUT(mailbox.clientGone() && form1->MailCheckEnabled() &&
                                     form1->TimerEnabled() == state.settings.AutoCheck,
                                 10000);
        QTest::qWait(20);
    }
};

// The ticks, counted from 1, on which AutoCheck asks for a check.
QList<int> DueTicks(AutoCheck& counter, int min, int ticks) {
    AppSettings s;
    s.AutoCheck = true;
    s.Min = qint16(min);
    QList<int> due;
    for (int t = 1; t <= ticks; ++t) {
        if (counter.Tick(s, 12)) due << t;
        if (counter.MinuteCount() < 0 || (min >= 0 && counter.MinuteCount() > min)) return {-t};  // out of range
    }
    return due;
}

}  // namespace

class AutoCheckTest : public QObject {
    Q_OBJECT
private slots:
    // Every Min-th tick is due, every tick for Min 1 or less. Counted with
    // one Min, then ticked on with another: the count is neither reset nor
    // left stuck above the new Min.
    void dueOnEveryMinthTick_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("ticksBefore");
        QTest::addColumn<int>("min");
        QTest::addColumn<QList<int>>("due");
        QTest::newRow("Min 10") << 10 << 0 << 10 << QList<int>{10, 20, 30};
        QTest::newRow("Min 2") << 2 << 0 << 2 << QList<int>{2, 4, 6};
        QTest::newRow("Min 1") << 1 << 0 << 1 << QList<int>{1, 2, 3};
        QTest::newRow("Min 0") << 0 << 0 << 0 << QList<int>{1, 2, 3, 4};
        QTest::newRow("Min -1") << 0 << 0 << -1 << QList<int>{1, 2, 3, 4};
        QTest::newRow("Min -32768") << 0 << 0 << -32768 << QList<int>{1, 2, 3};
        QTest::newRow("Min 32767 keeps the count in 16 bits") << 0 << 0 << 32767 << QList<int>{32767, 65534};
        QTest::newRow("lowered below the count") << 10 << 7 << 3 << QList<int>{1, 4, 7};
        QTest::newRow("lowered to the count") << 10 << 7 << 7 << QList<int>{1, 8};
        QTest::newRow("lowered to 0") << 10 << 7 << 0 << QList<int>{1, 2, 3};
        QTest::newRow("raised") << 3 << 2 << 10 << QList<int>{8, 18};
    }

    void dueOnEveryMinthTick() {
        QFETCH(int, before);
        QFETCH(int, ticksBefore);
        QFETCH(int, min);
        QFETCH(QList<int>, due);
        AutoCheck counter;
        QCOMPARE(DueTicks(counter, before, ticksBefore), QList<int>{});
        QCOMPARE(counter.MinuteCount(), qint16(ticksBefore));
        QCOMPARE(DueTicks(counter, min, due.last()), due);
        QCOMPARE(counter.MinuteCount(), qint16(0));
    }

    void timerSwitches_data() {
        QTest::addColumn<bool>("autoCheck");
        QTest::addColumn<bool>("telHodai");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("checks");
        QTest::newRow("22:59 flat rate") << true << true << QTime(22, 59, 59) << false;
        QTest::newRow("23:00 flat rate") << true << true << QTime(23, 0) << true;
        QTest::newRow("7:59 flat rate") << true << true << QTime(7, 59, 59) << true;
        QTest::newRow("8:00 flat rate") << true << true << QTime(8, 0) << false;
        QTest::newRow("15:00 any hour") << true << false << QTime(15, 0) << true;
        QTest::newRow("AutoCheck off, 23:10 flat rate") << false << true << QTime(23, 10) << false;
        QTest::newRow("AutoCheck off, 12:00 any hour") << false << false << QTime(12, 0) << false;
    }

    // Started a minute before, with Min 0: the timer runs exactly when
    // AutoCheck is on, whatever the hour; a tick checks by the hour alone; a
    // manual check or a dialog stops the timer until it ends.
    void timerSwitches() {
        QFETCH(bool, autoCheck);
        QFETCH(bool, telHodai);
        QFETCH(QTime, time);
        QFETCH(bool, checks);
        Program p(autoCheck, telHodai, 0, time.addSecs(-60));
        QVERIFY(p.start());
        QCOMPARE(p.form1->TimerEnabled(), autoCheck);
        QCOMPARE(p.form1->timer1().interval(), 60000);
        QCOMPARE(p.tick(), checks);
        QCOMPARE(p.form1->autoCheck().MinuteCount(), qint16(0));
        QCOMPARE(p.form1->TimerEnabled(), autoCheck);
        p.form1->RunMenuCommand(QStringLiteral("mnuMailCheck"));
        p.finishCheck();
        QCOMPARE(p.mailbox.connections(), int(checks) + 1);
        bool runningWhileOpen = true;
        p.fakes.dialogs.whileOpen = [&](QDialog&) { runningWhileOpen = p.form1->TimerEnabled(); };
        p.form1->RunMenuCommand(QStringLiteral("mnuVersion"));
        QVERIFY(!runningWhileOpen);
        QCOMPARE(p.form1->TimerEnabled(), autoCheck);
    }

    // Switched on at 15:00 with flat-rate hours: the timer runs, its due tick
    // checks nothing, and the night brings checks.
    void menuSwitchesTheTimerWhateverTheHour() {
        Program p(false, true, 2, QTime(15, 0));
        QVERIFY(p.start());
        QVERIFY(!p.form1->TimerEnabled());
        p.form1->RunMenuCommand(QStringLiteral("mnuAutoCheck"));
        QVERIFY(p.form1->TimerEnabled());
        for (int t = 0; t < 6; ++t) QVERIFY(!p.tick());
        QVERIFY(p.form1->TimerEnabled());
        p.fakes.clock.set(QDateTime(kDay, QTime(23, 0)));
        QVERIFY(!p.tick());
        QVERIFY(p.tick());
        p.form1->RunMenuCommand(QStringLiteral("mnuAutoCheck"));
        QVERIFY(!p.form1->TimerEnabled());
    }

    void manualCheckLeavesTheCountAlone() {
        Program p(true, false, 10, QTime(12, 0));
        QVERIFY(p.start());
        for (int t = 0; t < 4; ++t) QVERIFY(!p.tick());
        p.form1->SayText(kBetweenTicks);
        p.form1->RunMenuCommand(QStringLiteral("mnuMailCheck"));
        QCOMPARE(p.form1->LastSaidText(), kChecking);
        p.finishCheck();
        QCOMPARE(p.form1->autoCheck().MinuteCount(), qint16(4));
        for (int t = 5; t < 10; ++t) QVERIFY(!p.tick());
        QVERIFY(p.tick());
    }

    // From 15:00 on day one to 9:00 on day three, a tick every minute, Min 10:
    // checks every tenth minute through both nights and none by day.
    void flatRateChecksComeBackEveryNight() {
        Program p(true, true, 10, QTime(15, 0));
        QVERIFY(p.start());
        QMap<QString, int> checks;  // by night or day
        while (p.fakes.clock.now() < QDateTime(kDay.addDays(2), QTime(9, 0))) {
            const bool checked = p.tick();
            if (QTest::currentTestFailed()) return;
            const QDateTime at = p.fakes.clock.now();
            const int hour = at.time().hour();
            const QDate night = hour < 8 ? at.date().addDays(-1) : at.date();
            if (checked) ++checks[hour >= 23 || hour < 8 ? night.toString(Qt::ISODate) : "day"];
            QVERIFY2(p.form1->TimerEnabled(), qPrintable(at.toString()));
        }
        QCOMPARE(checks.value("day"), 0);
        QCOMPARE(checks.value(kDay.toString(Qt::ISODate)), 54);
        QCOMPARE(checks.value(kDay.addDays(1).toString(Qt::ISODate)), 54);
    }

    // The server is away for three timed checks, which say so without a box,
    // and for one from the menu, which shows it; then back: the next timed
    // check gets through by itself.
    void timedChecksResumeWhenTheServerComesBack() {
        quint16 port = 0;
        {
            ScriptedServer away({});  // a port that fits the setting, closed again
            port = away.port();
        }
        ShellFixture p;
        p.writeIni(QStringLiteral("[System]\nServer=127.0.0.1\nPort=%1\nLoginName=alice\nLoginPass=secret\n"
                                  "SavePassword=1\nAutoCheck=1\nMin=0\n").arg(port));
        p.fakes.clock.set(QDateTime(kDay, QTime(12, 0)));
        QVERIFY(p.start());
        int open = 0, mostOpen = 0;
        p.fakes.messages.onShow = [&] {
            mostOpen = std::max(mostOpen, ++open);
            // A minute passes while the box is open; the timer may tick.
            p.fakes.clock.advanceSecs(60);
            if (p.form1->TimerEnabled()) p.form1->AutoCheckTick();
            QTest::qWait(20);
            --open;
        };
        const auto timedCheck = [&] {
            p.fakes.clock.advanceSecs(60);
            QVERIFY(p.form1->TimerEnabled());
            p.form1->AutoCheckTick();
            QVERIFY(!p.form1->TimerEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(p.form1->MailCheckEnabled() && p.form1->TimerEnabled(), 10000);
        };
        for (int i = 1; i <= 3; ++i) {
            timedCheck();
            QVERIFY(p.fakes.messages.texts.isEmpty());
            QCOMPARE(p.form1->accessibleName(), QStringLiteral("えへへへ。しっぱいしちゃったぁ。"));
        }
        p.form1->RunMenuCommand(QStringLiteral("mnuMailCheck"));
        QTRY_COMPARE(p.fakes.messages.texts.size(), 1);
        QTRY_VERIFY(p.form1->MailCheckEnabled());
        ScriptedServer back(NormalTranscript("+OK %1 messages:", 2), port);
        QCOMPARE(back.port(), port);
        timedCheck();
        QTRY_VERIFY(back.clientGone());
        QCOMPARE(back.lines().size(), 4);
        QCOMPARE(p.fakes.messages.texts.size(), 1);
        QCOMPARE(mostOpen, 1);
        QCOMPARE(p.state.MailTotal, qint16(2));
    }
};

QTEST_MAIN(AutoCheckTest)
#include "tst_auto_check.moc"
