#pragma once

#include <QString>

namespace velmio {

struct AppState;
class PasswordKeyring;

inline const QString kPlaceholderServer = QStringLiteral("pop.example.invalid");
inline const QString kPlaceholderLogin = QStringLiteral("Server LoginName");

// Reads velmio.ini into the state (its paths must be set). Returns false when
// there was no settings file: the first run. A saved password that the file
// leaves empty is looked up in the keyring.
bool LoadSettings(AppState& state, PasswordKeyring* keyring = nullptr);

// The batch written after a confirmed settings dialog with changes. A saved
// password goes into the keyring when one takes it, else into the file.
void WriteDialogBatch(const AppState& state, PasswordKeyring* keyring = nullptr);

// The file still holds a saved password that the keyring could take.
bool PasswordLeftInFile(const AppState& state, PasswordKeyring* keyring);

// The keyring's account for the current server and user.
QString KeyringAccount(const AppState& state);

// Stores the trusted certificate's digest at once: that key only, every
// other line of the file kept.
void WriteCertPin(const AppState& state);

// The batch written when the program ends; the character's current place is
// passed in twips.
void WriteExitBatch(const AppState& state, double topTwips, double leftTwips);

}  // namespace velmio
