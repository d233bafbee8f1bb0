#pragma once

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
    qint16 DispDiff = 0;
    bool CharHide = false;
    bool LogMode = false;
    bool Clearness = false;
    // 0 plain POP3, 1 STARTTLS, 2 TLS from the first byte.
    qint16 Security = 0;
    bool Apop = false;
    // SHA-256 of the one certificate the user chose to trust, 64 hex digits.
    QString CertPin;
    // [Sound]
    bool PlayWave = false;
    QString NewMailWave;
    // [Message]
    QString NickName;
};

}  // namespace velmio
