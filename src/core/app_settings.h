#pragma once

#include <QMap>
#include <QString>
#include <QtGlobal>

namespace velmio {

// Every key of velmio.ini, by the name it has in the file. Zero values are
// what a first run without a settings file starts from.
struct AppSettings {
    // [System]
    QString Server;
    QString LoginName;
    QString LoginPass;
    qint16 Port = 0;
    bool AutoCheck = false;
    bool TelHodai = false;
    qint16 Min = 0;
    bool SavePassword = false;
    qint16 Mail = 0;
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
    // 0 plain POP3, 1 STARTTLS, 2 TLS from the first byte.
    qint16 Security = 0;
    bool Apop = false;
    // SHA-256 of the certificate the user chose to trust for the server and
    // port now set, 64 hex digits; empty when none.
    QString CertPin;
    // Every trusted certificate, by PinPlace ([CertPins] in the file).
    QMap<QString, QString> CertPins;
    // The mailbox's protocol: kImap, or POP3 for any other value.
    qint16 Protocol = 0;
    // [Sound]
    bool PlayWave = false;
    QString NewMailWave;
    // [Message]
    QString NickName;
};

// The display mode that counts the messages she has never told of.
inline constexpr qint16 kNotYetTold = 3;

// The values of Protocol.
inline constexpr qint16 kPop3 = 0;
inline constexpr qint16 kImap = 1;

// Only the value written for IMAP means IMAP: files from before the key, and
// values this program never wrote, keep checking by POP3.
inline bool UsesImap(const AppSettings& s) { return s.Protocol == kImap; }

// Where a trusted certificate belongs: one server and port.
inline QString PinPlace(const AppSettings& s) {
    return s.Server.trimmed().toLower() + ':' + QString::number(static_cast<quint16>(s.Port));
}

// Makes CertPin the pin of the server and port now set.
inline void SelectCertPin(AppSettings& s) { s.CertPin = s.CertPins.value(PinPlace(s)); }

// Trusts a certificate for the server and port now set.
inline void TrustCertificate(AppSettings& s, const QString& digest) {
    s.CertPin = digest;
    s.CertPins.insert(PinPlace(s), digest);
}

}  // namespace velmio
