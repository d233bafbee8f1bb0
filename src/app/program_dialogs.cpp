#include "app/program_dialogs.h"

#include "about/frm_about.h"
#include "app/form1.h"
#include "core/app_state.h"
#include "settings_dialog/form3.h"

namespace velmio {

std::unique_ptr<QDialog> ProgramDialogs::CreateSettingsDialog(QWidget* owner) {
    Form3Services services;
    services.sounds = &shell_.sounds();
    services.messages = shell_.services().messages;
    services.keyring = shell_.services().keyring;
    services.applied = [this](bool) { shell_.FollowAppliedSettings(); };
    return std::make_unique<Form3>(shell_.state(), services, owner);
}

std::unique_ptr<QDialog> ProgramDialogs::CreateAboutBox(QWidget* owner) {
    AboutServices services;
    services.paths = shell_.state().paths;
    services.launcher = shell_.services().launcher;
    services.messages = shell_.services().messages;
    return std::make_unique<frmAbout>(services, owner);
}

}  // namespace velmio
