#include "app/settings_file.h"

#include <QFile>
#include <charconv>
#include <optional>

#include "app/settings_keys.h"
#include "core/app_state.h"
#include "core/value_conversion.h"
#include "platform/password_keyring.h"
#include "platform/profile_file.h"

namespace velmio {
namespace {

const QString kSystem = QStringLiteral("System");
const QString kCertPins = QStringLiteral("CertPins");

// A position in twips as the single-precision number the window gives, in
// the shortest decimal form that reads back to it (normally a whole number),
// never in exponent form.
QString Coordinate(double twips) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(twips),
                                   std::chars_format::fixed);
    return QString::fromLatin1(text, static_cast<int>(end.ptr - text));
}

bool Named(const SettingsKey& key, const char* name) { return qstrcmp(key.name, name) == 0; }

// Writes the batch's keys in the table's order; `special` gives the value of
// a key that is not simply the setting, or nothing.
template <typename Special>
void WriteKeys(ProfileDocument& doc, const AppState& state, Batch batch, Special special) {
    for (const SettingsKey& key : SettingsKeys()) {
        if (key.batch != batch) continue;
        const std::optional<QString> value = special(key);
        doc.setValue(QLatin1String(key.section), QLatin1String(key.name), value ? *value : SettingText(state, key));
    }
}

}  // namespace

bool LoadSettings(AppState& state, PasswordKeyring* keyring) {
    const bool exists = QFile::exists(state.IniPath());
    const ProfileDocument doc = ProfileDocument::load(state.IniPath());
    ReadSettingsKeys(state, exists ? &doc : nullptr);
    AppSettings& s = state.settings;
    for (const QString& place : doc.keys(kCertPins))
        if (const QString pin = doc.value(kCertPins, place); !pin.isEmpty()) s.CertPins.insert(place.toLower(), pin);
    // CertPin is the pin of the stored server and port, also in files from
    // before the pins of their own.
    if (!s.CertPin.isEmpty()) s.CertPins.insert(PinPlace(s), s.CertPin);
    // Both baselines and the total start from the stored total, so a run
    // without a successful check writes the same total back.
    state.LastCheckMail = s.Mail;
    state.StartMail = s.Mail;
    state.MailTotal = s.Mail;

    if (s.Server.isEmpty()) s.Server = kPlaceholderServer;
    if (s.LoginName.isEmpty()) s.LoginName = kPlaceholderLogin;
    state.PasswordUnread = false;
    if (keyring && s.SavePassword && s.LoginPass.isEmpty()) {
        const KeyringRead read = keyring->Read(KeyringAccount(state), KeyringWait::Briefly);
        s.LoginPass = read.password;
        // Locked, refused or silent: the check asks again when it needs it.
        state.PasswordUnread = read.answer != KeyringAnswer::Found && read.answer != KeyringAnswer::Missing;
    }
    return exists;
}

QString KeyringAccount(const AppState& state) {
    return KeyringAccount(state.settings.LoginName, state.settings.Server);
}

bool PasswordLeftInFile(const AppState& state, PasswordKeyring* keyring) {
    return keyring && state.settings.SavePassword && keyring->Available() &&
           !ReadIniValue(state.IniPath(), kSystem, QStringLiteral("LoginPass")).isEmpty();
}

bool WriteDialogBatch(AppState& state, PasswordKeyring* keyring, const std::function<bool()>& keepInFile) {
    const AppSettings& s = state.settings;
    QString filePass;
    if (!s.SavePassword || s.LoginPass.isEmpty()) {
        // A password the keyring did not give is still there: leave it.
        const bool unread = s.SavePassword && state.PasswordUnread;
        if (keyring && keyring->Available() && !unread) keyring->Remove(KeyringAccount(state));
    } else {
        // Without a keyring the file is the place; one that will not store
        // leaves it to the user.
        const bool stored = keyring && keyring->Available() && keyring->Write(KeyringAccount(state), s.LoginPass);
        if (stored) state.PasswordUnread = false;
        else if (!keyring || !keyring->Available() || (keepInFile && keepInFile())) filePass = s.LoginPass;
    }
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    WriteKeys(doc, state, Batch::Dialog, [&](const SettingsKey& key) -> std::optional<QString> {
        if (Named(key, "LoginPass")) return filePass;
        return std::nullopt;
    });
    // Pins of other servers and ports; the current one is CertPin.
    for (auto pin = s.CertPins.cbegin(); pin != s.CertPins.cend(); ++pin)
        if (pin.key() != PinPlace(s) && !pin.value().isEmpty()) doc.setValue(kCertPins, pin.key(), pin.value());
    return doc.save(state.IniPath());
}

bool WriteCertPin(const AppState& state) {
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    doc.setValue(kSystem, "CertPin", state.settings.CertPin);
    doc.setValue(kCertPins, PinPlace(state.settings), state.settings.CertPin);
    return doc.save(state.IniPath());
}

bool WriteExitBatch(const AppState& state, double topTwips, double leftTwips) {
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    WriteKeys(doc, state, Batch::Exit, [&](const SettingsKey& key) -> std::optional<QString> {
        if (Named(key, "Mail")) return QString::number(state.MailTotal);
        if (Named(key, "Xpos")) return Coordinate(topTwips);
        if (Named(key, "Ypos")) return Coordinate(leftTwips);
        return std::nullopt;
    });
    return doc.save(state.IniPath());
}

}  // namespace velmio
