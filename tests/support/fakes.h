#pragma once

#include <QDialog>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

#include "app/services.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/password_keyring.h"
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
        return (style & 7) == kYesNo ? answer : kOk;
    }
    int answer = kNo;  // to a Yes/No question
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

// A keyring that gives the answers it is told, in turn (the last one
// again and again), and writes down what it was asked.
class FakeKeyring : public PasswordKeyring {
public:
    bool Available() const override { return available; }
    KeyringRead Read(const QString& account, KeyringWait wait) override {
        calls << QStringLiteral("read %1 %2").arg(account, wait == KeyringWait::Briefly ? "briefly" : "for unlock");
        const KeyringAnswer answer = answers.size() > 1 ? answers.takeFirst() : answers.value(0, KeyringAnswer::Missing);
        if (answer != KeyringAnswer::Found) return {answer, {}, QStringLiteral("fake says no")};
        return {answer, stored.value(account), {}};
    }
    bool Write(const QString& account, const QString& password) override {
        calls << "write " + account;
        if (writes) stored.insert(account, password);
        return writes;
    }
    bool Remove(const QString& account) override {
        calls << "remove " + account;
        stored.remove(account);
        return true;
    }
    bool available = true;
    bool writes = true;
    QList<KeyringAnswer> answers{KeyringAnswer::Found};
    QMap<QString, QString> stored;
    QStringList calls;
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
