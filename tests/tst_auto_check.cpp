#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "app/auto_check.h"
#include "app/popup_menu.h"
#include "core/app_settings.h"
#include "support/shell_fixture.h"

using namespace velmio;
using test::ShellFixture;

namespace {

const QString kChecking = QStringLiteral("ちょっと待ってね…");
const QString kBetweenTicks = QStringLiteral("…");
const QDate kDay(2026, 3, 10);

// A mailbox that is always empty: answers every POP3 command with +OK.
class EmptyMailbox : public QTcpServer {
public:
    EmptyMailbox() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                ++sessions;
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    while (s->canReadLine()) {
                        const QByteArray line = s->readLine().trimmed().toLower();
                        if (line.startsWith("list")) {
                            s->write("+OK 0 messages:\r\n.\r\n");
                        } else if (line.startsWith("quit")) {
                            s->write("+OK Logging out.\r\n");
                            s->disconnectFromHost();
                        } else {
                            s->write("+OK\r\n");
                        }
                    }
                });
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    ++ended;
                    s->deleteLater();
                });
                s->write("+OK ready.\r\n");
            }
        });
        // The Port setting is a signed 16-bit number: stay below 32768.
        const int first = 20000 + QRandomGenerator::global()->bounded(12000);
        for (int port = first; port < 32768 && !isListening(); ++port)
            listen(QHostAddress::LocalHost, quint16(port));
    }
    int sessions = 0;
    int ended = 0;
};

// A started program whose account points at an empty mailbox on loopback.
struct Program : ShellFixture {
    EmptyMailbox mailbox;

    Program(bool autoCheck, bool telHodai, int min, const QTime& start) {
        writeIni(QStringLiteral("[System]\nServer=127.0.0.1\nPort=%1\nLoginName=alice\n"
                                "LoginPass=secret\nSavePassword=1\nAutoCheck=%2\nTelHodai=%3\n"
                                "Min=%4\n")
                     .arg(mailbox.serverPort())
                     .arg(autoCheck ? 1 : 0)
                     .arg(telHodai ? 1 : 0)
                     .arg(min));
        fakes.clock.set(QDateTime(kDay, start));
    }

    // One minute passes and the timer ticks, as the timer would: only while
    // it is enabled. True when the tick started a check; the check is seen
    // through to its end before this returns.
    bool tick() {
        fakes.clock.advanceSecs(60);
        if (!form1->TimerEnabled()) return false;
        form1->SayText(kBetweenTicks);
        form1->AutoCheckTick();
        const bool started = form1->LastSaidText() == kChecking;
        if (started) finishCheck();
        return started;
    }

    // Waits until the check has ended: the mailbox has said goodbye and the
    // program has given back the menu item and the timer.
    void finishCheck() {
        QTRY_VERIFY_WITH_TIMEOUT(mailbox.ended == mailbox.sessions && form1->MailCheckEnabled() &&
                                     form1->TimerEnabled() == state.settings.AutoCheck,
                                 10000);
        QTest::qWait(20);
    }
};

// The ticks, counted from 1, on which AutoCheck asks for a check.
QList<int> DueTicks(AutoCheck& counter, const AppSettings& s, int hour, int ticks) {
    QList<int> due;
    for (int t = 1; t <= ticks; ++t) {
        if (counter.Tick(s, hour)) due << t;
        if (counter.MinuteCount() < 0 || (s.Min >= 0 && counter.MinuteCount() > s.Min))
            return {-t};  // the count left its range
    }
    return due;
}

AppSettings Checking(int min) {
    AppSettings s;
    s.AutoCheck = true;
    s.Min = qint16(min);
    return s;
}

}  // namespace

class AutoCheckTest : public QObject {
    Q_OBJECT
private slots:
    void dueOnEveryMinPlusOneTick_data();
    void dueOnEveryMinPlusOneTick();
    void changedMinTakesTheCountAsItStands_data();
    void changedMinTakesTheCountAsItStands();
    void flatRateHours_data();
    void flatRateHours();
    void startUpRunsTheTimerExactlyWhenAutoCheckIsOn_data();
    void startUpRunsTheTimerExactlyWhenAutoCheckIsOn();
    void menuSwitchesTheTimerWhateverTheHour();
    void dialogStopsTheTimerWhileOpen_data();
    void dialogStopsTheTimerWhileOpen();
    void manualCheckLeavesTheCountAlone();
    void timerOffWhileACheckRunsAndBackAfter_data();
    void timerOffWhileACheckRunsAndBackAfter();
    void flatRateChecksComeBackEveryNight();
};

