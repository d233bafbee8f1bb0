#include <QProcess>
#include <QtTest>

#include "app/form1.h"
#include "app/settings_file.h"
#include "character/event_sounds.h"
#include "character/form4.h"
#include "core/app_state.h"
#include "platform/sound_on_demand.h"
#include "support/fd_capture.h"
#include "support/child_run.h"
#include "support/dovecot.h"
#include "support/fakes.h"
#include "support/real_part.h"

using namespace velmio;

namespace {

// Records the null sink while something plays; the peak of what was heard.
class SinkRecorder {
public:
    bool start() {
        recorder_.start(QStringLiteral("parec"),
                        {QStringLiteral("-d"), QStringLiteral("nullsink.monitor"),
                         QStringLiteral("--format=s16le"), QStringLiteral("--rate=22050"),
                         QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
        if (!recorder_.waitForStarted(3000)) return false;
        recorder_.waitForReadyRead(1000);  // connected and streaming
        return true;
    }
    int stopAndPeak() {
        QByteArray pcm = recorder_.readAllStandardOutput();
        recorder_.terminate();
        recorder_.waitForFinished(3000);
        pcm += recorder_.readAllStandardOutput();
        int peak = 0;
        for (int i = 0; i + 1 < pcm.size(); i += 2) {
            const auto v = static_cast<qint16>(static_cast<quint8>(pcm[i]) |
                                               (static_cast<quint8>(pcm[i + 1]) << 8));
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        }
        bytes = pcm.size();
        errors = recorder_.readAllStandardError();
        return peak;
    }
    qsizetype bytes = 0;
    QByteArray errors;

private:
    QProcess recorder_;
};

bool SoundServerRunning() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    return pactl.waitForFinished(3000) && pactl.exitCode() == 0;
}

}  // namespace

class EventSoundsTest : public QObject {
    Q_OBJECT
private slots:
    void eventPlaysOnlyWithFileAndSwitch_data();
    void eventPlaysOnlyWithFileAndSwitch();
    void eventOutsideRangeFails();
    void emptyPathPlaysNothing();
    void tableReadFromSoundSection();
    void playerLoadedOnFirstUse_data();
    void playerLoadedOnFirstUse();
    void realSoundReachesTheSink_data();
    void realSoundReachesTheSink();
    void newMailFoundIsHeard();
    void noDeviceToldOnce();
};

void EventSoundsTest::eventPlaysOnlyWithFileAndSwitch_data() {
    QTest::addColumn<bool>("playWave");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("played");
    QTest::newRow("on with file") << true << "a.wav" << true;
    QTest::newRow("off with file") << false << "a.wav" << false;
    QTest::newRow("on without file") << true << "" << false;
}

void EventSoundsTest::eventPlaysOnlyWithFileAndSwitch() {
    QFETCH(bool, playWave);
    QFETCH(QString, file);
    QFETCH(bool, played);
    AppState state;
    state.settings.PlayWave = playWave;
    test::RecordingSound sound;
    EventSounds sounds(state, sound);
    for (int event = 0; event <= 5; ++event) {
        state.soundTable[event] = file.isEmpty() ? QString() : QString::number(event) + file;
        sounds.PlayEventSound(event);
    }
    QCOMPARE(sound.played.size(), played ? 6 : 0);
    if (played) QCOMPARE(sound.played.last(), QStringLiteral("5a.wav"));
    // The test button of the settings dialog plays whatever the switch says.
    sounds.PlaySoundFile(QStringLiteral("t.wav"));
    QCOMPARE(sound.played.last(), QStringLiteral("t.wav"));
}

void EventSoundsTest::eventOutsideRangeFails() {
    AppState state;
    test::RecordingSound sound;
    EventSounds sounds(state, sound);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, sounds.PlayEventSound(6));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, sounds.PlayEventSound(-1));
}

void EventSoundsTest::emptyPathPlaysNothing() {
    AppState state;
    test::RecordingSound sound;
    EventSounds(state, sound).PlaySoundFile(QString());
    QVERIFY(sound.played.isEmpty());
}

void EventSoundsTest::tableReadFromSoundSection() {
    AppState state;
    test::ProgramFolder folder(false);
    state.paths = AppPaths::ProgramFolder(folder.path());
    folder.write("velmio.ini", test::Cp932("[sound]\r\n 0 = /s/なぁに.wav\r\n5=/s/e.wav\r\n"
                                           "[System]\r\n1=wrong.wav\r\n"));
    LoadSettings(state);
    QCOMPARE(state.soundTable[0], QStringLiteral("/s/なぁに.wav"));
    QCOMPARE(state.soundTable[1], QString());
    QCOMPARE(state.soundTable[5], QStringLiteral("/s/e.wav"));
}

// Before anything sounds in this process, Qt Multimedia is not loaded.
void EventSoundsTest::playerLoadedOnFirstUse_data() {
    QTest::addColumn<bool>("beside");  // the module in the folder searched
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("missing") << false << QByteArray("velmio: sounds stay silent (velmio-sound.so is missing)\n");
    QTest::newRow("beside the program") << true << QByteArray();
}

