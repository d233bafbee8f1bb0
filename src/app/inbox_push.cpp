#include "app/inbox_push.h"

#include "app/auto_check.h"
#include "app/settings_file.h"
#include "core/app_state.h"
#include "mail/imap/imap_watch.h"
#include "mail/mail_check.h"
#include "platform/clock.h"

namespace velmio {

InboxPush::InboxPush(AppState& state, Clock& clock, MailCheck& check, std::function<void(int)> startCheck,
                     QObject* parent)
    : QObject(parent), state_(state), clock_(clock), check_(check), startCheck_(std::move(startCheck)) {
    watches_ << NewWatch();
    connect(&check_, &MailCheck::SessionEnded, this, &InboxPush::AnnouncePending);
    // A good check proves the server well: a watch waiting to retry opens again.
    connect(&check_, &MailCheck::AccountChecked, this, [this](int index, bool loggedOut) {
        if (loggedOut && index < watches_.size()) watches_[index]->RetryIfWaiting();
    });
}

InboxPush::~InboxPush() = default;

ImapWatch* InboxPush::NewWatch() {
    auto* watch = new ImapWatch(this);
    const auto announce = [this, watch] { Announce(watch); };
    connect(watch, &ImapWatch::News, this, announce);
    connect(watch, &ImapWatch::Resumed, this, announce);
    // The watch never speaks; a check tells the user what is wrong.
    connect(watch, &ImapWatch::LoginRefused, this, announce);
    connect(watch, &ImapWatch::CertificateUntrusted, this, announce);
    if (!watches_.isEmpty()) {
        watch->SetPauses(watches_.first()->FirstPauseMs(), watches_.first()->MaxPauseMs());
        watch->SetTrustStore(watches_.first()->TrustStore());
    }
    return watch;
}

void InboxPush::Follow() {
    const AppSettings& s = state_.settings;
    const bool hours = !s.TelHodai || AutoCheck::InFlatRateHours(clock_.now().time().hour());
    const QList<AccountSettings> accounts = AllAccounts(s);
    while (watches_.size() < accounts.size()) watches_ << NewWatch();
    while (watches_.size() > accounts.size()) {
        pending_.removeAll(watches_.last());
        delete watches_.takeLast();
    }
    for (qsizetype i = 0; i < accounts.size(); ++i) {
        const AccountSettings& a = accounts[i];
        if (UsesImap(a) && a.Enabled && s.AutoCheck && AccountSet(a) && hours) {
            watches_[i]->Follow(a, check_.Keyring());
        } else {
            pending_.removeAll(watches_[i]);
            watches_[i]->Stop();
        }
    }
    AnnouncePending();
}

void InboxPush::Stop() {
    pending_.clear();
    for (ImapWatch* watch : std::as_const(watches_)) watch->Stop();
}

void InboxPush::Announce(ImapWatch* watch) {
    if (!pending_.contains(watch)) pending_ << watch;
    AnnouncePending();
}

void InboxPush::AnnouncePending() {
    if (pending_.isEmpty() || state_.DialogMode != kNoDialog || check_.CheckRunning()) return;
    // One account's news checks that account; news of several checks all.
    const int index = pending_.size() == 1 ? int(watches_.indexOf(pending_.first())) : -1;
    pending_.clear();
    startCheck_(index);
}

}  // namespace velmio
