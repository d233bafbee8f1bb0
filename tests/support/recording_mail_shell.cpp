#include "support/recording_mail_shell.h"

namespace velmio::test {

void RecordingMailShell::ShowPicture(int frame) {
    picture = frame;
    calls << QStringLiteral("picture %1").arg(frame);
}

void RecordingMailShell::SayText(const QString& text) {
    if (!text.isEmpty()) said = text;
    calls << QStringLiteral("say ") + text;
}

void RecordingMailShell::PlayEventSound(int event) { calls << QStringLiteral("sound %1").arg(event); }

void RecordingMailShell::PlaySoundFile(const QString& path) { calls << QStringLiteral("wave ") + path; }

int RecordingMailShell::ShowMsg(const QString& text, int style) {
    messages << text;
    calls << QStringLiteral("msg %1 ").arg(style) + text;
    if (onShowMsg) onShowMsg();
    return 1;
}

void RecordingMailShell::UpdateTrayIcon(const QString& suffix, qint16 selector) {
    tip = suffix;
    traySelector = selector;
    calls << QStringLiteral("tray %1 ").arg(selector) + suffix;
}

void RecordingMailShell::SetWindowsTopMost(int mode) { calls << QStringLiteral("topmost %1").arg(mode); }

void RecordingMailShell::SetMailCheckEnabled(bool enabled) {
    menuEnabled = enabled;
    calls << (enabled ? QStringLiteral("menu on") : QStringLiteral("menu off"));
}

void RecordingMailShell::SetTimerEnabled(bool enabled) {
    timerEnabled = enabled;
    calls << (enabled ? QStringLiteral("timer on") : QStringLiteral("timer off"));
}

void RecordingMailShell::SetBalloonVisible(bool visible) {
    balloonVisible = visible;
    calls << (visible ? QStringLiteral("balloon show") : QStringLiteral("balloon hide"));
}

void RecordingMailShell::OpenSettingsDialog() { calls << QStringLiteral("settings"); }

QStringList RecordingMailShell::callsOf(const QString& prefix) const {
    QStringList out;
    for (const QString& c : calls)
        if (c.startsWith(prefix)) out << c;
    return out;
}

}  // namespace velmio::test
