#pragma once

#include <QList>
#include <QObject>
#include <functional>

#include "mail/mail_session.h"

namespace velmio {

struct AppState;
class Clock;
class ImapWatch;
class MailCheck;

// Mail announced the moment it arrives: while automatic checks are on and in
// their hours, the inbox of every enabled IMAP account is watched over a
// connection of its own, and what one tells starts an ordinary check of that
// account, with its whole reaction.
class InboxPush : public QObject {
    Q_OBJECT
public:
    // startCheck: a check of the account at the index, or of all for -1.
    InboxPush(AppState& state, Clock& clock, MailCheck& check, std::function<void(int)> startCheck,
              QObject* parent = nullptr);
    ~InboxPush() override;

    // After anything that may change whether and what to watch: the
    // settings, the automatic-check switch, the hour, a dialog closed.
    void Follow();
    void Stop();
    // The watch of the account at the index (the first when none is given).
    ImapWatch& watch(int index = 0) { return *watches_.at(index); }

private:
    ImapWatch* NewWatch();
    // A check now, or once the running one or the open dialog is done.
    void Announce(ImapWatch* watch);
    void AnnouncePending();

    AppState& state_;
    Clock& clock_;
    MailCheck& check_;
    std::function<void(int)> startCheck_;
    QList<ImapWatch*> watches_;  // by account
    QList<ImapWatch*> pending_;
};

}  // namespace velmio
