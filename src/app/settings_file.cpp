#include "app/settings_file.h"

#include <QFile>
#include <charconv>

#include "character/event_sounds.h"
#include "core/app_state.h"
#include "core/value_conversion.h"
#include "platform/password_keyring.h"
#include "platform/profile_file.h"

namespace velmio {
namespace {

const QString kSystem = QStringLiteral("System");
const QString kSound = QStringLiteral("Sound");
const QString kMessage = QStringLiteral("Message");

class Reader {
public:
    Reader(const ProfileDocument& doc) : doc_(doc) {}
    QString text(const QString& section, const char* key) const {
        return doc_.value(section, QLatin1String(key));
    }
    qint16 integer(const char* key, qint16 fallback) const {
        return ToInt16(text(kSystem, key)).value_or(fallback);
    }
    qint32 coordinate(const char* key) const { return ToInt32(text(kSystem, key)).value_or(-1); }
    bool flag(const QString& section, const char* key) const {
        return ToFlag(text(section, key)).value_or(false);
    }

private:
    const ProfileDocument& doc_;
};

QString Number(qint64 v) { return QString::number(v); }

// A position in twips as the single-precision number the window gives, in
// the shortest decimal form that reads back to it (normally a whole number),
// never in exponent form.
QString Coordinate(double twips) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(twips),
                                   std::chars_format::fixed);
    return QString::fromLatin1(text, static_cast<int>(end.ptr - text));
}

}  // namespace

bool LoadSettings(AppState& state, PasswordKeyring* keyring) {
    AppSettings& s = state.settings;
    const bool exists = QFile::exists(state.IniPath());
    if (!exists) {
        s = AppSettings{};
        s.NickName = QStringLiteral("お兄ちゃん");
        s.Port = 110;
    } else {
        const ProfileDocument doc = ProfileDocument::load(state.IniPath());
        const Reader r(doc);
        s.Server = r.text(kSystem, "Server");
        s.LoginName = r.text(kSystem, "LoginName");
        s.LoginPass = r.text(kSystem, "LoginPass");
        s.Port = r.integer("Port", 110);
        s.AutoCheck = r.flag(kSystem, "AutoCheck");
        s.TelHodai = r.flag(kSystem, "TelHodai");
        s.Min = r.integer("Min", 10);
        s.SavePassword = r.flag(kSystem, "SavePassword");
        s.Mail = r.integer("Mail", 0);
        s.Octet = r.integer("Octet", 0);
        s.AlwaysActive = r.flag(kSystem, "AlwaysActive");
        s.Xpos = r.coordinate("Xpos");
        s.Ypos = r.coordinate("Ypos");
        s.Click = r.integer("Click", 1);
        s.Mailer = r.text(kSystem, "Mailer");
        s.DispDiff = r.integer("DispDiff", 0);
        s.CharHide = r.flag(kSystem, "CharHide");
        s.LogMode = r.flag(kSystem, "LogMode");
        s.Clearness = r.flag(kSystem, "Clearness");
        // Files from before the key: port 995 only ever spoke TLS.
        s.Security = r.integer("Security", static_cast<quint16>(s.Port) == 995 ? 2 : 0);
        s.Apop = r.flag(kSystem, "Apop");
        s.CertPin = r.text(kSystem, "CertPin");
        s.PlayWave = r.flag(kSound, "PlayWave");
        s.NewMailWave = r.text(kSound, "NewMailWave");
        s.NickName = r.text(kMessage, "NickName");
    }
    // Both baselines and the total start from the stored total, so a run
    // without a successful check writes the same total back.
    state.LastCheckMail = s.Mail;
    state.StartMail = s.Mail;
    state.MailTotal = s.Mail;

    LoadSoundTable(state);

    if (s.Server.isEmpty()) s.Server = kPlaceholderServer;
    if (s.LoginName.isEmpty()) s.LoginName = kPlaceholderLogin;
    if (keyring && s.SavePassword && s.LoginPass.isEmpty())
        s.LoginPass = keyring->Read(KeyringAccount(state)).value_or(QString());
    return exists;
}

QString KeyringAccount(const AppState& state) {
    return state.settings.LoginName + '@' + state.settings.Server;
}

bool PasswordLeftInFile(const AppState& state, PasswordKeyring* keyring) {
    return keyring && state.settings.SavePassword && keyring->Available() &&
           !ReadIniValue(state.IniPath(), kSystem, QStringLiteral("LoginPass")).isEmpty();
}

void WriteDialogBatch(const AppState& state, PasswordKeyring* keyring) {
    const AppSettings& s = state.settings;
    QString filePass;
    if (!s.SavePassword || s.LoginPass.isEmpty()) {
        if (keyring && keyring->Available()) keyring->Remove(KeyringAccount(state));
    } else if (!keyring || !keyring->Write(KeyringAccount(state), s.LoginPass)) {
        filePass = s.LoginPass;
    }
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    doc.setValue(kSystem, "Server", s.Server);
    doc.setValue(kSystem, "LoginName", s.LoginName);
    doc.setValue(kSystem, "LoginPass", filePass);
    doc.setValue(kSystem, "Port", Number(s.Port));
    doc.setValue(kSystem, "AutoCheck", FlagText(s.AutoCheck));
    doc.setValue(kSystem, "TelHodai", FlagText(s.TelHodai));
    doc.setValue(kSystem, "Min", Number(s.Min));
    doc.setValue(kSystem, "SavePassword", FlagText(s.SavePassword));
    doc.setValue(kSystem, "Click", Number(s.Click));
    doc.setValue(kSystem, "Mailer", s.Mailer);
    doc.setValue(kSystem, "Clearness", FlagText(s.Clearness));
    for (int i = 0; i < 6; ++i) doc.setValue(kSound, Number(i), state.soundTable[i]);
    doc.setValue(kSystem, "Security", Number(s.Security));
    doc.setValue(kSystem, "Apop", FlagText(s.Apop));
    doc.setValue(kSystem, "CertPin", s.CertPin);  // cleared with a new server
    doc.save(state.IniPath());
}

void WriteCertPin(const AppState& state) {
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    doc.setValue(kSystem, "CertPin", state.settings.CertPin);
    doc.save(state.IniPath());
}

void WriteExitBatch(const AppState& state, double topTwips, double leftTwips) {
    const AppSettings& s = state.settings;
    ProfileDocument doc = ProfileDocument::load(state.IniPath());
    doc.setValue(kSystem, "Mail", Number(state.MailTotal));
    doc.setValue(kSystem, "Octet", Number(s.Octet));
    doc.setValue(kSystem, "AlwaysActive", FlagText(s.AlwaysActive));
    doc.setValue(kSystem, "Xpos", Coordinate(topTwips));
    doc.setValue(kSystem, "Ypos", Coordinate(leftTwips));
    doc.setValue(kSystem, "DispDiff", Number(s.DispDiff));
    doc.setValue(kSystem, "CharHide", FlagText(s.CharHide));
    doc.setValue(kSound, "PlayWave", FlagText(s.PlayWave));
    doc.setValue(kSound, "NewMailWave", s.NewMailWave);
    doc.setValue(kMessage, "NickName", s.NickName);
    doc.save(state.IniPath());
}

}  // namespace velmio
