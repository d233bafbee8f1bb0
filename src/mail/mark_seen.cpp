// Marking announced messages seen: one short IMAP session per account, on
// the user's word only.

#include <algorithm>

#include "core/app_state.h"
#include "mail/imap/imap_session.h"
#include "mail/mail_check.h"

namespace velmio {

void MailCheck::MarkSeen(const QList<AnnouncedMail>& mail) {
    QList<std::pair<Account, QStringList>> runs;
    for (const AnnouncedMail& m : mail) {
        // The account as it is set now; one changed or gone meanwhile is left alone.
        for (const AccountSettings& a : AllAccounts(state_.settings)) {
            if (!UsesImap(a) || a.Server != m.server || a.Port != m.port || a.LoginName != m.login) continue;
            if (!a.LoginPass.isEmpty() && !m.ids.isEmpty()) runs.append({AccountOf(a), m.ids});
            break;
        }
    }
    if (runs.isEmpty()) {
        emit SeenMarked(0);
        return;
    }
    if (marking_.empty()) markedSeen_ = 0;
    QList<ImapSession*> started;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        auto session = std::make_unique<ImapSession>();
        ImapSession* s = session.get();
        if (replyTimeoutMs_ >= 0) s->SetReplyTimeout(replyTimeoutMs_);
        s->SetTrustStore(authorities_);
        connect(s, &ImapSession::MarkedSeen, this, [this] { ++markedSeen_; });
        connect(s, &ImapSession::Ended, this, [this, s] {
            // The session is inside its own signal: it goes once the loop is back.
            const auto it = std::find_if(marking_.begin(), marking_.end(), [s](const auto& m) { return m.get() == s; });
            if (it == marking_.end()) return;
            it->release()->deleteLater();
            marking_.erase(it);
            if (marking_.empty()) emit SeenMarked(markedSeen_);
        });
        marking_.push_back(std::move(session));
        started << s;
    }
    // All are counted in before any can end.
    for (qsizetype i = 0; i < runs.size(); ++i) started[i]->MarkSeen(runs[i].first, runs[i].second);
}

}  // namespace velmio
