#include "app/inbox_push.h"

#include "app/auto_check.h"
#include "app/settings_file.h"
#include "core/app_state.h"
#include "mail/imap_watch.h"
#include "mail/mail_check.h"
#include "platform/clock.h"

namespace velmio {

InboxPush::InboxPush(AppState& state, Clock& clock, MailCheck& check, std::function<void()> startCheck, QObject* parent)
    : QObject(parent),
      state_(state),
      clock_(clock),
      check_(check),
      startCheck_(std::move(startCheck)),
      watch_(new ImapWatch(this)) {
    connect(watch_, &ImapWatch::News, this, &InboxPush::Announce);
    connect(watch_, &ImapWatch::Resumed, this, &InboxPush::Announce);
    // The watch never speaks; a check tells the user what is wrong.
    connect(watch_, &ImapWatch::LoginRefused, this, &InboxPush::Announce);
    connect(&check_, &MailCheck::SessionEnded, this, [this] {
        if (pending_) Announce();
    });
}

InboxPush::~InboxPush() = default;

void InboxPush::Follow() {
    const AppSettings& s = state_.settings;
    const bool hours = !s.TelHodai || AutoCheck::InFlatRateHours(clock_.now().time().hour());
    if (!(UsesImap(s) && s.AutoCheck && AccountSet(s) && hours)) {
        Stop();
        return;
    }
    watch_->Follow(AccountOf(s));
    if (pending_) Announce();
}

void InboxPush::Stop() {
    pending_ = false;
    watch_->Stop();
}

void InboxPush::Announce() {
    if (state_.DialogMode != kNoDialog || check_.CheckRunning()) {
        pending_ = true;
        return;
    }
    pending_ = false;
    startCheck_();
}

}  // namespace velmio
