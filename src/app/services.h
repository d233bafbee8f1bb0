#pragma once

#include <QString>
#include <memory>

class QDialog;
class QWidget;

namespace velmio {

class Clock;
class PasswordKeyring;
class MessageBoxes;
class ProcessLauncher;
class SoundOutput;

// The program's dialogs, made fresh for each opening.
class DialogFactory {
public:
    virtual ~DialogFactory() = default;
    virtual std::unique_ptr<QDialog> CreateSettingsDialog(QWidget* owner) = 0;
    virtual std::unique_ptr<QDialog> CreateAboutBox(QWidget* owner) = 0;
};

// The platform as the shell reaches it; tests hand in their own.
struct Services {
    Clock* clock = nullptr;
    SoundOutput* sound = nullptr;
    MessageBoxes* messages = nullptr;
    ProcessLauncher* launcher = nullptr;
    DialogFactory* dialogs = nullptr;  // null: the program's own dialogs
    PasswordKeyring* keyring = nullptr;  // null: passwords stay in the settings file
    QString lockPath;                  // empty: the user's runtime folder
};

}  // namespace velmio
