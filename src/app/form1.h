#pragma once

#include <QTimer>
#include <memory>

#include "app/auto_check.h"
#include "app/services.h"
#include "character/balloon_window.h"
#include "character/character_shell.h"
#include "character/event_sounds.h"
#include "core/app_state.h"
#include "mail/mail_shell.h"

class QDialog;

namespace velmio {

class AwayNews;
class InboxPush;

struct AppState;
class Form4;
class MailCheck;
class PopupMenu;
class SingleInstance;
class TrayIcon;

// The main window: the speech balloon, and the shell that owns the tray icon,
// the popup menu, the one-minute timer and the mail check.
class Form1 : public BalloonWindow, public CharacterShell, public MailShell {
    Q_OBJECT
public:
    Form1(AppState& state, const Services& services);
    ~Form1() override;

    // Start-up. False when another instance runs: the caller ends at once.
    bool Load();
    // Shut-down: the tray icon goes, the exit batch is written, the program
    // ends. When the desktop session is ending, a failed write is told on
    // stderr instead of in a box nobody could answer.
    void Unload(bool sessionEnding = false);

    // Shared procedures.
    int ShowMsg(const QString& text, int style) override;
    int ShowMessageBox(const QString& text, int style);
    void UpdateTrayIcon(const QString& suffix, qint16 selector) override;
    void SetWindowsTopMost(int mode);
    void ShowDialogModal(QDialog& dialog, qint16 mode);
    void SetDisplayMode(int mode);
    void ExecuteMailCheck();
    void HandleTrayMessage(int message);
    void RunMenuCommand(const QString& name);

    // CharacterShell
    void ShowPopupMenu(const QPoint& globalPos) override;
    void RunClickAction(bool fromCharacter) override;

    // MailShell
    void ShowPicture(int frame) override;
    void SayText(const QString& text) override {
        if (!text.isEmpty()) lastLine_ = text;  // also while she is put away
        BalloonWindow::SayText(text);
    }
    void TellSenders(const QStringList& lines) override;
    bool Away() const override { return !isVisible(); }
    void PlayEventSound(int event) override { sounds_.PlayEventSound(event); }
    void PlaySoundFile(const QString& path) override { sounds_.PlaySoundFile(path); }
    bool AlwaysActiveMarked() const;
    void ShowFailureBox(const QString& text) override;
    void AskForPassword() override;
    void SetMailCheckEnabled(bool enabled) override;
    bool MailCheckEnabled() const override;
    void SetTimerEnabled(bool enabled) override;
    bool TimerEnabled() const { return timer1_.isActive(); }
    void OpenSettingsDialog();
    void ShowQuestionModal(QDialog& dialog) override { ShowDialogModal(dialog, kQuestionDialog); }
    void StartSignIn(const AccountSettings& account) override;
    void StoreCertPin(const AccountSettings& account) override;
    int RunSettingsDialog();  // the dialog's result
    // After OK in the settings dialog: the timer and the menu's mark follow
    // AutoCheck, and an account entered on a first run can be checked.
    void FollowAppliedSettings();

    void AutoCheckTick();

    Form4* form4() const { return form4_; }
    PopupMenu* menu() const { return menu_; }
    TrayIcon* tray() const { return tray_; }
    QTimer& timer1() { return timer1_; }
    MailCheck* mailCheck() const { return mailCheck_; }
    EventSounds& sounds() { return sounds_; }
    const AutoCheck& autoCheck() const { return autoCheck_; }
    bool greetPending() const { return greetPending_; }
    AppState& state() { return state_; }
    const Services& services() const { return services_; }

signals:
    // The program has ended its run (after shut-down).
    void ended();

private:
    void Greet();
    void FollowTrayHost(bool present);
    // Both windows out again, her first, so that the balloon is shown above her.
    void ComeForward();
    void StartMailer();
    // Back from the tray: the news she had while away, once.
    void SayNewsAgain();
    void ShowOptionDialog();
    bool WriteDialogBatchNow();
    // Tells the user when a settings write failed; its result.
    bool Saved(bool saved, bool sessionEnding = false);
    void ShowAboutBox();
    bool checked(const char* item) const;
    void setChecked(const char* item, bool on);

    AppState& state_;
    Services services_;
    std::unique_ptr<DialogFactory> ownDialogs_;
    std::unique_ptr<SingleInstance> instance_;
    EventSounds sounds_;
    Form4* form4_ = nullptr;
    PopupMenu* menu_ = nullptr;
    TrayIcon* tray_ = nullptr;
    MailCheck* mailCheck_ = nullptr;
    InboxPush* push_ = nullptr;
    QTimer timer1_;
    AutoCheck autoCheck_;
    bool greetPending_ = false;
    bool unloaded_ = false;
    // The dialog's changes could not be written: the next write tries again.
    bool dialogBatchUnsaved_ = false;
    QString lastLine_;  // her latest line, shown or not
    AwayNews* away_ = nullptr;
};

}  // namespace velmio
