#pragma once

#include <QDialog>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

#include "app/services.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/process_launcher.h"
#include "platform/sound_output.h"

namespace velmio::test {

class RecordingSound : public SoundOutput {
public:
    void play(const QString& path) override { played << path; }
    bool hasDevice() const override { return device; }
    QStringList played;
    bool device = true;
};

class RecordingMessages : public MessageBoxes {
public:
    int show(QWidget*, const QString& text, int style, const QString& caption) override {
        texts << text;
        styles << style;
        captions << caption;
        if (onShow) onShow();
        return 1;
    }
    QStringList texts;
    QList<int> styles;
    QStringList captions;
    std::function<void()> onShow;
};

class RecordingLauncher : public ProcessLauncher {
public:
    bool startDetached(const QString& program, const QStringList& args, QString* error) override {
        programs << program;
        arguments << args;
        if (!succeed && error) *error = QStringLiteral("No such file or directory");
        return succeed;
    }
    QStringList programs;
    QList<QStringList> arguments;
    bool succeed = true;
};

// Dialogs that close themselves as soon as they are shown, after running
// whatever the test wants to see while they are open.
class ScriptedDialogs : public DialogFactory {
public:
    std::unique_ptr<QDialog> CreateSettingsDialog(QWidget* owner) override;
    std::unique_ptr<QDialog> CreateAboutBox(QWidget* owner) override;
    std::function<void(QDialog&)> whileOpen;
    int opened = 0;

private:
    std::unique_ptr<QDialog> make(QWidget* owner, const char* name);
};

// A program folder of its own: the built program files copied into a fresh
// temporary folder, so each test starts from known files.
class ProgramFolder {
public:
    explicit ProgramFolder(bool withPictures = true);
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir dir_;
};

// The fakes together, as one bundle of services.
struct FakeServices {
    ManualClock clock;
    RecordingSound sound;
    RecordingMessages messages;
    RecordingLauncher launcher;
    ScriptedDialogs dialogs;
    QTemporaryDir lockDir;
    PasswordKeyring* keyring = nullptr;
    Services services() {
        Services s;
        s.clock = &clock;
        s.sound = &sound;
        s.messages = &messages;
        s.launcher = &launcher;
        s.dialogs = &dialogs;
        s.keyring = keyring;
        s.lockPath = lockDir.filePath(QStringLiteral("velmio.lock"));
        return s;
    }
};

QByteArray Cp932(const QString& text);

}  // namespace velmio::test
