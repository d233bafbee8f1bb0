#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <memory>
#include <vector>

#include "character/reaction_draw.h"
#include "mail/announced_mail.h"
#include "mail/check_log.h"
#include "mail/failure_reaction.h"
#include "mail/mail_count.h"
#include "mail/mail_session.h"
#include "mail/result_messages.h"

namespace velmio {

struct AppState;
class AccountCheck;
class Clock;
class ImapSession;
class MailShell;
class PasswordKeyring;

// One mail check at a time over every enabled account at once, whatever
// their protocols: each account's session talks to its server; the check
// adds up what they found and turns it into one reaction of the character,
// the display modes, the log and the certificate questions.
class MailCheck : public QObject {
    Q_OBJECT
public:
    MailCheck(AppState& state, MailShell& shell, Clock& clock, QObject* parent = nullptr);
    ~MailCheck() override;

    // Starts a check; a running one is abandoned first. attended: asked for
    // by the user, who may be shown a box; else failures are only said and
    // logged. onlyAccount: the index of the one account to check, or -1 for
    // every enabled one.
    void ExecuteMailCheck(bool attended = true, int onlyAccount = -1);
    // From the start of a check to its reaction's end, apart from any
    // connection that stays open.
    bool CheckRunning() const { return running_; }
    // A connection of a check is open.
    bool SessionOpen() const;
    // Where the first account's dialogue stands, for diagnosis.
    int PopState() const;

    // How long the connection and each reply may take (60 s).
    void SetReplyTimeout(int ms);
    // The authorities certificates are checked against; empty (the
    // program's choice): the system's.
    void SetTrustStore(const QList<QSslCertificate>& authorities);
    // Where a saved password that was not read at start is asked for.
    void SetKeyring(PasswordKeyring* keyring) { keyring_ = keyring; }
    PasswordKeyring* Keyring() const { return keyring_; }

    // What the last check that told of new mail reported, per IMAP account
    // whose session gave ids.
    const QList<AnnouncedMail>& Announced() const { return announced_; }
    // Marks exactly these messages seen, each on its account's server
    // (mark_seen.cpp); SeenMarked follows.
    void MarkSeen(const QList<AnnouncedMail>& mail);

signals:
    // A check has ended, whichever way; the sockets are closed and the timer
    // restored. Not raised for a check abandoned by a new one.
    void SessionEnded();
    // One account's part has ended: logged out, or not.
    void AccountChecked(int index, bool loggedOut);
    // A MarkSeen has ended: on how many accounts the messages were flagged.
    void SeenMarked(int accounts);

private:
    // Objects for the settings' accounts, the first one kept whatever it holds.
    void SyncAccounts();
    // The first reaction of a check: she waits, the menu item and timer rest.
    void StartWaiting();
    // A part's credential is in: at the start of the check, or after a
    // refused token was renewed.
    void HandleCredential(AccountCheck* part, const CredentialAnswer& answer);
    // Once every part's credential is in: the sessions start.
    // Her own sign-in wants the user: the dialog, for a check asked for.
    void MaybeSignIn(const AccountCheck& part, const CredentialAnswer& answer);
    void CredentialsIn();
    void HandleCounted(AccountCheck* part, const MailboxCount& count);
    void HandleHeaders(AccountCheck* part, const QList<QByteArray>& headers);
    // A certificate that is not trusted is asked about first.
    void HandleEnded(AccountCheck* part, const SessionOutcome& outcome);
    // reaction: instead of the outcome's own.
    void PartEnded(AccountCheck* part, const SessionOutcome& outcome,
                   const std::optional<FailureReaction>& reaction = std::nullopt);
    // Once every part has counted or failed: the one reaction to them all.
    void MaybeReact();
    // Once every sender asked for is in: who wrote, and which parts failed.
    void MaybeTell();
    // Once every part has ended.
    void MaybeConclude();
    void AskAboutCertificate(AccountCheck* part, const SessionOutcome& outcome);
    // The failure reaction of a check: a box first when asked for and
    // allowed, then her picture, sound 5, the line and the log entry.
    void EndWith(const FailureReaction& reaction, const QString& name = {});
    void EndAfterRefusal(const SessionOutcome& outcome);
    // The check has ended: the timer back, the menu item, the signal.
    void Close();
    void Ended();
    QList<AccountCheck*> Parts() const;
    // "仕事: " before a line when there are several accounts to tell apart.
    QString Named(const AccountCheck& part, const QString& line) const;
    qint16 TotalOfAll() const;
    void ShowTrayDetails(qint16 reported);
    // One account's failure in the log: its entry, or else her line, named.
    void LogFailure(const AccountCheck& part, const FailureReaction& reaction);

    AppState& state_;
    MailShell& shell_;
    std::vector<std::unique_ptr<AccountCheck>> accounts_;
    CheckLog log_;
    ReactionDraw draw_;
    ResultMessages results_;
    MailCount count_;
    int replyTimeoutMs_ = -1;
    QList<QSslCertificate> authorities_;
    bool running_ = false;
    bool attended_ = true;
    bool named_ = false;     // more than one enabled account
    bool reacted_ = false;   // the check's reaction has been given
    bool told_ = false;      // the senders have been told
    bool asking_ = false;    // a certificate question is open
    QList<std::pair<AccountCheck*, SessionOutcome>> questions_;  // waiting for the one open
    bool fetching_ = false;   // the parts' credentials are being asked for
    bool askingAll_ = false;  // the parts are being asked, one after the other
    bool abandoned_ = false;  // the check replaced a running one
    bool waiting_ = false;  // the waiting reaction has been given
    PasswordKeyring* keyring_ = nullptr;
    // Changes with every new check, so a handler that ran a nested event
    // loop can tell that its check was replaced meanwhile.
    quint64 checks_ = 0;
    qint16 reported_ = 0;
    QList<AccountCheck*> failedInOrder_;
    QList<AnnouncedMail> announced_;
    // Sessions of MarkSeen still running, and the accounts flagged so far.
    std::vector<std::unique_ptr<ImapSession>> marking_;
    int markedSeen_ = 0;
};

}  // namespace velmio
