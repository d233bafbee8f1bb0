#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "core/app_settings.h"
#include "mail/auth/credential_source.h"
#include "mail/mail_session.h"

namespace velmio {

class ImapSession;
class PasswordKeyring;
class WakeWatch;

// Keeps one IDLE connection to the inbox while it is followed, and opens it
// again by itself when it drops: at once when the network is back or the
// machine has woken, else after a pause that grows up to 15 minutes.
class ImapWatch : public QObject {
    Q_OBJECT
public:
    explicit ImapWatch(QObject* parent = nullptr);
    ~ImapWatch() override;

    // Watches this account from now on; the same account as before keeps
    // its connection, and one held before stays held.
    void Follow(const Account& account);
    // The same for an account of the settings: one whose credentials come
    // from a source asks it before each connection, and a credential
    // renewed meanwhile is still the same account.
    // keyring: where a source keeps what it needs there.
    void Follow(const AccountSettings& settings, PasswordKeyring* keyring = nullptr);
    // No connection and no retry.
    void Stop();
    bool Following() const { return following_; }
    bool Idling() const { return idling_; }
    // One connection at most: open or being opened.
    bool ConnectionOpen() const;

    // A pause before the next try after this many failures in a row.
    static int PauseAfter(int failures, int firstMs, int maxMs);
    void SetPauses(int firstMs, int maxMs);
    int FirstPauseMs() const { return firstPauseMs_; }
    int MaxPauseMs() const { return maxPauseMs_; }
    const QList<QSslCertificate>& TrustStore() const { return authorities_; }
    void SetRenewInterval(int ms);
    void SetTrustStore(const QList<QSslCertificate>& authorities);
    // Now rather than after the pause.
    void RetryNow();
    // The same, only while waiting to retry: the server has just been seen well.
    void RetryIfWaiting();

signals:
    // The inbox changed so that there may be new mail.
    void News();
    // Idling again after the connection had dropped: mail may have come meanwhile.
    void Resumed();
    // The login was turned down; no more tries until the account changes.
    void LoginRefused();
    // The certificate is not trusted; no more tries until the account changes.
    void CertificateUntrusted();

private:
    void Open();
    void OpenWith(const CredentialAnswer& answer);
    void Dropped();
    // No more tries until the account changes.
    void Hold(bool refused);
    void FollowNetwork();

    std::unique_ptr<ImapSession> session_;
    WakeWatch* wake_;
    QTimer retry_;
    Account account_;
    std::unique_ptr<CredentialSource> source_;  // none: the account's own password
    AccountSettings settings_;
    qint16 sourceKind_ = 0;
    PasswordKeyring* sourceKeyring_ = nullptr;
    bool tokenInUse_ = false;
    bool renew_ = false;    // the next ask renews a refused token
    bool renewed_ = false;  // since the last time it idled
    bool following_ = false;
    bool idling_ = false;
    bool dropped_ = false;  // since the last time it idled
    bool held_ = false;     // turned down, or not to be watched
    bool followsNetwork_ = false;
    int failures_ = 0;
    QElapsedTimer idlingSince_;
    static constexpr qint64 kSteadyMs = 60000;
    QList<QSslCertificate> authorities_;
    int firstPauseMs_ = 2000;
    int maxPauseMs_ = 15 * 60 * 1000;
};

}  // namespace velmio
