#include "app/program_dialogs.h"

#include <QDialog>

#include "app/form1.h"

namespace velmio {

std::unique_ptr<QDialog> ProgramDialogs::CreateSettingsDialog(QWidget* owner) {
    auto dialog = std::make_unique<QDialog>(owner);
    dialog->setObjectName(QStringLiteral("Form3"));
    dialog->setWindowTitle(QStringLiteral("設定"));
    return dialog;
}

std::unique_ptr<QDialog> ProgramDialogs::CreateAboutBox(QWidget* owner) {
    auto dialog = std::make_unique<QDialog>(owner);
    dialog->setObjectName(QStringLiteral("frmAbout"));
    return dialog;
}

}  // namespace velmio
