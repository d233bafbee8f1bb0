#include <QCheckBox>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "character/event_sounds.h"
#include "core/app_state.h"
#include "platform/autostart.h"
#include "settings_dialog/form3.h"
#include "support/fakes.h"

using namespace velmio;

// Starting at login: the user's autostart entry, and its box on the page "その他".
class AutostartTest : public QObject {
    Q_OBJECT
private slots:
    void entryWrittenAndRemoved_data();
    void entryWrittenAndRemoved();
    void dialogBoxFollowsTheEntry();
};

void AutostartTest::entryWrittenAndRemoved_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << "/usr/bin/velmio" << "/usr/bin/velmio";
    QTest::newRow("blank") << "/home/me/Velmio Check/velmio" << "\"/home/me/Velmio Check/velmio\"";
    QTest::newRow("quote, dollar, percent")
        << "/opt/a\"b$c%d/velmio" << "\"/opt/a\\\\\"b\\\\$c%%d/velmio\"";
}

void AutostartTest::entryWrittenAndRemoved() {
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QTemporaryDir home;
    QProcessEnvironment env;
    env.insert("HOME", home.path());
    const Autostart autostart(env);
    QCOMPARE(autostart.EntryPath(), home.filePath(".config/autostart/velmio-check.desktop"));
    QVERIFY(!autostart.IsEnabled());
    QVERIFY(autostart.SetEnabled(true, program));
    QVERIFY(autostart.IsEnabled());
    QFile entry(autostart.EntryPath());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(entry.readAll()).split('\n').contains("Exec=" + exec));
    QCOMPARE(QProcess::execute("desktop-file-validate", {autostart.EntryPath()}), 0);
    QVERIFY(autostart.SetEnabled(false, program));
    QVERIFY(!autostart.IsEnabled());
    QVERIFY(autostart.SetEnabled(false, program));  // nothing to remove is no failure
}

void AutostartTest::dialogBoxFollowsTheEntry() {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString entry = config.filePath("autostart/velmio-check.desktop");
    AppState state;
    state.settings.Port = 110;
    test::RecordingSound sound;
    EventSounds sounds(state, sound);
    // Each round opens the dialog, sets the box and presses OK.
    const struct {
        bool tick;
        bool ticked;  // at open
        bool exists;  // after OK
    } rounds[] = {{false, false, false}, {true, false, true}, {true, true, true}, {false, true, false}};
    for (const auto& r : rounds) {
        Form3Services services;
        services.sounds = &sounds;
        services.program = QStringLiteral("/opt/Velmio Check/velmio");
        Form3 dialog(state, services);
        auto* box = dialog.findChild<QCheckBox*>("Autostart");
        QVERIFY(box);
        QCOMPARE(box->isChecked(), r.ticked);
        const QDateTime before = QFileInfo(entry).lastModified();
        box->setChecked(r.tick);
        dialog.findChild<QPushButton*>("Command6")->click();
        QCOMPARE(QFile::exists(entry), r.exists);
        if (r.tick == r.ticked) QCOMPARE(QFileInfo(entry).lastModified(), before);  // nothing written
        QVERIFY(!state.SettingsChanged);
    }
}

QTEST_MAIN(AutostartTest)
#include "tst_autostart.moc"
