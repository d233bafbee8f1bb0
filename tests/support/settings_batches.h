#pragma once

#include <QDir>
#include <QFile>
#include <QList>

#include "app/settings_file.h"
#include "core/app_state.h"

namespace velmio::test {

// Settings files of several kinds, and what the two write batches make of
// them after a few changes: the bytes must stay what they have always been.
struct BatchCase {
    const char* name;
    QByteArray before;  // empty: no file
};

inline QList<BatchCase> BatchCases() {
    return {
        {"first-run", {}},
        {"every-key",
         "; kept as it is\r\n[SYSTEM]\r\nserver=pop.example.org\r\nLoginName = bob\r\nLoginPass=\r\nPort=110\r\n"
         "AutoCheck=1\r\nTelHodai=0\r\nMin=3\r\nSavePassword=0\r\nMail=4\r\nOctet=2\r\nAlwaysActive=1\r\n"
         "Xpos=100\r\nYpos=200\r\nClick=2\r\nMailer=thunder bird\r\nDispDiff=1\r\nCharHide=0\r\nLogMode=1\r\n"
         "Clearness=1\r\nSecurity=1\r\nApop=1\r\n\r\n[Sound]\r\n0=/a.wav\r\nPlayWave=1\r\nNewMailWave=/n.wav\r\n"
         "[Message]\r\nNickName=\x82\xa8\x8c\x5a\x82\xbf\x82\xe1\x82\xf1\r\n"},
        {"few-keys-lf", "[system]\nserver = pop.example.org\nPort=995\n; note\n[Other]\nA=1\n"},
        {"utf8-nickname", "[Message]\nNickName=\xe3\x82\x86\xe3\x81\x86\xe3\x81\x8f\xe3\x82\x93\n"},
    };
}

// Loads the case's file, changes what a user would, and writes the dialog
// batch and then the exit batch; returns the file's bytes.
inline QByteArray RunBatches(const QString& folder, const BatchCase& c) {
    AppState state;
    state.paths = AppPaths::ProgramFolder(folder);
    QFile::remove(state.IniPath());
    if (!c.before.isEmpty()) {
        QFile f(state.IniPath());
        if (!f.open(QIODevice::WriteOnly)) return {};
        f.write(c.before);
    }
    LoadSettings(state);
    AppSettings& s = state.settings;
    s.LoginPass = QStringLiteral("pw");
    s.SavePassword = true;
    s.Min = 7;
    s.Port = 995;
    s.Security = 2;
    state.soundTable[2] = QStringLiteral("/s/2.wav");
    s.CertPin = QString(64, 'c');
    state.MailTotal = 5;
    WriteDialogBatch(state);
    WriteExitBatch(state, 1234.5, 678);
    QFile f(state.IniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace velmio::test
