#include "app/program_dialogs.h"

#include "about/frm_about.h"
#include "app/form1.h"
#include "core/app_state.h"
#include "platform/message_box.h"
#include "platform/process_launcher.h"
#include "settings_dialog/form3.h"

namespace velmio {
namespace {

// The dialogs' message boxes stand over the dialog itself, not over the
// character windows hidden while it is open.
QtMessageBoxes& DialogMessages() {
    static QtMessageBoxes messages;
    return messages;
}

QtProcessLauncher& DialogLauncher() {
    static QtProcessLauncher launcher;
    return launcher;
}

}  // namespace

std::unique_ptr<QDialog> ProgramDialogs::CreateSettingsDialog(QWidget* owner) {
    Form3Services services;
    services.sounds = &shell_.sounds();
    services.messages = &DialogMessages();
    services.setTimer1 = [this](bool enabled) { shell_.SetTimerEnabled(enabled); };
    return std::make_unique<Form3>(shell_.state(), services, owner);
}

std::unique_ptr<QDialog> ProgramDialogs::CreateAboutBox(QWidget* owner) {
    AboutServices services;
    services.appPath = shell_.state().AppPath;
    services.launcher = &DialogLauncher();
    services.messages = &DialogMessages();
    return std::make_unique<frmAbout>(services, owner);
}

}  // namespace velmio
