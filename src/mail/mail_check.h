#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <memory>

#include "character/reaction_draw.h"
#include "mail/check_log.h"
#include "mail/mail_count.h"
#include "mail/mail_session.h"
#include "mail/result_messages.h"

namespace velmio {

struct AppState;
class Clock;
class MailShell;
class PasswordKeyring;

// One mail check at a time, whatever the protocol: the session talks to the
// server; the check turns what it found into the character's reactions, the
// display modes, the log and the certificate question.
class MailCheck : public QObject {
    Q_OBJECT
public:
    MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent = nullptr);
    ~MailCheck() override;

    // Starts a check; a running one is abandoned first.
    void ExecuteMailCheck();
    // From the start of a check to its reaction's end, apart from any
    // connection that stays open.
    bool CheckRunning() const { return running_; }
    // A connection of a check is open.
    bool SessionOpen() const;
    // Where the session's dialogue stands, for diagnosis.
    int PopState() const;

    // How long the connection and each reply may take (60 s).
    void SetReplyTimeout(int ms);
    // The authorities certificates are checked against; empty (the
    // program's choice): the system's.
    void SetTrustStore(const QList<QSslCertificate>& authorities);
    // Where a saved password that was not read at start is asked for.
    void SetKeyring(PasswordKeyring* keyring) { keyring_ = keyring; }

signals:
    // A check has ended, whichever way; the socket is closed and the timer
    // restored. Not raised for a check abandoned by a new one.
    void SessionEnded();

private:
    // The first reaction of a check: she waits, the menu item and timer rest.
    void StartWaiting();
    // Asks the keyring for the saved password, waiting for an unlock; false
    // when the check has ended for want of it.
    bool ReadKeyring();
    void Connect();
    void HandleCounted(const MailboxCount& count);
    // The count through the display mode to the reaction; the number reported.
    qint16 Report(const MailboxCount& count, std::optional<qint16> unseen);
    void AfterCount(qint16 reported, const QList<int>& among);
    void HandleHeaders(const QList<QByteArray>& headers);
    void HandleFinished();
    void RejectedLogin();
    void HandleRefusal(MailSession::Refusal where);
    void HandleUnsafe(MailSession::Unsafe why, const QString& logEntry);
    void FailedWhileHandling();
    void HandleSocketError(int number, const QString& description);
    void HandleUntrustedCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors);
    // A check that ends before the login for want of a safe way in.
    void EndBeforeLogin(const QString& said, const QString& logEntry);
    // The session has ended: the timer back, and the menu item.
    void Ended();
    void RestoreTopMost();

    AppState& state_;
    MailShell& shell_;
    std::unique_ptr<MailSession> pop3_;
    std::unique_ptr<MailSession> imap_;
    MailSession* session_;  // the one of the check's protocol
    CheckLog log_;
    ReactionDraw draw_;
    ResultMessages results_;
    MailCount count_;
    bool running_ = false;
    bool asking_ = false;  // the certificate question is open
    bool readingKeyring_ = false;
    bool waiting_ = false;  // the waiting reaction has been given
    PasswordKeyring* keyring_ = nullptr;
    // Changes with every new check, so a handler that ran a nested event
    // loop can tell that its check was replaced meanwhile.
    quint64 checks_ = 0;
    qint16 reported_ = 0;
};

}  // namespace velmio
