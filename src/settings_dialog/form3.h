#pragma once

#include <QDialog>
#include <functional>

#include "platform/autostart.h"
#include "settings_dialog/select_file.h"

class QPushButton;
class QTabWidget;

namespace velmio {

struct AppState;
class EventSounds;
class MessageBoxes;
class OtherPage;
class PasswordKeyring;
class ServerPage;
class SoundPage;

// What the settings dialog needs from the program around it.
struct Form3Services {
    EventSounds* sounds = nullptr;        // required: the wave test and the device check
    MessageBoxes* messages = nullptr;     // numbers refused on OK
    // Run on OK with AutoCheck: the shell sets its timer and menu from it.
    std::function<void(bool)> applied;
    FileSelector selectFile;              // empty: the open-file dialog
    Autostart autostart;                  // the user's start-at-login entry
    QString program;                      // empty: the running program
    PasswordKeyring* keyring = nullptr;   // named in the SavePass tooltip when it answers
};

// The settings dialog "設定": edits the in-memory settings on three pages and
// writes them back on OK only, raising SettingsChanged for every field that
// differs. It never writes the settings file.
class Form3 : public QDialog {
    Q_OBJECT
public:
    Form3(AppState& state, const Form3Services& services, QWidget* parent = nullptr);
    ~Form3() override;

    // OK: applies and closes, or refuses a number and stays open.
    void accept() override;

private:
    void Load();
    bool ApplySettings();
    void Refuse(int page, QWidget* field, const QString& text);
    void FitCaptions();
    void SetKeyboardOrder();

    AppState& state_;
    Form3Services services_;
    QTabWidget* tabs_;
    ServerPage* serverPage_;
    SoundPage* soundPage_;
    OtherPage* otherPage_;
    QPushButton* command6_;
    QPushButton* command7_;
};

}  // namespace velmio
