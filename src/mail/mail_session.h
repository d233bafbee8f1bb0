#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <memory>
#include <optional>
#include <utility>

#include "mail/session_outcome.h"

namespace velmio {

struct AccountSettings;
class MailConnection;

// What a session is given: one mailbox and how to reach it.
struct Account {
    enum class Protocol { Pop3, Imap };
    Protocol protocol = Protocol::Pop3;
    QString server;
    quint16 port = 110;
    // 0 plain, 1 STARTTLS, anything else TLS from the first byte, so an odd
    // value never means less protection.
    qint16 security = 0;
    QString login;
    QString password;
    // password holds an OAuth 2.0 access token, sent by SASL XOAUTH2 or
    // OAUTHBEARER and never before TLS.
    bool token = false;
    bool apop = false;
    QString pin;  // SHA-256 (hex) of a certificate trusted although it fails the check

    bool StartTls() const { return security == 1; }
    bool Tls() const { return security != 0 && security != 1; }
    bool Encrypted() const { return security != 0; }
    bool operator==(const Account& o) const {
        return protocol == o.protocol && server == o.server && port == o.port && security == o.security &&
               login == o.login && password == o.password && token == o.token && apop == o.apop && pin == o.pin;
    }
};

// The account of the settings. Port is held in 16 signed bits; it is read
// as the unsigned port number, so ports above 32767 stay reachable.
Account AccountOf(const AccountSettings& s);

// What a session found in the mailbox.
struct MailboxCount {
    QString listReply;             // the reply to POP3 LIST, counted as it says
    std::optional<qint64> unread;  // IMAP: the unread messages
    // When asked for: each message's key (POP3 number, IMAP UID) and the id
    // it is known by across sessions; nothing when the server gives none.
    std::optional<QList<std::pair<int, QString>>> ids;
};

// One check of one mailbox, as a dialogue with the server: logs in, counts,
// on request fetches headers, logs out. Knows nothing of the character.
// Each run ends in exactly one Ended; the connection is closed when it
// arrives. A handler may start the next run (or abort).
class MailSession : public QObject {
    Q_OBJECT
public:
    using Refusal = SessionOutcome::Refusal;
    using Unsafe = SessionOutcome::Unsafe;

    explicit MailSession(QObject* parent = nullptr);
    ~MailSession() override;

    // Connects and logs in; Counted follows. A run still going is dropped.
    // wantIds: the count carries ids.
    virtual void Start(const Account& account, bool wantIds) = 0;
    // After Counted: the headers of count messages, the newest of among
    // (keys from the ids), or the newest in the mailbox when among is empty.
    virtual void FetchHeaders(int count, const QList<int>& among) = 0;
    // After Counted: logs out.
    virtual void Finish() = 0;
    // Where the dialogue stands, for diagnosis.
    virtual int Step() const = 0;

    // Drops the connection without a word to the server; no signal follows.
    virtual void Abort();
    bool IsOpen() const;
    void SetReplyTimeout(int ms);
    void SetTrustStore(const QList<QSslCertificate>& authorities);

signals:
    void Counted(const MailboxCount& count);
    // The headers asked for, each its bytes; empty when they were not to be had.
    void HeadersFetched(const QList<QByteArray>& headers);

    // The end of a run, whichever way.
    void Ended(const SessionOutcome& outcome);

protected:
    MailConnection& connection() { return *connection_; }
    const MailConnection& connection() const { return *connection_; }
    // Changes with every run, so code after a signal can tell that its
    // handler started another.
    quint64 run_ = 0;

private:
    std::unique_ptr<MailConnection> connection_;
};

}  // namespace velmio
