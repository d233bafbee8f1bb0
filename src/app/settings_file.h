#pragma once

#include <QString>
#include <functional>

#include "core/app_settings.h"

namespace velmio {

struct AppState;
class PasswordKeyring;

inline const QString kPlaceholderServer = QStringLiteral("pop.example.invalid");
inline const QString kPlaceholderLogin = QStringLiteral("Server LoginName");
// A server and a password (or a source of credentials) have been entered:
// there is a mailbox to check.
inline bool AccountSet(const AccountSettings& s) {
    const bool credential = !s.LoginPass.isEmpty() || s.Auth == kAuthGoa || s.Auth == kAuthDeviceGrant;
    return credential && !s.Server.isEmpty() && s.Server != kPlaceholderServer;
}

// Reads velmio.ini into the state (its paths must be set). Returns false when
// there was no settings file: the first run. A saved password that the file
// leaves empty is looked up in the keyring, without waiting for an unlock.
bool LoadSettings(AppState& state, PasswordKeyring* keyring = nullptr);

// The batch written after a confirmed settings dialog with changes. A saved
// password goes into the keyring when there is one, else into the file; a
// keyring that will not take it leaves the choice to keepInFile. Each write
// returns false when the file could not be saved (the old one stays whole).
bool WriteDialogBatch(AppState& state, PasswordKeyring* keyring = nullptr,
                      const std::function<bool()>& keepInFile = {});

// The file still holds a saved password that the keyring could take.
bool PasswordLeftInFile(const AppState& state, PasswordKeyring* keyring);

// The keyring's account for the first account's server and user.
QString KeyringAccount(const AppState& state);

// Stores the trusted certificate's digest of an account (the first for the
// state alone) at once: that key only, every other line of the file kept.
bool WriteCertPin(const AppState& state, const AccountSettings& account);
bool WriteCertPin(const AppState& state);

// The batch written when the program ends; the character's current place is
// passed in twips.
bool WriteExitBatch(const AppState& state, double topTwips, double leftTwips);

}  // namespace velmio
