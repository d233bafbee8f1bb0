#pragma once

#include <QStringList>
#include <functional>

#include "mail/mail_shell.h"

namespace velmio::test {

// A shell that writes down what the mail check asks of it, in order, as
// short lines: "picture 1", "sound 5", "say ...", "wave ...", "msg 16 ...",
// "tray 2 ...", "menu on", "timer off", "topmost 0", "balloon hide",
// "settings". It also keeps the latest state of each part.
class RecordingMailShell : public MailShell {
public:
    void ShowPicture(int frame) override;
    void SayText(const QString& text) override;
    void PlayEventSound(int event) override;
    void PlaySoundFile(const QString& path) override;
    int ShowMsg(const QString& text, int style) override;
    void UpdateTrayIcon(const QString& suffix, qint16 selector) override;
    void SetWindowsTopMost(int mode) override;
    bool AlwaysActiveMarked() const override { return alwaysActive; }
    void SetMailCheckEnabled(bool enabled) override;
    bool MailCheckEnabled() const override { return menuEnabled; }
    void SetTimerEnabled(bool enabled) override;
    void SetBalloonVisible(bool visible) override;
    void OpenSettingsDialog() override;

    // The calls that start with prefix, in order.
    QStringList callsOf(const QString& prefix) const;
    void clear() { calls.clear(); }

    QStringList calls;
    QString said;  // the balloon's text: an empty text leaves it as it was
    int picture = 0;
    QString tip;   // the summary behind the title
    qint16 traySelector = 0;
    QStringList messages;
    bool menuEnabled = true;
    bool timerEnabled = false;
    bool balloonVisible = true;
    bool alwaysActive = false;
    std::function<void()> onShowMsg;
};

}  // namespace velmio::test
