#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <memory>

#include "character/reaction_draw.h"
#include "mail/check_log.h"
#include "mail/mail_count.h"
#include "mail/result_messages.h"

namespace velmio {

struct AppState;
class Clock;
class MailShell;
class PasswordKeyring;
class MailConnection;
class Pop3ReplyBuffer;

// One POP3 mail check at a time, driven by socket events: log in, ask for
// the list, report the count through the character, log out.
class MailCheck : public QObject {
    Q_OBJECT
public:
    MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent = nullptr);
    ~MailCheck() override;

    // Starts a check; a running one is abandoned first.
    void ExecuteMailCheck();
    qint16 PopState() const { return popState_; }
    bool SessionOpen() const;

    // How long the connection and each reply may take (60 s).
    void SetReplyTimeout(int ms);
    // The authorities certificates are checked against; empty (the
    // program's choice): the system's.
    void SetTrustStore(const QList<QSslCertificate>& authorities);
    // Where a saved password that was not read at start is asked for.
    void SetKeyring(PasswordKeyring* keyring) { keyring_ = keyring; }

signals:
    // A session has ended, whichever way; the socket is closed and the
    // timer restored. Not raised for a session abandoned by a new check.
    void SessionEnded();

private:
    // The first reaction of a check: she waits, the menu item and timer rest.
    void StartWaiting();
    // Asks the keyring for the saved password, waiting for an unlock; false
    // when the check has ended for want of it.
    bool ReadKeyring();
    void PopConnect();
    void PopDisconnect();
    void SendPopCommand();
    void SendLine(const QString& text, bool listing = false);
    // After the count: unique ids for the not-yet-told mode, then the
    // headers of the newest new messages.
    void AskUniqueIds(const QString& listReply);
    void AfterCount(qint16 reported, const QList<int>& newest);
    void HandleExtraReply();
    void SendNextTop();
    void FinishSenders(bool told);
    // The count stands; what failed after it ends the session without a word.
    void EndAfterCount();

    void HandleReply(const QByteArray& reply);
    void ClassifyReply(const QString& reply);
    void HandleSocketError(int number, const QString& description);
    void HandleEncrypted();
    void HandleUntrustedCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors);
    // Runs a step of the session; a failure in it ends the check.
    template <typename Step>
    void Guarded(Step step);
    void SendLogin();

    void RejectedLogin();
    void EarlyErrorReply();
    void ErrorReplyAfterLogin(qint16 answered);
    void FailedWhileHandling();
    // A check that ends before the login for want of a safe way in.
    void EndBeforeLogin(const QString& said, const QString& logEntry);
    void RestoreTopMost();

    AppState& state_;
    MailShell& shell_;
    std::unique_ptr<MailConnection> connection_;
    Pop3ReplyBuffer* framer_;  // the connection's
    QByteArray lastReply_;  // before decoding: headers carry their own charsets
    CheckLog log_;
    ReactionDraw draw_;
    ResultMessages results_;
    MailCount count_;
    qint16 popState_ = 0;
    // Where STARTTLS stands in the session.
    enum class Stls { Off, Asked, Handshake, Done } stls_ = Stls::Off;
    QString greeting_;  // for the APOP timestamp
    bool asking_ = false;  // the certificate question is open
    bool readingKeyring_ = false;
    bool waiting_ = false;  // the waiting reaction has been given
    PasswordKeyring* keyring_ = nullptr;
    // Changes with every new session, so a handler that ran a nested event
    // loop can tell that its session was replaced meanwhile.
    quint64 session_ = 0;
    enum class Extra { None, Uidl, Top } extra_ = Extra::None;
    QString listReply_;
    QList<int> topNumbers_;  // messages whose headers are still to ask for
    QStringList senderLines_;
    int moreNew_ = 0;  // new messages beyond those told by name
};

}  // namespace velmio
