#pragma once

#include <optional>

#include "platform/autostart.h"
#include "settings_dialog/dialog_page.h"
#include "settings_dialog/select_file.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace velmio {

struct AppSettings;
struct AppState;

// The page "その他": automatic checks, the double-click action, the mail
// program and the transparent background.
class OtherPage : public DialogPage {
    Q_OBJECT
public:
    OtherPage(FileSelector selectFile, const QString& startDir, Autostart autostart,
              QWidget* parent = nullptr);

    void LoadOtherPage(const AppState& state);
    // AutoCheck, Min, TelHodai, Click, Mailer, NickName, ShowSender and
    // Clearness, in this order.
    // min is CheckMin's text already converted by the caller; nothing while
    // the interval is greyed, and Min then stays.
    void Apply(AppSettings& settings, std::optional<qint16> min, bool& changed) const;
    // Writes or removes the start-at-login entry when its tick changed.
    // False when that failed.
    bool ApplyAutostart(const QString& program) const;

    // Spreads the double-click options over their row when their captions
    // have grown wider than the room they were given.
    void FitOptionRow();

    QLineEdit* CheckMin() const { return checkMin_; }
    QButtonGroup* DblClick() const { return dblClick_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnableIntervalControls(bool enabled);
    void DblClickSelected(int index);

    FileSelector selectFile_;
    QString startDir_;
    QCheckBox* autoCheck_;
    QLabel* label8_;
    QLineEdit* checkMin_;
    QLabel* label9_;
    QCheckBox* telhoCheck_;
    QButtonGroup* dblClick_;
    QLabel* label10_;
    QLineEdit* execMailer_;
    QCheckBox* bgClearness_;
    Autostart autostart_;
    QCheckBox* autostartBox_;
    QCheckBox* showSender_;
    QLineEdit* nickName_;
    bool stepWithinOptions_ = false;
};

}  // namespace velmio
