#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QtGlobal>

namespace velmio {

// One mailbox: the keys of the first account in [System], and of each
// further one in its section [Account2], [Account3], ...
struct AccountSettings {
    QString Server;
    QString LoginName;
    QString LoginPass;
    qint16 Port = 0;
    bool SavePassword = false;
    // 0 plain POP3, 1 STARTTLS, 2 TLS from the first byte.
    qint16 Security = 0;
    bool Apop = false;
    // SHA-256 of the certificate the user chose to trust for the server and
    // port now set, 64 hex digits; empty when none.
    QString CertPin;
    // The mailbox's protocol: kImap, or POP3 for any other value.
    qint16 Protocol = 0;
    // How she names the account; empty: by its server.
    QString AccountName;
    // A disabled account is never contacted.
    bool Enabled = true;
    // Where the credentials come from: kAuthGoa, kAuthDeviceGrant, or the
    // password for any other value.
    qint16 Auth = 0;
    QString Goa;             // the GNOME Online Accounts id, with kAuthGoa
    QString OAuthClientId;   // overrides the built-in client id of the device grant
    QString OAuthAuthority;  // overrides https://login.microsoftonline.com/common
    // The total of the last check, written at the end of the program.
    qint16 Mail = 0;
    // Where it is kept: 1 for [System], n for [Accountn].
    int Section = 1;
    // Not a key: a saved password the keyring did not give at start (locked,
    // refused, silent); a check asks for it again, and it is not taken for
    // removed.
    bool PasswordUnread = false;

    QString DisplayName() const { return AccountName.trimmed().isEmpty() ? Server : AccountName.trimmed(); }
};

// Every key of velmio.ini, by the name it has in the file. Zero values are
// what a first run without a settings file starts from. The first account's
// keys are those of [System].
struct AppSettings : AccountSettings {
    // [System]
    bool AutoCheck = false;
    bool TelHodai = false;
    qint16 Min = 0;
    qint16 Octet = 0;
    bool AlwaysActive = false;
    // Xpos is the top edge and Ypos the left edge of the character, in twips;
    // stored files depend on this. Held wider than 16 bits so that places on
    // large screens survive a restart.
    qint32 Xpos = 0;
    qint32 Ypos = 0;
    qint16 Click = 0;
    QString Mailer;
    qint16 DispDiff = 0;  // 0 all, 1 since the last check, 2 since the start, 3 not yet told
    bool CharHide = false;
    bool LogMode = false;
    bool Clearness = false;
    // She tells the sender and subject of the newest new mail.
    bool ShowSender = true;
    // Every trusted certificate, by PinPlace ([CertPins] in the file).
    QMap<QString, QString> CertPins;
    // The accounts after the first, in the order of their sections; one
    // added in the dialog has Section 0 until it is written.
    QList<AccountSettings> MoreAccounts;
    // Not keys: sections of accounts deleted in the dialog, to go from the file.
    QList<int> DeletedSections;
    // [Sound]
    bool PlayWave = false;
    QString NewMailWave;
    // [Message]
    QString NickName;
};

inline constexpr qint16 kAuthGoa = 1;
inline constexpr qint16 kAuthDeviceGrant = 2;

// The display mode that counts the messages she has never told of.
inline constexpr qint16 kNotYetTold = 3;

// The values of Protocol.
inline constexpr qint16 kPop3 = 0;
inline constexpr qint16 kImap = 1;

// Only the value written for IMAP means IMAP: files from before the key, and
// values this program never wrote, keep checking by POP3.
inline bool UsesImap(const AccountSettings& s) { return s.Protocol == kImap; }

// Where a trusted certificate belongs: one server and port.
inline QString PinPlace(const AccountSettings& s) {
    return s.Server.trimmed().toLower() + ':' + QString::number(static_cast<quint16>(s.Port));
}

// Makes the account's CertPin the pin of the server and port now set.
inline void SelectCertPin(AccountSettings& account, const QMap<QString, QString>& pins) {
    account.CertPin = pins.value(PinPlace(account));
}
inline void SelectCertPin(AppSettings& s) { SelectCertPin(s, s.CertPins); }

// Trusts a certificate for the account's server and port.
inline void TrustCertificate(AppSettings& s, AccountSettings& account, const QString& digest) {
    account.CertPin = digest;
    s.CertPins.insert(PinPlace(account), digest);
}
inline void TrustCertificate(AppSettings& s, const QString& digest) { TrustCertificate(s, s, digest); }

// Every account, the first one first.
inline QList<AccountSettings> AllAccounts(const AppSettings& s) {
    return QList<AccountSettings>{static_cast<const AccountSettings&>(s)} + s.MoreAccounts;
}
inline AccountSettings& AccountAt(AppSettings& s, qsizetype i) {
    return i == 0 ? static_cast<AccountSettings&>(s) : s.MoreAccounts[i - 1];
}

// Where the account's saved password is kept in the keyring: the first
// account's place is the one of old, "login@server"; the others are told
// apart by their port too.
inline QString KeyringPlace(const AccountSettings& a) {
    const QString first = a.LoginName + '@' + a.Server;
    return a.Section <= 1 ? first : first + ':' + QString::number(static_cast<quint16>(a.Port));
}

// Accounts beyond this many are left in the file and not checked.
inline constexpr int kMaxAccounts = 16;

}  // namespace velmio
