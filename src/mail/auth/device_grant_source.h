#pragma once

#include <QDateTime>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include "core/app_settings.h"
#include "mail/auth/credential_source.h"

namespace velmio {

class Clock;
class PasswordKeyring;

// The access tokens of accounts signed in by her own device grant. The
// refresh token lives in the keyring (TokenPlace); access tokens only here,
// renewed shortly before they run out and once after a refused login.
// Fetches that overlap share one renewal, and each gets its answer.
class DeviceGrantSource : public CredentialSource {
    Q_OBJECT
public:
    // clock: none, the system's.
    explicit DeviceGrantSource(PasswordKeyring& keyring, const Clock* clock = nullptr, QObject* parent = nullptr);
    ~DeviceGrantSource() override;

    void Fetch(const AccountSettings& account, bool refused) override;
    void Cancel() override;

    // A token this close to its end is renewed before it is handed out.
    static constexpr int kRenewAheadSecs = 300;

private:
    struct Held {
        QString accessToken;
        QDateTime expires;
        bool renewedAfterRefusal = false;  // and not yet taken since
    };
    void Answer(CredentialAnswer answer, int times = 1);
    void Refresh(const AccountSettings& account, const QString& refreshToken, bool afterRefusal);
    // A renewal on its way, and how many fetches wait for it.
    struct Renewal {
        QPointer<QNetworkReply> reply;
        int waiting = 1;
    };

    PasswordKeyring& keyring_;
    const Clock& clock_;
    QNetworkAccessManager net_;
    QMap<QString, Held> held_;  // by TokenPlace
    QMap<QString, Renewal> renewals_;  // by TokenPlace
    quint64 cancels_ = 0;  // answers from before a Cancel are dropped
};

}  // namespace velmio
