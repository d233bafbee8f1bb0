#include <QtTest>

#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "mail/auth/credential_sources.h"
#include "platform/profile_file.h"
#include "support/fakes.h"
#include "support/settings_batches.h"

using namespace velmio;

// The one table of settings keys drives loading and both write batches.
class SettingsKeysTest : public QObject {
    Q_OBJECT
private slots:
    void batchesKeepTheirBytes_data() {
        QTest::addColumn<int>("index");
        const QList<test::BatchCase> cases = test::BatchCases();
        for (int i = 0; i < cases.size(); ++i) QTest::newRow(cases[i].name) << i;
    }
    // The files the batches wrote before the table, byte for byte.
    void batchesKeepTheirBytes() {
        QFETCH(int, index);
        const test::BatchCase c = test::BatchCases().at(index);
        QTemporaryDir dir;
        QFile expected(QStringLiteral(VELMIO_SOURCE_DIR "/tests/data/batch-%1.ini").arg(c.name));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QCOMPARE(test::RunBatches(dir.path(), c), expected.readAll());
    }

    // Each key: its first-run value, its value when the file lacks it or
    // holds junk, and a written value read back.
    void everyKeyReadsAndWrites() {
        QTemporaryDir dir;
        AppState none, lacking, junk, written, back;
        for (AppState* s : {&none, &lacking, &junk, &written, &back}) s->paths = AppPaths::ProgramFolder(dir.path());
        QVERIFY(!LoadSettings(none));
        ProfileDocument junkDoc = ProfileDocument::fromBytes("[System]\r\nOther=1\r\n");
        ReadSettingsKeys(lacking, &junkDoc);
        for (const SettingsKey& key : SettingsKeys()) junkDoc.setValue(key.section, key.name, "x!");
        ReadSettingsKeys(junk, &junkDoc);
        int n = 0;
        for (const SettingsKey& key : SettingsKeys()) {
            const QString sample = std::holds_alternative<bool AppSettings::*>(key.field) ? QString("1")
                                                                                           : QString::number(++n * 7);
            ProfileDocument one;
            one.setValue(key.section, key.name, sample);
            ReadSettingsKeys(written, &one);
            QCOMPARE(SettingText(written, key), sample);
            const QString name = key.name;
            // Server and LoginName get stand-ins when empty; Security follows Port.
            if (name != "Server" && name != "LoginName")
                QVERIFY2(SettingText(none, key) == key.firstRun, key.name);
            if (name != "Security") {
                QVERIFY2(SettingText(lacking, key) == key.missing, key.name);
                if (!std::holds_alternative<QString AppSettings::*>(key.field) &&
                    !std::holds_alternative<SoundFile>(key.field))
                    QVERIFY2(SettingText(junk, key) == key.missing, key.name);
            }
        }
        // Every value the batches write comes back.
        ProfileDocument all;
        n = 0;
        for (const SettingsKey& key : SettingsKeys())
            all.setValue(key.section, key.name,
                         std::holds_alternative<bool AppSettings::*>(key.field) ? "1" : QString::number(++n * 7));
        QVERIFY(all.save(written.IniPath()));
        LoadSettings(written);
        QFile::remove(written.IniPath());
        QVERIFY(WriteDialogBatch(written));
        QVERIFY(WriteExitBatch(written, written.settings.Xpos, written.settings.Ypos));
        LoadSettings(back);
        for (const SettingsKey& key : SettingsKeys())
            if (key.batch != Batch::None) QVERIFY2(SettingText(back, key) == SettingText(written, key), key.name);
    }

