#include "mail/account_check.h"

#include "mail/auth/credential_sources.h"
#include "mail/imap/imap_session.h"
#include "mail/pop3/pop3_session.h"

namespace velmio {

AccountCheck::AccountCheck(AppState& state, int index, MailCounters* counters)
    : state_(state),
      index_(index),
      counters_(counters ? counters : &own_),
      pop3_(std::make_unique<Pop3Session>()),
      imap_(std::make_unique<ImapSession>()),
      session_(pop3_.get()),
      identity_(settings()) {
    if (!counters) own_ = MailCounters{settings().Mail, settings().Mail, settings().Mail};
    ForEachSession([this](MailSession& m) {
        connect(&m, &MailSession::Counted, this, [this](const MailboxCount& c) { emit Counted(this, c); });
        connect(&m, &MailSession::HeadersFetched, this,
                [this](const QList<QByteArray>& h) { emit HeadersFetched(this, h); });
        connect(&m, &MailSession::Ended, this, [this](const SessionOutcome& o) { emit Ended(this, o); });
    });
}

AccountCheck::~AccountCheck() = default;

bool AccountCheck::SameAccount(const AccountSettings& a) const {
    return a.Protocol == identity_.Protocol && a.Server == identity_.Server && a.Port == identity_.Port &&
           a.LoginName == identity_.LoginName;
}

void AccountCheck::ForEachSession(const std::function<void(MailSession&)>& f) {
    f(*pop3_);
    f(*imap_);
}

void AccountCheck::Begin() {
    inCheck = true;
    counted = ended = headersIn = false;
    reported = 0;
    fresh.clear();
    senders.clear();
    announced.clear();
    failure.reset();
    failureWord.clear();
    retried = false;
    credential = {};
}

void AccountCheck::FetchCredential(bool refused, PasswordKeyring* keyring) {
    // A source is kept while the kind stays, so a token it holds lasts.
    if (!source_ || sourceKind_ != CredentialKind(settings()) || sourceKeyring_ != keyring) {
        source_ = MakeCredentialSource(settings(), keyring);
        sourceKind_ = CredentialKind(settings());
        sourceKeyring_ = keyring;
        connect(source_.get(), &CredentialSource::Answered, this, [this](const CredentialAnswer& answer) {
            if (!fetching) return;
            fetching = false;
            credential = answer;
            emit CredentialAnswered(this, answer);
        });
    }
    fetching = true;
    source_->Fetch(settings(), refused);
}

void AccountCheck::Abort() {
    if (fetching && source_) source_->Cancel();
    fetching = false;
    session_->Abort();
}

void AccountCheck::Connect(bool withUids) {
    const Account account = WithCredential(AccountOf(settings()), credential);
    const bool imap = account.protocol == Account::Protocol::Imap;
    session_ = imap ? imap_.get() : pop3_.get();
    session_->Start(account, state_.settings.DispDiff == kNotYetTold || (withUids && imap));
}

}  // namespace velmio