void AutoCheckTest::dueOnEveryMinPlusOneTick_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<int>>("due");
    QTest::newRow("Min 10") << 10 << 33 << QList<int>{11, 22, 33};
    QTest::newRow("Min 1") << 1 << 6 << QList<int>{2, 4, 6};
    QTest::newRow("Min 0") << 0 << 4 << QList<int>{1, 2, 3, 4};
    QTest::newRow("Min -1") << -1 << 4 << QList<int>{1, 2, 3, 4};
    QTest::newRow("Min -32768") << -32768 << 3 << QList<int>{1, 2, 3};
    QTest::newRow("Min 32767 keeps the count in 16 bits")
        << 32767 << 65536 << QList<int>{32768, 65536};
}

void AutoCheckTest::dueOnEveryMinPlusOneTick() {
    QFETCH(int, min);
    QFETCH(int, ticks);
    QFETCH(QList<int>, due);
    AutoCheck counter;
    QCOMPARE(DueTicks(counter, Checking(min), 12, ticks), due);
    QCOMPARE(counter.MinuteCount(), qint16(0));
}

void AutoCheckTest::changedMinTakesTheCountAsItStands_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("ticksBefore");
    QTest::addColumn<int>("after");
    QTest::addColumn<QList<int>>("dueAfter");
    QTest::newRow("lowered below the count") << 10 << 7 << 3 << QList<int>{1, 5, 9};
    QTest::newRow("lowered to the count") << 10 << 7 << 7 << QList<int>{1, 9};
    QTest::newRow("lowered to 0") << 10 << 7 << 0 << QList<int>{1, 2, 3};
    QTest::newRow("raised") << 3 << 2 << 10 << QList<int>{9, 20};
}

// Counted with one Min, then ticked on with another: the count is neither
// reset nor left stuck above the new Min.
void AutoCheckTest::changedMinTakesTheCountAsItStands() {
    QFETCH(int, before);
    QFETCH(int, ticksBefore);
    QFETCH(int, after);
    QFETCH(QList<int>, dueAfter);
    AutoCheck counter;
    QCOMPARE(DueTicks(counter, Checking(before), 12, ticksBefore), QList<int>{});
    QCOMPARE(counter.MinuteCount(), qint16(ticksBefore));
    QCOMPARE(DueTicks(counter, Checking(after), 12, dueAfter.last()), dueAfter);
}

void AutoCheckTest::flatRateHours_data() {
    QTest::addColumn<bool>("telHodai");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("checks");
    QTest::newRow("22:59 flat rate") << true << QTime(22, 59, 59) << false;
    QTest::newRow("23:00 flat rate") << true << QTime(23, 0) << true;
    QTest::newRow("0:00 flat rate") << true << QTime(0, 0) << true;
    QTest::newRow("7:59 flat rate") << true << QTime(7, 59, 59) << true;
    QTest::newRow("8:00 flat rate") << true << QTime(8, 0) << false;
    QTest::newRow("15:00 flat rate") << true << QTime(15, 0) << false;
    QTest::newRow("15:00 any hour") << false << QTime(15, 0) << true;
    QTest::newRow("3:00 any hour") << false << QTime(3, 0) << true;
}

// Min 0: every tick is due; whether it checks depends on the hour alone, and
// the timer keeps running either way.
void AutoCheckTest::flatRateHours() {
    QFETCH(bool, telHodai);
    QFETCH(QTime, time);
    QFETCH(bool, checks);
    Program p(true, telHodai, 0, time.addSecs(-60));
    QVERIFY(p.start());
    QVERIFY(p.form1->TimerEnabled());
    QCOMPARE(p.tick(), checks);
    QCOMPARE(p.form1->autoCheck().MinuteCount(), qint16(0));
    QVERIFY(p.form1->TimerEnabled());
}

void AutoCheckTest::startUpRunsTheTimerExactlyWhenAutoCheckIsOn_data() {
    QTest::addColumn<bool>("autoCheck");
    QTest::addColumn<bool>("telHodai");
    QTest::addColumn<QTime>("time");
    QTest::newRow("on, flat rate, evening") << true << true << QTime(22, 30);
    QTest::newRow("on, flat rate, night") << true << true << QTime(23, 10);
    QTest::newRow("on, any hour") << true << false << QTime(12, 0);
    QTest::newRow("off, flat rate, night") << false << true << QTime(23, 10);
    QTest::newRow("off, any hour") << false << false << QTime(12, 0);
}

void AutoCheckTest::startUpRunsTheTimerExactlyWhenAutoCheckIsOn() {
    QFETCH(bool, autoCheck);
    QFETCH(bool, telHodai);
    QFETCH(QTime, time);
    Program p(autoCheck, telHodai, 10, time);
    QVERIFY(p.start());
    QCOMPARE(p.form1->TimerEnabled(), autoCheck);
    QCOMPARE(p.form1->timer1().interval(), 60000);
}