    // Further accounts in their sections: one without a server skipped and
    // kept, one past a gap unread, a deleted one gone with the later ones
    // renumbered, a new one added at the end.
    void accountSections_data() {
        QTest::addColumn<int>("edit");  // 0 none, 1 delete the first further account, 2 add one
        QTest::addColumn<QByteArray>("after");
        const QByteArray keys = "AccountName=\r\nEnabled=1\r\nProtocol=0\r\nPort=110\r\nSecurity=0\r\nLoginName=\r\n"
                                "LoginPass=\r\nSavePassword=0\r\nApop=0\r\nCertPin=\r\n";
        const QByteArray b = "[Account2]\r\nServer=b.example\r\nPort=995\r\nAccountName=\x8e\x64\x8e\x96\r\nEnabled=0\r\n"
                             "Protocol=0\r\nSecurity=2\r\nLoginName=\r\nLoginPass=\r\nSavePassword=0\r\nApop=0\r\nCertPin=\r\n";
        const QByteArray rest = "[Account3]\r\nLoginName=x\r\n[Account4]\r\nServer=d.example\r\n" + keys +
                                "[Account6]\r\nServer=gap.example\r\n";
        QTest::newRow("written back") << 0 << b + rest;
        QByteArray moved = rest;
        QTest::newRow("deleted") << 1 << moved.replace("[Account3]", "[Account2]").replace("[Account4]", "[Account3]");
        QTest::newRow("added") << 2 << b + rest + "[Account5]\r\n" + QByteArray(keys).replace("Port=", "Server=new.example\r\nPort=");
    }
    void accountSections() {
        QFETCH(int, edit);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        AppState state;
        state.paths = AppPaths::ProgramFolder(dir.path());
        const QByteArray system = "[System]\r\nServer=a.example\r\n";
        QFile f(state.IniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(system + "[Account2]\r\nServer=b.example\r\nPort=995\r\nAccountName=\x8e\x64\x8e\x96\r\nEnabled=0\r\n"
                         "[Account3]\r\nLoginName=x\r\n[Account4]\r\nServer=d.example\r\n[Account6]\r\nServer=gap.example\r\n");
        f.close();
        LoadSettings(state);
        AppSettings& s = state.settings;
        QStringList read;
        for (const AccountSettings& a : s.MoreAccounts)
            read << QStringLiteral("%1 %2 %3 %4 %5").arg(a.DisplayName()).arg(a.Port).arg(a.Security).arg(a.Enabled).arg(a.Section);
        QCOMPARE(read, (QStringList{"仕事 995 2 0 2", "d.example 110 0 1 4"}));
        if (edit == 1) s.DeletedSections << s.MoreAccounts.takeFirst().Section;
        if (edit == 2) {
            AccountSettings added;
            added.Section = 0;
            added.Server = "new.example";
            added.Port = 110;
            s.MoreAccounts << added;
        }
        QVERIFY(WriteDialogBatch(state));
        QFile back(state.IniPath());
        QVERIFY(back.open(QIODevice::ReadOnly));
        ProfileDocument written = ProfileDocument::fromBytes(back.readAll());
        for (const char* other : {"System", "Sound", "Message"}) written.removeSection(other);
        QCOMPARE(written.toBytes(), after);
        AppState again;
        again.paths = state.paths;
        LoadSettings(again);
        // The new one fills the gap: the section after it counts from now on.
        QCOMPARE(again.settings.MoreAccounts.size(), s.MoreAccounts.size() + (edit == 2));
    }

    // Where credentials come from: the keys are written once set, in
    // [System] as in [AccountN]; a value this program never wrote is the
    // password.
    void credentialKeys_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QByteArray>("keys");  // in the file before
        QTest::addColumn<int>("kind");         // as read
        QTest::addColumn<QString>("after");    // the credential keys after a dialog batch
        QTest::newRow("System, password") << "System" << QByteArray() << 0 << "";
        QTest::newRow("Account2, password") << "Account2" << QByteArray() << 0 << "";
        QTest::newRow("System, GOA") << "System" << QByteArray("Auth=1\r\nGoa=account_1\r\n") << 1
                                     << "Auth=1 Goa=account_1";
        QTest::newRow("Account2, own sign-in")
            << "Account2" << QByteArray("Auth=2\r\nOAuthClientId=c\r\nOAuthAuthority=http://127.0.0.1:9/t\r\n") << 2
            << "Auth=2 OAuthClientId=c OAuthAuthority=http://127.0.0.1:9/t";
        QTest::newRow("System, a value never written") << "System" << QByteArray("Auth=9\r\n") << 0 << "Auth=9";
        QTest::newRow("Account2, junk") << "Account2" << QByteArray("Auth=x\r\n") << 0 << "Auth=0";
    }
    void credentialKeys() {
        QFETCH(QString, section);
        QFETCH(QByteArray, keys);
        QFETCH(int, kind);
        QFETCH(QString, after);
        QTemporaryDir dir;
        AppState state;
        state.paths = AppPaths::ProgramFolder(dir.path());
        const bool system = section == "System";
        QFile f(state.IniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[System]\r\nServer=a.example\r\n" + (system ? keys : "[Account2]\r\nServer=b.example\r\n" + keys));
        f.close();
        LoadSettings(state);
        QCOMPARE(CredentialKind(AccountAt(state.settings, system ? 0 : 1)), qint16(kind));
        QVERIFY(WriteDialogBatch(state));
        const ProfileDocument doc = ProfileDocument::load(state.IniPath());
        QStringList written;
        for (const char* key : {"Auth", "Goa", "OAuthClientId", "OAuthAuthority"})
            if (doc.keys(section).contains(key)) written << QString(key) + '=' + doc.value(section, key);
        QCOMPARE(written.join(' '), after);
    }

    // A trusted certificate belongs to its server and port; a file from
    // before keeps its one pin for the stored server.
    void pinPerServerAndPort() {
        QTemporaryDir dir;
        AppState state;
        state.paths = AppPaths::ProgramFolder(dir.path());
        QFile f(state.IniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[System]\r\nServer=Mail.Example.org\r\nPort=995\r\nCertPin=" + QByteArray(64, 'a') + "\r\n");
        f.close();
        LoadSettings(state);
        AppSettings& s = state.settings;
        QCOMPARE(s.CertPin, QString(64, 'a'));
        s.Port = 110;
        SelectCertPin(s);
        QCOMPARE(s.CertPin, QString());  // another port: nothing trusted, so no "changed" warning
        TrustCertificate(s, QString(64, 'b'));
        QVERIFY(WriteCertPin(state));
        QVERIFY(WriteDialogBatch(state));
        AppState back;
        back.paths = state.paths;
        LoadSettings(back);
        QCOMPARE(back.settings.CertPin, QString(64, 'b'));
        back.settings.Port = 995;
        SelectCertPin(back.settings);
        QCOMPARE(back.settings.CertPin, QString(64, 'a'));
    }
};

QTEST_GUILESS_MAIN(SettingsKeysTest)
#include "tst_settings_keys.moc"
