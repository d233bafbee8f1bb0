#pragma once

#include <QMessageBox>
#include <QStringList>
#include <functional>

#include "mail/mail_shell.h"

namespace velmio::test {

// A shell that writes down what the mail check asks of it, in order, as
// short lines: "picture 1", "sound 5", "say ...", "wave ...", "msg 16 ...",
// "box 16 ...", "tray 2 ...", "menu on", "timer off", "topmost 0",
// "balloon hide", "settings", "question", "store pin", "senders a | b". It also keeps the
// latest state of each part.
class RecordingMailShell : public MailShell {
public:
    void ShowPicture(int frame) override {
        picture = frame;
        calls << QStringLiteral("picture %1").arg(frame);
    }
    void SayText(const QString& text) override {
        if (!text.isEmpty()) said = text;  // an empty text leaves the balloon as it was
        calls << "say " + text;
    }
    void TellSenders(const QStringList& lines) override {
        senders = lines;
        calls << "senders " + lines.join(" | ");
    }
    bool Away() const override { return away; }
    void PlayEventSound(int event) override { calls << QStringLiteral("sound %1").arg(event); }
    void PlaySoundFile(const QString& path) override { calls << "wave " + path; }
    int ShowMsg(const QString& text, int style) override {
        messages << text;
        calls << QStringLiteral("msg %1 ").arg(style) + text;
        if (onShowMsg) onShowMsg();
        return 1;
    }
    // As the program stacks them: she steps aside, the box, she is back.
    void ShowFailureBox(const QString& text) override {
        calls << "topmost 0" << "balloon hide";
        balloonVisible = false;
        messages << text;
        calls << "box 16 " + text;
        if (onShowMsg) onShowMsg();
        calls << QStringLiteral("topmost %1").arg(alwaysActive ? 1 : 0) << "balloon show";
        balloonVisible = true;
    }
    void AskForPassword() override {
        calls << "topmost 0";
        ShowMsg(QStringLiteral("Passwordが設定されていません"), 16);
        calls << "settings" << QStringLiteral("topmost %1").arg(alwaysActive ? 1 : 0);
    }
    // A question box's text; answered by onQuestion (clicking a button), or
    // left unanswered, which is Cancel.
    void ShowQuestionModal(QDialog& dialog) override {
        calls << "question";
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) questions << box->text() + '\n' + box->informativeText();
        if (onQuestion) onQuestion(dialog);
    }
    void StoreCertPin(const AccountSettings&) override { calls << "store pin"; }
    void UpdateTrayIcon(const QString& suffix, qint16 selector) override {
        tip = suffix;
        traySelector = selector;
        calls << QStringLiteral("tray %1 ").arg(selector) + suffix;
    }
    void SetMailCheckEnabled(bool on) override { calls << QString("menu ") + ((menuEnabled = on) ? "on" : "off"); }
    bool MailCheckEnabled() const override { return menuEnabled; }
    void SetTimerEnabled(bool on) override { calls << QString("timer ") + ((timerEnabled = on) ? "on" : "off"); }
    QStringList calls;
    QStringList senders;
    QString said;
    int picture = 0;
    QString tip;  // the summary behind the title
    qint16 traySelector = 0;
    QStringList messages;
    bool menuEnabled = true;
    bool timerEnabled = false;
    bool balloonVisible = true;
    bool alwaysActive = false;
    bool away = false;  // put away: IMAP checks bring UIDs
    std::function<void()> onShowMsg;
    QStringList questions;
    std::function<void(QDialog&)> onQuestion;
};

}  // namespace velmio::test
