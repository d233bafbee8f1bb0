#pragma once

#include <QString>
#include <array>

#include "core/app_settings.h"
#include "core/reaction_table.h"
#include "platform/app_paths.h"

namespace velmio {

inline const QString kAppTitle = QStringLiteral("Velmioチェック");

// Wave file of each sound event, 0 to 5; empty for none.
using SoundTable = std::array<QString, 6>;

// Values of DialogMode.
enum : qint16 { kNoDialog = 1, kSettingsDialog = 3, kAboutDialog = 4, kQuestionDialog = 5 };

// The counters of the display modes for one account: its total of the
// last check and the baselines the modes compare with.
struct MailCounters {
    qint16 MailTotal = 0;
    qint16 LastCheckMail = 0;
    qint16 StartMail = 0;
};

// The program-wide state, one object handed to every part that needs it.
// Its counters are the first account's.
struct AppState : MailCounters {
    AppPaths paths;  // where each file of the program lives
    AppSettings settings;
    SoundTable soundTable;
    ReactionTable reactions;
    qint16 DialogMode = kNoDialog;
    bool SettingsChanged = false;

    QString IniPath() const { return paths.IniPath(); }
};

}  // namespace velmio
