#include "app/settings_file.h"

#include <QFile>
#include <algorithm>
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
    for (qsizetype i = 0; i <= s.MoreAccounts.size(); ++i) {
        AccountSettings& a = AccountAt(s, i);
        if (i > 0 && !a.CertPin.isEmpty()) s.CertPins.insert(PinPlace(a), a.CertPin);
        a.PasswordUnread = false;
        if (keyring && a.SavePassword && a.LoginPass.isEmpty()) {
            const KeyringRead read = keyring->Read(KeyringPlace(a), KeyringWait::Briefly);
            a.LoginPass = read.password;
            // Locked, refused or silent: the check asks again when it needs it.
            a.PasswordUnread = read.answer != KeyringAnswer::Found && read.answer != KeyringAnswer::Missing;
        }
    }
    return exists;
}

QString KeyringAccount(const AppState& state) { return KeyringPlace(state.settings); }

bool PasswordLeftInFile(const AppState& state, PasswordKeyring* keyring) {
    if (!keyring || !keyring->Available()) return false;
    const ProfileDocument doc = ProfileDocument::load(state.IniPath());
    const QList<AccountSettings> accounts = AllAccounts(state.settings);
    return std::any_of(accounts.begin(), accounts.end(), [&doc](const AccountSettings& a) {
        return a.SavePassword && !doc.value(AccountSection(a.Section), QStringLiteral("LoginPass")).isEmpty();
    });
}

namespace {

// Where the account's password goes: the keyring when there is one, else
// the file; a keyring that will not store leaves it to the user. The
// password the file is to hold.
QString StorePassword(AccountSettings& a, PasswordKeyring* keyring, const std::function<bool()>& keepInFile) {
    if (!a.SavePassword || a.LoginPass.isEmpty()) {
        // A password the keyring did not give is still there: leave it.
        const bool unread = a.SavePassword && a.PasswordUnread;
        if (keyring && keyring->Available() && !unread) keyring->Remove(KeyringPlace(a));
        return QString();
    }
    const bool stored = keyring && keyring->Available() && keyring->Write(KeyringPlace(a), a.LoginPass);
    if (stored) a.PasswordUnread = false;
    else if (!keyring || !keyring->Available() || (keepInFile && keepInFile())) return a.LoginPass;
    return QString();
}

// The sections of accounts deleted in the dialog go and the later ones move
// up, so the numbers keep without gaps, sections this program skipped
// included; accounts new in the dialog take the numbers after them.
void RenumberSections(ProfileDocument& doc, AppSettings& s) {
    int last = 1;
    while (last < 2 * kMaxAccounts && doc.hasSection(AccountSection(last + 1))) ++last;
    for (const int section : std::as_const(s.DeletedSections)) doc.removeSection(AccountSection(section));
    int to = 2;
    for (int from = 2; from <= last; ++from) {
        if (!doc.hasSection(AccountSection(from))) continue;
        if (to != from) {
            doc.renameSection(AccountSection(from), AccountSection(to));
            for (AccountSettings& a : s.MoreAccounts)
                if (a.Section == from) a.Section = to;
        }
        ++to;
    }
    for (AccountSettings& a : s.MoreAccounts)
        if (a.Section < 2) a.Section = to++;
}

}  // namespace

bool WriteDialogBatch(AppState& state, PasswordKeyring* keyring, const std::function<bool()>& keepInFile) {
    AppSettings& s = state.settings;
    const QString filePass = StorePassword(s, keyring, keepInFile);
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    WriteKeys(doc, state, Batch::Dialog, [&](const SettingsKey& key) -> std::optional<QString> {
        if (Named(key, "LoginPass")) return filePass;
        return std::nullopt;
    });
    // The first account's own keys only once they are set, so files of one
    // account stay as they were.
    AccountSettings first = s;
    first.Section = 1;
    WriteAccountSection(doc, first, Batch::Dialog);
    RenumberSections(doc, s);
    for (AccountSettings& a : s.MoreAccounts) {
        AccountSettings written = a;
        written.LoginPass = StorePassword(a, keyring, keepInFile);
        WriteAccountSection(doc, written, Batch::Dialog);
    }
    // Pins of other servers and ports; the current one is CertPin.
    for (auto pin = s.CertPins.cbegin(); pin != s.CertPins.cend(); ++pin)
        if (pin.key() != PinPlace(s) && !pin.value().isEmpty()) doc.setValue(kCertPins, pin.key(), pin.value());
    if (!doc.save(state.IniPath())) return false;
    s.DeletedSections.clear();
    return true;
}

bool WriteCertPin(const AppState& state, const AccountSettings& account) {
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    doc.setValue(AccountSection(account.Section), "CertPin", account.CertPin);
    doc.setValue(kCertPins, PinPlace(account), account.CertPin);
    return doc.save(state.IniPath());
}

bool WriteCertPin(const AppState& state) { return WriteCertPin(state, state.settings); }

bool WriteExitBatch(const AppState& state, double topTwips, double leftTwips) {
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    WriteKeys(doc, state, Batch::Exit, [&](const SettingsKey& key) -> std::optional<QString> {
        if (Named(key, "Mail")) return QString::number(state.MailTotal);
        if (Named(key, "Xpos")) return Coordinate(topTwips);
        if (Named(key, "Ypos")) return Coordinate(leftTwips);
        return std::nullopt;
    });
    for (const AccountSettings& a : state.settings.MoreAccounts)
        if (doc.hasSection(AccountSection(a.Section))) WriteAccountSection(doc, a, Batch::Exit);
    return doc.save(state.IniPath());
}

}  // namespace velmio
