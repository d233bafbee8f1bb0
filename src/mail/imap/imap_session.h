#pragma once

#include <QByteArrayList>
#include <QMap>
#include <QTimer>
#include <memory>

#include "mail/auth/sasl_exchange.h"
#include "mail/mail_session.h"

namespace velmio {

struct ImapResponse;
struct ImapValue;

// The IMAP dialogue, in one of three runs. A check: log in, STATUS of the
// inbox, on request the unread UIDs and headers, LOGOUT. A watch: log in,
// EXAMINE the inbox and IDLE until the session is dropped. Neither changes
// the mailbox: EXAMINE and BODY.PEEK only. The third, the one change she
// ever makes and only when the user asks: marking messages seen.
class ImapSession final : public MailSession {
    Q_OBJECT
public:
    enum Step : int {
        Refused = -1,
        Greeting = 0,
        Capability,
        StartTls,
        Login,
        Status,
        Examine,
        Search,
        Fetch,
        Logout,
        Idle,
        IdleDone,
        Select,
        Store,
    };
    // IDLE is renewed before the 29 minutes after which a server may drop it.
    static constexpr int kDefaultRenewMs = 25 * 60 * 1000;

    explicit ImapSession(QObject* parent = nullptr);

    void Start(const Account& account, bool wantIds) override;
    void FetchHeaders(int count, const QList<int>& among) override;
    void Finish() override;
    int Step() const override { return step_; }
    // Also the renewal and the news still pending: nothing of the old run may follow.
    void Abort() override;

    // Logs in and idles on the inbox; News on every change that may be new
    // mail. Ends only as a check ends before its count, or in NoIdle.
    void Watch(const Account& account);
    void SetRenewInterval(int ms) { renew_.setInterval(ms); }

    // Logs in, SELECTs the inbox and flags the messages of these ids (as a
    // check gives them) \Seen, but only while the inbox keeps the
    // UIDVALIDITY they were found under; then LOGOUT. MarkedSeen comes when
    // they were flagged, before the end.
    void MarkSeen(const Account& account, const QStringList& ids);

signals:
    // The watch idles on the inbox now.
    void Idling();
    // The watched inbox changed so that there may be new mail.
    void News();
    // The watch's end when the server does not idle.
    void NoIdle();
    void MarkedSeen();

private:
    void HandleReply(const QByteArray& raw);
    void HandleUntagged(const ImapResponse& r);
    void HandleTagged(const ImapResponse& r);
    void HandleContinuation(const ImapResponse& r);
    void Authenticate(std::unique_ptr<SaslMechanism> mechanism);
    void LoginFailed(const ImapResponse& r);
    void HandleEncrypted();
    void HandleFailure(int number, const QString& description);
    void AfterCapabilities();
    void LoggedIn();
    void ReportCount();
    void AskHeaders(const QList<int>& uids);
    void EndHeaders(bool fetched);
    // The count stands; what failed after it ends the session without a word.
    void EndAfterCount();
    // STATUS has counted; what fails on the way to the UIDs leaves the count
    // standing without ids, as with a server that gives none.
    bool CountStands() const;
    void CountWithoutIds(bool linkUsable);
    void BeginIdle();
    void Renew();
    // The steps of the mark-seen run (imap_mark_seen.cpp).
    void SelectForMarking();
    void AfterSelect(bool ok);
    void AfterStore(bool ok);
    // Sends a command under the next tag; parts after the first follow each
    // continuation the server gives for a literal.
    void Send(const QByteArray& command, QByteArrayList literals = {});
    void SetCapabilities(const QList<ImapValue>& values);
    bool Offers(const char* capability) const;
    void End(int step);
    // Ends the run as broken; the reason goes to the log.
    void Break(const char* reason = nullptr);

    Account account_;
    bool watch_ = false;
    bool wantIds_ = false;
    int step_ = Greeting;
    int tagNumber_ = 0;
    QByteArray tag_;             // of the command waiting for its end
    QByteArrayList pending_;     // literal parts still to send
    std::unique_ptr<SaslExchange> sasl_;  // the AUTHENTICATE under way
    QByteArrayList capabilities_;
    bool tlsDone_ = false;
    bool loggedIn_ = false;
    bool askedAgain_ = false;  // the capabilities, once logged in
    // What the inbox holds.
    std::optional<qint64> unread_;
    std::optional<quint64> uidValidity_;
    bool examined_ = false;
    QList<int> unseenUids_;
    bool fetchingHeaders_ = false;  // the search serves the headers, not the count
    bool closedAfterCount_ = false;  // the link dropped after a count that stands
    int headerCount_ = 0;
    QList<int> fetchUids_;
    QMap<int, QByteArray> headers_;
    // The mark-seen run: what to flag, and under which UIDVALIDITY.
    QList<int> markUids_;
    quint64 markValidity_ = 0;
    QTimer renew_;
    QTimer news_;  // one News for the several lines a change brings
};

}  // namespace velmio
