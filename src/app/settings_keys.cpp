#include "app/settings_keys.h"

#include "core/value_conversion.h"
#include "platform/profile_file.h"

namespace velmio {
namespace {

using S = AppSettings;
using A = AccountSettings;

template <typename... F>
struct Overload : F... {
    using F::operator()...;
};
template <typename... F>
Overload(F...) -> Overload<F...>;

}  // namespace

const std::vector<SettingsKey>& SettingsKeys() {
    static const std::vector<SettingsKey> keys = {
        {"System", "Server", &S::Server, Batch::Dialog, "", ""},
        {"System", "LoginName", &S::LoginName, Batch::Dialog, "", ""},
        {"System", "LoginPass", &S::LoginPass, Batch::Dialog, "", ""},
        {"System", "Port", &S::Port, Batch::Dialog, "110", "110"},
        {"System", "AutoCheck", &S::AutoCheck, Batch::Dialog, "0", "0"},
        {"System", "TelHodai", &S::TelHodai, Batch::Dialog, "0", "0"},
        {"System", "Min", &S::Min, Batch::Dialog, "10", "0"},
        {"System", "SavePassword", &S::SavePassword, Batch::Dialog, "0", "0"},
        {"System", "Click", &S::Click, Batch::Dialog, "1", "0"},
        {"System", "Mailer", &S::Mailer, Batch::Dialog, "", ""},
        {"System", "Clearness", &S::Clearness, Batch::Dialog, "0", "0"},
        {"Sound", "0", SoundFile{0}, Batch::Dialog, "", ""},
        {"Sound", "1", SoundFile{1}, Batch::Dialog, "", ""},
        {"Sound", "2", SoundFile{2}, Batch::Dialog, "", ""},
        {"Sound", "3", SoundFile{3}, Batch::Dialog, "", ""},
        {"Sound", "4", SoundFile{4}, Batch::Dialog, "", ""},
        {"Sound", "5", SoundFile{5}, Batch::Dialog, "", ""},
        // Missing: 2 when Port is 995, see ReadSettingsKeys.
        {"System", "Security", &S::Security, Batch::Dialog, "0", "0"},
        {"System", "Apop", &S::Apop, Batch::Dialog, "0", "0"},
        {"System", "CertPin", &S::CertPin, Batch::Dialog, "", ""},
        {"System", "ShowSender", &S::ShowSender, Batch::Dialog, "1", "1"},
        {"System", "Protocol", &S::Protocol, Batch::Dialog, "0", "0"},
        // Set in the dialog; the exit batch writes it too, storing a first run's default.
        {"Message", "NickName", &S::NickName, Batch::Dialog, "", "お兄ちゃん"},
        {"System", "Mail", &S::Mail, Batch::Exit, "0", "0"},
        {"System", "Octet", &S::Octet, Batch::Exit, "0", "0"},
        {"System", "AlwaysActive", &S::AlwaysActive, Batch::Exit, "0", "0"},
        {"System", "Xpos", &S::Xpos, Batch::Exit, "-1", "0"},
        {"System", "Ypos", &S::Ypos, Batch::Exit, "-1", "0"},
        {"System", "DispDiff", &S::DispDiff, Batch::Exit, "0", "0"},
        {"System", "CharHide", &S::CharHide, Batch::Exit, "0", "0"},
        {"Sound", "PlayWave", &S::PlayWave, Batch::Exit, "0", "0"},
        {"Sound", "NewMailWave", &S::NewMailWave, Batch::Exit, "", ""},
        {"Message", "NickName", &S::NickName, Batch::Exit, "", "お兄ちゃん"},
        {"System", "LogMode", &S::LogMode, Batch::None, "0", "0"},
    };
    return keys;
}

const std::vector<AccountKey>& AccountKeys() {
    static const std::vector<AccountKey> keys = {
        {"AccountName", &A::AccountName, Batch::Dialog, "", Presence::OnceSetInSystem},
        {"Enabled", &A::Enabled, Batch::Dialog, "1", Presence::OnceSetInSystem},
        {"Protocol", &A::Protocol, Batch::Dialog, "0"},
        {"Server", &A::Server, Batch::Dialog, ""},
        {"Port", &A::Port, Batch::Dialog, "110"},
        {"Security", &A::Security, Batch::Dialog, "0"},
        {"LoginName", &A::LoginName, Batch::Dialog, ""},
        {"LoginPass", &A::LoginPass, Batch::Dialog, ""},
        {"SavePassword", &A::SavePassword, Batch::Dialog, "0"},
        {"Apop", &A::Apop, Batch::Dialog, "0"},
        {"CertPin", &A::CertPin, Batch::Dialog, ""},
        {"Auth", &A::Auth, Batch::Dialog, "0", Presence::OnceSet},
        {"Goa", &A::Goa, Batch::Dialog, "", Presence::OnceSet},
        {"OAuthClientId", &A::OAuthClientId, Batch::Dialog, "", Presence::OnceSet},
        {"OAuthAuthority", &A::OAuthAuthority, Batch::Dialog, "", Presence::OnceSet},
        {"Mail", &A::Mail, Batch::Exit, "0"},
    };
    return keys;
}

QString AccountSection(int number) {
    return number <= 1 ? QStringLiteral("System") : QStringLiteral("Account%1").arg(number);
}

namespace {

// A flag as the file holds it: empty reads as off, a key not there as its default.
bool FlagOf(const QString& text, const QString& fallback) {
    const bool byDefault = fallback == QLatin1String("1");
    return text.trimmed().isEmpty() ? byDefault : ToFlag(text).value_or(byDefault);
}

// Files from before the key: port 995 only ever spoke TLS.
void SecurityByPort(const ProfileDocument& doc, const QString& section, AccountSettings& a) {
    if (!ToInt16(doc.value(section, QStringLiteral("Security"))))
        a.Security = static_cast<quint16>(a.Port) == 995 ? 2 : 0;
}

bool Present(const ProfileDocument& doc, const QString& section, const AccountKey& key) {
    return doc.keys(section).contains(QLatin1String(key.name), Qt::CaseInsensitive);
}

void ReadAccountKey(const ProfileDocument& doc, const QString& section, const AccountKey& key, AccountSettings& a) {
    const QString fallback = QString::fromUtf8(key.missing);
    const QString text = Present(doc, section, key) ? doc.value(section, QLatin1String(key.name)) : fallback;
    std::visit(Overload{
                   [&](QString A::*m) { a.*m = text; },
                   [&](qint16 A::*m) { a.*m = ToInt16(text).value_or(ToInt16(fallback).value_or(0)); },
                   [&](bool A::*m) { a.*m = FlagOf(text, fallback); },
               },
               key.field);
}

}  // namespace

std::optional<AccountSettings> ReadAccountSection(const ProfileDocument& doc, int number) {
    const QString section = AccountSection(number);
    AccountSettings a;
    a.Section = number;
    for (const AccountKey& key : AccountKeys()) ReadAccountKey(doc, section, key, a);
    SecurityByPort(doc, section, a);
    if (a.Server.trimmed().isEmpty()) return std::nullopt;
    return a;
}

void WriteAccountSection(ProfileDocument& doc, const AccountSettings& a, Batch batch) {
    const QString section = AccountSection(a.Section);
    const bool system = a.Section <= 1;
    for (const AccountKey& key : AccountKeys()) {
        if (key.batch != batch || (system && key.presence == Presence::Always)) continue;
        const QString text = std::visit(Overload{
                                            [&](QString A::*m) { return a.*m; },
                                            [&](qint16 A::*m) { return QString::number(a.*m); },
                                            [&](bool A::*m) { return FlagText(a.*m); },
                                        },
                                        key.field);
        const bool onceSet =
            key.presence == Presence::OnceSet || (system && key.presence == Presence::OnceSetInSystem);
        if (onceSet && text == QLatin1String(key.missing) && !Present(doc, section, key)) continue;
        doc.setValue(section, QLatin1String(key.name), text);
    }
}

void ReadSettingsKeys(AppState& state, const ProfileDocument* doc) {
    AppSettings& s = state.settings;
    s = AppSettings{};
    for (const SettingsKey& key : SettingsKeys()) {
        const QString fallback = QString::fromUtf8(doc ? key.missing : key.firstRun);
        const QString text = doc ? doc->value(QLatin1String(key.section), QLatin1String(key.name)) : fallback;
        std::visit(Overload{
                       [&](QString S::*m) { s.*m = doc ? text : fallback; },
                       [&](qint16 S::*m) { s.*m = ToInt16(text).value_or(ToInt16(fallback).value_or(0)); },
                       [&](qint32 S::*m) { s.*m = ToInt32(text).value_or(ToInt32(fallback).value_or(0)); },
                       [&](bool S::*m) { s.*m = FlagOf(text, fallback); },
                       [&](SoundFile f) { state.soundTable[f.event] = doc ? text : fallback; },
                   },
                   key.field);
    }
    if (!doc) return;
    SecurityByPort(*doc, QStringLiteral("System"), s);
    // The first account's own keys, written only once they are set.
    for (const AccountKey& key : AccountKeys())
        if (key.presence != Presence::Always) ReadAccountKey(*doc, QStringLiteral("System"), key, s);
    for (int n = 2; n <= kMaxAccounts && doc->hasSection(AccountSection(n)); ++n)
        if (const auto account = ReadAccountSection(*doc, n)) s.MoreAccounts << *account;
}

QString SettingText(const AppState& state, const SettingsKey& key) {
    const AppSettings& s = state.settings;
    return std::visit(Overload{
                          [&](QString S::*m) { return s.*m; },
                          [&](qint16 S::*m) { return QString::number(s.*m); },
                          [&](qint32 S::*m) { return QString::number(s.*m); },
                          [&](bool S::*m) { return FlagText(s.*m); },
                          [&](SoundFile f) { return state.soundTable[f.event]; },
                      },
                      key.field);
}

}  // namespace velmio
