#pragma once

#include <QString>
#include <QStringList>

class QDialog;

namespace velmio {

struct AccountSettings;

// What a mail check asks of the program around it: the character, the tray,
// the menu item that marks a running check, the automatic-check timer, and
// its boxes, which the program stacks over her windows.
class MailShell {
public:
    virtual ~MailShell() = default;
    virtual void ShowPicture(int frame) = 0;
    virtual void SayText(const QString& text) = 0;
    // After the reaction to new mail: who wrote, a line a message (none when
    // not asked for or not to be had). Said in turn, or sent to the desktop's
    // notifications when she is put away.
    virtual void TellSenders(const QStringList& lines) = 0;
    // She is put away: what a check tells goes to the desktop, and an IMAP
    // check brings the UIDs of what it reports, so they can be marked seen.
    virtual bool Away() const { return false; }
    virtual void PlayEventSound(int event) = 0;
    virtual void PlaySoundFile(const QString& path) = 0;
    virtual int ShowMsg(const QString& text, int style) = 0;
    // A failed check's box with the program's caption and no sound of its
    // own; she and her balloon step aside while it is open.
    virtual void ShowFailureBox(const QString& text) = 0;
    // No password is set: the box that says so, then the settings dialog.
    virtual void AskForPassword() = 0;
    // An account of her own sign-in has no token to be had: the sign-in
    // dialog. Only for a check the user asked for.
    virtual void StartSignIn(const AccountSettings& account) { (void)account; }
    // A question of the check, shown modal as the program's dialogs are:
    // the timer stops and the windows step aside while it is open.
    virtual void ShowQuestionModal(QDialog& dialog) = 0;
    // The trusted certificate's digest of the account has changed; it is
    // stored at once.
    virtual void StoreCertPin(const AccountSettings& account) = 0;
    virtual void UpdateTrayIcon(const QString& suffix, qint16 selector) = 0;
    // The check-now menu item; disabled while a check runs.
    virtual void SetMailCheckEnabled(bool enabled) = 0;
    virtual bool MailCheckEnabled() const = 0;
    virtual void SetTimerEnabled(bool enabled) = 0;
};

}  // namespace velmio