void EventSoundsTest::playerLoadedOnFirstUse() {
    QFETCH(bool, beside);
    QFETCH(QByteArray, err);
    const auto loaded = [] {
        QFile maps("/proc/self/maps");
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Multimedia");
    };
    QTemporaryDir empty;
    SoundOnDemand output({beside ? QStringLiteral(VELMIO_DIST_DIR) : empty.path()});
    QVERIFY(!loaded());
    // Asked twice, told once.
    QCOMPARE(test::Captured(2, [&] { for (int i = 0; i < 2; ++i) output.hasDevice(); }), err);
    QCOMPARE(loaded(), beside);
}

void EventSoundsTest::realSoundReachesTheSink_data() {
    QTest::addColumn<bool>("playWave");
    QTest::newRow("sounds on") << true;
    QTest::newRow("sounds off") << false;
}

void EventSoundsTest::realSoundReachesTheSink() {
    QFETCH(bool, playWave);
    REQUIRE_REAL_PART(SoundServerRunning(), "sound server");
    AppState state;
    state.settings.PlayWave = playWave;
    state.soundTable[0] = QStringLiteral(VELMIO_DIST_DIR "/sounds/greeting.wav");
    SoundOnDemand output({VELMIO_DIST_DIR});
    QVERIFY(output.hasDevice());
    EventSounds sounds(state, output);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    QTest::qWait(300);
    sounds.PlayEventSound(0);
    QTest::qWait(1500);
    const int peak = recorder.stopAndPeak();
    // An idle sink may hand the recorder nothing at all; silence either way.
    if (playWave)
        QVERIFY2(peak > 1000, qPrintable(QString("peak %1 of %2 bytes; recorder said: %3")
                                        .arg(peak)
                                        .arg(recorder.bytes)
                                        .arg(QString::fromLocal8Bit(recorder.errors))));
    else
        QCOMPARE(peak, 0);
}

// The program with our own table and sounds checks the real mailbox of three
// messages with sounds on: the new-mail sound reaches the sink. No event
// sound is set, so nothing else could be heard.
void EventSoundsTest::newMailFoundIsHeard() {
    REQUIRE_REAL_PART(SoundServerRunning(), "sound server");
    REQUIRE_REAL_PART(test::Dovecot::Port(), "Dovecot (VELMIO_POP3_PORT)");
    test::ProgramFolder folder(false);
    QVERIFY(QDir(folder.path()).mkdir("sounds"));
    QVERIFY(QFile::copy(VELMIO_DIST_DIR "/sounds/mail.wav", folder.file("sounds/mail.wav")));
    folder.write("velmio.ini", QStringLiteral("[System]\nServer=127.0.0.1\nPort=%1\nLoginName=alice\n"
                                              "LoginPass=secret\nShowSender=0\n[Sound]\nPlayWave=1\n")
                                   .arg(*test::Dovecot::Port())
                                   .toLatin1());
    AppState state;
    state.paths = AppPaths::ProgramFolder(folder.path());
    test::FakeServices fakes;
    SoundOnDemand output({VELMIO_DIST_DIR});
    Services services = fakes.services();
    services.sound = &output;
    Form1 form1(state, services);
    QVERIFY(form1.Load());
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    QTest::qWait(300);
    form1.RunMenuCommand("mnuMailCheck");
    QTRY_VERIFY_WITH_TIMEOUT(form1.LastSaidText().contains("3通"), 10000);
    QTest::qWait(1200);
    const int peak = recorder.stopAndPeak();
    QVERIFY2(peak > 1000, qPrintable(QString("peak %1 of %2 bytes").arg(peak).arg(recorder.bytes)));
    form1.form4()->hide();
    form1.hide();
}

// Without a sound server each sound used to print Qt's warning again.
void EventSoundsTest::noDeviceToldOnce() {
    if (qEnvironmentVariableIsEmpty("VELMIO_NO_SOUND")) {
        // The sound backend is chosen once a process: one without a server.
        const auto child = test::RunInChild("noDeviceToldOnce", "PULSE_SERVER", "unix:/nonexistent", "VELMIO_NO_SOUND");
        QVERIFY2(child->exitStatus() == QProcess::NormalExit && child->exitCode() == 0,
                 child->readAllStandardOutput().constData());
        const QByteArray err = child->readAllStandardError();
        QVERIFY2(err.count("No audio device detected") == 1, err.constData());
        return;
    }
    SoundOnDemand output({VELMIO_DIST_DIR});
    QVERIFY(!output.hasDevice());
    for (int i = 0; i < 3; ++i) {
        output.play(VELMIO_DIST_DIR "/sounds/" + QDir(VELMIO_DIST_DIR "/sounds").entryList(QDir::Files).value(0));
        QTest::qWait(200);
    }
}

QTEST_MAIN(EventSoundsTest)
#include "tst_event_sounds.moc"
