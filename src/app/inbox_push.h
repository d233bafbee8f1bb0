#pragma once

#include <QObject>
#include <functional>

#include "mail/mail_session.h"

namespace velmio {

struct AppState;
class Clock;
class ImapWatch;
class MailCheck;

// Mail announced the moment it arrives: while automatic checks are on and in
// their hours, an IMAP inbox is watched, and what it tells starts an
// ordinary check, with its whole reaction.
class InboxPush : public QObject {
    Q_OBJECT
public:
    InboxPush(AppState& state, Clock& clock, MailCheck& check, std::function<void()> startCheck,
              QObject* parent = nullptr);
    ~InboxPush() override;

    // After anything that may change whether and what to watch: the
    // settings, the automatic-check switch, the hour, a dialog closed.
    void Follow();
    void Stop();
    ImapWatch& watch() { return *watch_; }

private:
    // A check now, or once the running one or the open dialog is done.
    void Announce();

    AppState& state_;
    Clock& clock_;
    MailCheck& check_;
    std::function<void()> startCheck_;
    ImapWatch* watch_;
    bool pending_ = false;
};

}  // namespace velmio
