#pragma once

#include "app/services.h"

namespace velmio {

class Form1;

// The settings dialog and the about box of the running program.
class ProgramDialogs : public DialogFactory {
public:
    explicit ProgramDialogs(Form1& shell) : shell_(shell) {}
    std::unique_ptr<QDialog> CreateSettingsDialog(QWidget* owner) override;
    std::unique_ptr<QDialog> CreateAboutBox(QWidget* owner) override;

private:
    Form1& shell_;
};

}  // namespace velmio