// Switched on at 15:00 with flat-rate hours: the timer runs, its due tick
// checks nothing, and the night brings checks.
void AutoCheckTest::menuSwitchesTheTimerWhateverTheHour() {
    Program p(false, true, 2, QTime(15, 0));
    QVERIFY(p.start());
    QVERIFY(!p.form1->TimerEnabled());
    p.form1->RunMenuCommand(QStringLiteral("mnuAutoCheck"));
    QVERIFY(p.form1->TimerEnabled());
    for (int t = 0; t < 6; ++t) QVERIFY(!p.tick());
    QVERIFY(p.form1->TimerEnabled());
    p.fakes.clock.set(QDateTime(kDay, QTime(23, 0)));
    QVERIFY(!p.tick());
    QVERIFY(!p.tick());
    QVERIFY(p.tick());
    p.form1->RunMenuCommand(QStringLiteral("mnuAutoCheck"));
    QVERIFY(!p.form1->TimerEnabled());
}

void AutoCheckTest::dialogStopsTheTimerWhileOpen_data() {
    QTest::addColumn<bool>("autoCheck");
    QTest::newRow("AutoCheck on") << true;
    QTest::newRow("AutoCheck off") << false;
}

void AutoCheckTest::dialogStopsTheTimerWhileOpen() {
    QFETCH(bool, autoCheck);
    Program p(autoCheck, true, 10, QTime(14, 0));
    QVERIFY(p.start());
    bool runningWhileOpen = true;
    p.fakes.dialogs.whileOpen = [&](QDialog&) { runningWhileOpen = p.form1->TimerEnabled(); };
    p.form1->RunMenuCommand(QStringLiteral("mnuVersion"));
    QCOMPARE(p.fakes.dialogs.opened, 1);
    QVERIFY(!runningWhileOpen);
    QCOMPARE(p.form1->TimerEnabled(), autoCheck);
}

void AutoCheckTest::manualCheckLeavesTheCountAlone() {
    Program p(true, false, 10, QTime(12, 0));
    QVERIFY(p.start());
    for (int t = 0; t < 4; ++t) QVERIFY(!p.tick());
    p.form1->SayText(kBetweenTicks);
    p.form1->RunMenuCommand(QStringLiteral("mnuMailCheck"));
    QCOMPARE(p.form1->LastSaidText(), kChecking);
    p.finishCheck();
    QCOMPARE(p.form1->autoCheck().MinuteCount(), qint16(4));
    for (int t = 5; t <= 10; ++t) QVERIFY(!p.tick());
    QVERIFY(p.tick());
}

void AutoCheckTest::timerOffWhileACheckRunsAndBackAfter_data() {
    QTest::addColumn<bool>("autoCheck");
    QTest::addColumn<bool>("fromTheTimer");
    QTest::newRow("automatic check") << true << true;
    QTest::newRow("manual check, AutoCheck on") << true << false;
    QTest::newRow("manual check, AutoCheck off") << false << false;
}

void AutoCheckTest::timerOffWhileACheckRunsAndBackAfter() {
    QFETCH(bool, autoCheck);
    QFETCH(bool, fromTheTimer);
    Program p(autoCheck, false, 0, QTime(12, 0));
    QVERIFY(p.start());
    p.form1->SayText(kBetweenTicks);
    if (fromTheTimer)
        p.form1->AutoCheckTick();
    else
        p.form1->RunMenuCommand(QStringLiteral("mnuMailCheck"));
    QCOMPARE(p.form1->LastSaidText(), kChecking);
    QVERIFY(!p.form1->TimerEnabled());
    p.finishCheck();
    QCOMPARE(p.mailbox.sessions, 1);
    QCOMPARE(p.form1->TimerEnabled(), autoCheck);
}

// From 15:00 on day one to 9:00 on day three, a tick every minute, Min 10:
// checks every eleventh minute through both nights and none by day.
void AutoCheckTest::flatRateChecksComeBackEveryNight() {
    Program p(true, true, 10, QTime(15, 0));
    QVERIFY(p.start());
    QMap<QString, int> checks;  // by night or day
    const QDateTime end(kDay.addDays(2), QTime(9, 0));
    while (p.fakes.clock.now() < end) {
        const bool checked = p.tick();
        if (QTest::currentTestFailed()) return;
        const QDateTime at = p.fakes.clock.now();
        const int hour = at.time().hour();
        const QDate night = hour < 8 ? at.date().addDays(-1) : at.date();
        if (checked)
            ++checks[hour >= 23 || hour < 8 ? night.toString(Qt::ISODate) : QStringLiteral("day")];
        QVERIFY2(p.form1->TimerEnabled(), qPrintable(at.toString()));
    }
    QCOMPARE(checks.value(QStringLiteral("day")), 0);
    QCOMPARE(checks.value(kDay.toString(Qt::ISODate)), 49);
    QCOMPARE(checks.value(kDay.addDays(1).toString(Qt::ISODate)), 49);
}

QTEST_MAIN(AutoCheckTest)
#include "tst_auto_check.moc"
