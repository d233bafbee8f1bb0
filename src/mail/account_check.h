#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "core/app_state.h"
#include "mail/auth/credential_source.h"
#include "mail/failure_reaction.h"
#include "mail/mail_session.h"

namespace velmio {

class PasswordKeyring;

// One account's part of the checks: its place among the settings' accounts,
// its counters, its sessions, and how its part of the running check went.
class AccountCheck : public QObject {
    Q_OBJECT
public:
    // counters: the first account's are the program state's; the others
    // keep their own, starting from the total stored for them.
    AccountCheck(AppState& state, int index, MailCounters* counters = nullptr);
    ~AccountCheck() override;

    int index() const { return index_; }
    AccountSettings& settings() const { return AccountAt(state_.settings, index_); }
    QString Name() const { return settings().DisplayName(); }
    MailCounters& counters() { return *counters_; }
    // Whether this object still stands for the account at index.
    bool SameAccount(const AccountSettings& a) const;
    void SetIndex(int index) { index_ = index; }

    // The session of the account's protocol, chosen at Begin.
    MailSession& session() { return *session_; }
    const MailSession& session() const { return *session_; }
    void ForEachSession(const std::function<void(MailSession&)>& f);

    // A new part of a check: the state of the last one is forgotten.
    void Begin();
    // Asks the account's source for its credential; CredentialAnswered
    // follows, at once or later. refused: the last one was turned down.
    void FetchCredential(bool refused, PasswordKeyring* keyring);
    // Logs in with the credential last answered. withUids: an IMAP session
    // brings the UIDs of the unread messages.
    void Connect(bool withUids = false);
    void Abort();
    // The credential last answered is a token.
    bool TokenLogin() const {
        return credential.kind == CredentialAnswer::Kind::Ready &&
               credential.credential.kind == Credential::Kind::Token;
    }

    // The part's state.
    bool inCheck = false;   // a part of the running check
    bool counted = false;   // its count is in
    bool ended = false;     // its session has ended
    qint16 reported = 0;    // the number reported for it
    bool headersIn = false; // its senders' headers have come
    QList<int> fresh;       // keys of the messages not yet told, newest first
    QStringList senders;    // its sender lines, newest first
    QStringList announced;  // IMAP: the ids of the messages reported
    std::optional<FailureReaction> failure;  // how it failed, before its count or instead of it
    QString failureWord;                     // the same in a word, for the tray tip
    bool fetching = false;        // its credential is being asked for
    bool retried = false;         // a refused token has been renewed once
    CredentialAnswer credential;  // the source's last answer

signals:
    void CredentialAnswered(AccountCheck* part, const CredentialAnswer& answer);
    void Counted(AccountCheck* part, const MailboxCount& count);
    void HeadersFetched(AccountCheck* part, const QList<QByteArray>& headers);
    void Ended(AccountCheck* part, const SessionOutcome& outcome);

private:
    AppState& state_;
    int index_;
    MailCounters own_;
    MailCounters* counters_;
    std::unique_ptr<MailSession> pop3_;
    std::unique_ptr<MailSession> imap_;
    MailSession* session_;
    AccountSettings identity_;
    std::unique_ptr<CredentialSource> source_;
    qint16 sourceKind_ = -1;
    PasswordKeyring* sourceKeyring_ = nullptr;
};

}  // namespace velmio
