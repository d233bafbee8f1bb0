// The mark-seen run of the IMAP session: the one change she makes to a
// mailbox, and only when the user asks for it.

#include "mail/imap/imap_session.h"
#include "mail/imap/uid_set.h"

namespace velmio {

void ImapSession::MarkSeen(const Account& account, const QStringList& ids) {
    Start(account, false);
    // The ids are "UIDVALIDITY.UID", as ReportCount gives them; all of one
    // check share the UIDVALIDITY.
    markValidity_ = 0;
    for (const QString& id : ids) {
        const qsizetype dot = id.indexOf(QLatin1Char('.'));
        bool validityOk = false, uidOk = false;
        const quint64 validity = id.left(dot).toULongLong(&validityOk);
        const int uid = id.mid(dot + 1).toInt(&uidOk);
        if (dot < 0 || !validityOk || !uidOk || uid <= 0 || (markValidity_ && validity != markValidity_)) {
            markUids_.clear();
            break;
        }
        markValidity_ = validity;
        markUids_ << uid;
    }
    if (markUids_.isEmpty()) {
        Abort();
        emit Ended(SessionOutcome::Of(SessionOutcome::Kind::Broken, QStringLiteral("no messages to mark")));
    }
}

void ImapSession::SelectForMarking() {
    uidValidity_.reset();
    step_ = Select;
    Send("SELECT INBOX");
}

void ImapSession::AfterSelect(bool ok) {
    if (!ok) {
        Break("SELECT refused");
        return;
    }
    // Under another UIDVALIDITY the same numbers may name other messages.
    if (uidValidity_ != markValidity_) {
        Finish();
        return;
    }
    step_ = Store;
    Send("UID STORE " + UidSet(markUids_) + " +FLAGS.SILENT (\\Seen)");
}

void ImapSession::AfterStore(bool ok) {
    const quint64 run = run_;
    if (ok) emit MarkedSeen();
    if (run == run_) Finish();
}

}  // namespace velmio
