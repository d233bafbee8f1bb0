#pragma once

#include <QString>

namespace velmio {

struct AppState;

inline const QString kPlaceholderServer = QStringLiteral("pop.example.invalid");
inline const QString kPlaceholderLogin = QStringLiteral("Server LoginName");

// Reads velmio.ini into the state (AppPath must be set). Returns false when
// there was no settings file: the first run.
bool LoadSettings(AppState& state);

// The batch written after a confirmed settings dialog with changes.
void WriteDialogBatch(const AppState& state);

// Stores the trusted certificate's digest at once: that key only, every
// other line of the file kept.
void WriteCertPin(const AppState& state);

// The batch written when the program ends; the character's current place is
// passed in twips.
void WriteExitBatch(const AppState& state, double topTwips, double leftTwips);

}  // namespace velmio
