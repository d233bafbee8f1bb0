#include "mail/imap/imap_session.h"

#include <algorithm>

#include "mail/imap/imap_response.h"
#include "mail/net/mail_connection.h"

namespace velmio {
namespace {

// An astring as the server reads it: quoted when the bytes allow, else a
// literal (the marker here, the bytes sent after the continuation).
QByteArray AString(const QByteArray& bytes, QByteArrayList& literals, bool nonSynchronizing) {
    const bool quotable = std::none_of(bytes.begin(), bytes.end(), [](char c) {
        return c == '\0' || c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 0x80;
    });
    if (quotable) {
        QByteArray quoted = bytes;
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        return '"' + quoted + '"';
    }
    literals << bytes;
    return '{' + QByteArray::number(bytes.size()) + (nonSynchronizing ? "+}" : "}");
}

// A FETCH that shows the message read.
bool Seen(const ImapResponse& r) {
    const ImapValue* flags = r.values.isEmpty() ? nullptr : FindItem(r.values.first().list, "FLAGS");
    return flags &&
           std::any_of(flags->list.begin(), flags->list.end(), [](const ImapValue& f) { return f.Is("\\Seen"); });
}

QString Detail(const ImapResponse& r) {
    return QString::fromUtf8(r.status + (r.text.isEmpty() ? QByteArray() : ' ' + r.text));
}

}  // namespace

ImapSession::ImapSession(QObject* parent) : MailSession(parent) {
    MailConnection& c = connection();
    c.SetFramer(std::make_unique<ImapReplyFramer>());
    connect(&c, &MailConnection::ReplyArrived, this, &ImapSession::HandleReply);
    connect(&c, &MailConnection::Failed, this, &ImapSession::HandleFailure);
    connect(&c, &MailConnection::Encrypted, this, &ImapSession::HandleEncrypted);
    connect(&c, &MailConnection::ReplyOverlong, this, [this] {
        if (step_ == Fetch) {
            EndAfterCount();
        } else if (CountStands()) {
            CountWithoutIds(false);
        } else {
            Break("a reply without an end");
        }
    });
    renew_.setInterval(kDefaultRenewMs);
    renew_.setSingleShot(true);
    connect(&renew_, &QTimer::timeout, this, &ImapSession::Renew);
    news_.setInterval(100);
    news_.setSingleShot(true);
    connect(&news_, &QTimer::timeout, this, &ImapSession::News);
}

void ImapSession::Abort() {
    closedAfterCount_ = false;
    renew_.stop();
    news_.stop();
    MailSession::Abort();
}

void ImapSession::Start(const Account& account, bool wantIds) {
    Abort();
    account_ = account;
    wantIds_ = wantIds;
    step_ = Greeting;
    tagNumber_ = 0;
    tag_.clear();
    pending_.clear();
    sasl_.reset();
    capabilities_.clear();
    tlsDone_ = !account.StartTls();
    loggedIn_ = false;
    askedAgain_ = false;
    watch_ = false;
    markUids_.clear();
    unread_.reset();
    uidValidity_.reset();
    examined_ = false;
    unseenUids_.clear();
    fetchingHeaders_ = false;
    closedAfterCount_ = false;
    headers_.clear();
    connection().SetPin(account.pin);
    connection().Open(account.server, account.port, account.Tls());
}

void ImapSession::Watch(const Account& account) {
    Start(account, false);
    watch_ = true;
}

void ImapSession::End(int step) {
    step_ = step;
    renew_.stop();
    news_.stop();
    watch_ = false;
    connection().Close();
}

void ImapSession::Break(const char* reason) {
    const int step = step_;
    End(Greeting);
    emit Ended(SessionOutcome::Of(SessionOutcome::Kind::Broken,
                                  reason ? QString::fromLatin1(reason) : QStringLiteral("an answer out of turn at step %1").arg(step)));
}

void ImapSession::SetCapabilities(const QList<ImapValue>& values) {
    capabilities_.clear();
    for (const ImapValue& v : values) capabilities_ << v.text;
}

bool ImapSession::Offers(const char* capability) const {
    return std::any_of(capabilities_.begin(), capabilities_.end(),
                       [capability](const QByteArray& c) { return c.compare(capability, Qt::CaseInsensitive) == 0; });
}

void ImapSession::Send(const QByteArray& command, QByteArrayList literals) {
    tag_ = 'a' + QByteArray::number(++tagNumber_);
    pending_ = std::move(literals);
    QByteArray bytes = tag_ + ' ' + command + "\r\n";
    // Non-synchronizing literals go out at once.
    if (Offers("LITERAL+")) {
        for (const QByteArray& part : std::as_const(pending_)) bytes += part;
        pending_.clear();
    }
    if (!connection().Send(bytes)) Break("a command that could not be sent");
}

void ImapSession::HandleReply(const QByteArray& raw) {
    const auto r = ParseImapResponse(raw);
    if (!r) {
        if (CountStands()) {
            CountWithoutIds(false);
        } else {
            Break("a reply that could not be read");
        }
        return;
    }
    switch (r->kind) {
    case ImapResponse::Kind::Continuation: HandleContinuation(*r); break;
    case ImapResponse::Kind::Untagged: HandleUntagged(*r); break;
    case ImapResponse::Kind::Tagged:
        // An answer to nothing we asked is no reply we know.
        if (r->tag == tag_) HandleTagged(*r);
        break;
    }
}

void ImapSession::HandleContinuation(const ImapResponse& r) {
    if (!pending_.isEmpty()) {
        if (!connection().Send(pending_.takeFirst())) Break();
        return;
    }
    if (sasl_ && step_ == Login) {
        if (!connection().Send(sasl_->Answer(r.text) + "\r\n")) Break();
        return;
    }
    if (step_ == Idle) {
        // The server speaks when the inbox changes; no reply is due.
        connection().WaitWithoutTimeout();
        renew_.start();
        emit Idling();
        return;
    }
    // A challenge we did not expect ends the exchange.
    if (step_ == Login && !connection().Send("*\r\n")) Break();
}

void ImapSession::HandleUntagged(const ImapResponse& r) {
    if (r.status == "BYE") {
        // Expected only as the answer to LOGOUT; anywhere else the server has
        // given up on the session.
        if (step_ != Logout) Break("the server ended the session");
        return;
    }
    if (r.code == "CAPABILITY") SetCapabilities(r.codeValues);
    if (r.code == "UIDVALIDITY" && !r.codeValues.isEmpty()) uidValidity_ = r.codeValues.first().Number();
    if (r.status == "PREAUTH") {
        // Logged in by the link itself; nothing to authenticate.
        if (step_ != Greeting) return;
        // No STARTTLS can follow: encryption asked for and missing ends it.
        if (account_.Encrypted() && !connection().IsEncrypted()) {
            Break("encryption asked for, a plain link given");
            return;
        }
        step_ = Login;
        LoggedIn();
        return;
    }
    if (step_ == Greeting) {
        if (r.status != "OK") {
            Break();
            return;
        }
        if (!capabilities_.isEmpty()) {
            AfterCapabilities();
        } else {
            step_ = Capability;
            Send("CAPABILITY");
        }
        return;
    }
    if (r.name == "CAPABILITY") {
        SetCapabilities(r.values);
    } else if (r.name == "STATUS" && r.values.size() >= 2 && r.values[1].kind == ImapValue::Kind::List) {
        const QList<ImapValue>& items = r.values[1].list;
        if (const ImapValue* v = FindItem(items, "UNSEEN")) unread_ = v->Number().value_or(-1);
        if (const ImapValue* v = FindItem(items, "UIDVALIDITY")) uidValidity_ = v->Number();
    } else if (r.name == "SEARCH") {
        QList<quint64> numbers = r.numbers;
        for (const ImapValue& v : r.values) numbers << v.Number().value_or(0);
        for (const quint64 uid : std::as_const(numbers))
            if (uid > 0 && uid <= quint64(std::numeric_limits<int>::max())) unseenUids_ << int(uid);
    } else if (r.name == "FETCH" && step_ == Fetch && !r.values.isEmpty()) {
        const QList<ImapValue>& items = r.values.first().list;
        const ImapValue* uid = FindItem(items, "UID");
        for (qsizetype i = 0; uid && i + 1 < items.size(); i += 2)
            if (items[i].text.toUpper().startsWith("BODY["))
                headers_.insert(int(uid->Number().value_or(0)), items[i + 1].text);
    } else if ((step_ == Idle || step_ == IdleDone) && (r.name == "EXISTS" || (r.name == "FETCH" && !Seen(r)))) {
        // A delivery, or a message made unread elsewhere.
        news_.start();
    }
}

void ImapSession::AfterCapabilities() {
    if (!tlsDone_) {
        step_ = StartTls;
        Send("STARTTLS");
        return;
    }
    // The login never leaves unencrypted when encryption was asked for,
    // nor where the server forbids it.
    if (account_.Encrypted() && !connection().IsEncrypted()) {
        Break("encryption asked for, a plain link given");
        return;
    }
    // A token is a password: never on a plain link, whatever the server allows.
    if (account_.token && !connection().IsEncrypted()) {
        End(Refused);
        emit Ended(SessionOutcome::UnsafeEnd(Unsafe::TokenUnencrypted,
                         QStringLiteral("IMAP Error: a token is sent on an encrypted link only")));
        return;
    }
    if (!connection().IsEncrypted() && Offers("LOGINDISABLED")) {
        End(Refused);
        emit Ended(SessionOutcome::UnsafeEnd(Unsafe::LoginDisabled,
                         QStringLiteral("IMAP Error: the server takes no login on a plain link")));
        return;
    }
    step_ = Login;
    if (account_.token) {
        Authenticate(TokenMechanism(account_, Offers("AUTH=XOAUTH2"), Offers("AUTH=OAUTHBEARER")));
        return;
    }
    if (Offers("AUTH=PLAIN")) {
        Authenticate(PlainMechanism(account_.login, account_.password));
        return;
    }
    const QByteArray login = account_.login.toUtf8(), password = account_.password.toUtf8();
    // LOGIN with two astrings; a literal ends the part before it, and its
    // bytes begin the next.
    const bool plus = Offers("LITERAL+");
    QByteArrayList parts{"LOGIN "};
    const auto add = [&parts, plus](const QByteArray& bytes) {
        QByteArrayList literal;
        parts.last() += AString(bytes, literal, plus);
        if (!literal.isEmpty()) parts << literal.first();
    };
    add(login);
    parts.last() += ' ';
    add(password);
    const QByteArray command = parts.takeFirst();
    for (QByteArray& part : parts) part += "\r\n";
    Send(command, parts);
}

// The initial response goes inline only to a server that takes it (SASL-IR).
void ImapSession::Authenticate(std::unique_ptr<SaslMechanism> mechanism) {
    sasl_ = std::make_unique<SaslExchange>(std::move(mechanism));
    Send("AUTHENTICATE " + sasl_->Command(Offers("SASL-IR")));
}

// [UNAVAILABLE] is the server's trouble, not the credentials': the next
// check tries again. Any other NO turns them down.
void ImapSession::LoginFailed(const ImapResponse& r) {
    const QString serverError = sasl_ ? sasl_->ServerError() : QString();
    sasl_.reset();
    End(Refused);
    QString detail = Detail(r);
    if (!serverError.isEmpty()) detail += QStringLiteral(" (%1)").arg(serverError);
    emit Ended(r.code == "UNAVAILABLE" ? SessionOutcome::RefusedAt(Refusal::LoginForNow, detail)
                                       : SessionOutcome::Of(SessionOutcome::Kind::LoginRefused, detail));
}

void ImapSession::HandleEncrypted() {
    if (step_ != StartTls) return;  // TLS from the first byte: the greeting follows
    tlsDone_ = true;
    // What the server offered before the handshake may have been forged.
    capabilities_.clear();
    step_ = Capability;
    Send("CAPABILITY");
}

void ImapSession::LoggedIn() {
    loggedIn_ = true;
    if (!markUids_.isEmpty()) {
        SelectForMarking();
        return;
    }
    if (watch_) {
        // Some servers name IDLE only once the user is in.
        if (!Offers("IDLE") && !askedAgain_) {
            askedAgain_ = true;
            step_ = Capability;
            Send("CAPABILITY");
            return;
        }
        if (!Offers("IDLE")) {
            End(Greeting);
            emit NoIdle();
            return;
        }
        step_ = Examine;
        Send("EXAMINE INBOX");
        return;
    }
    step_ = Status;
    Send("STATUS INBOX (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)");
}

void ImapSession::HandleTagged(const ImapResponse& r) {
    const bool ok = r.status == "OK";
    if (r.code == "CAPABILITY") SetCapabilities(r.codeValues);
    // After the count a refusal only leaves the headers out, and before
    // the UIDs of a counted inbox it only leaves the ids out.
    if (!ok && fetchingHeaders_ && (step_ == Examine || step_ == Search)) {
        EndHeaders(false);
        return;
    }
    if (!ok && CountStands()) {
        CountWithoutIds(true);
        return;
    }
    switch (step_) {
    case Capability:
        if (!ok)
            Break();
        else if (loggedIn_)
            LoggedIn();
        else
            AfterCapabilities();
        return;
    case StartTls:
        if (ok) {
            connection().StartTls();
            return;
        }
        // Never on in plain text: the password would travel readable.
        End(Refused);
        emit Ended(SessionOutcome::UnsafeEnd(Unsafe::NoEncryption, QStringLiteral("STARTTLS Error: ") + Detail(r)));
        return;
    case Login:
        pending_.clear();
        if (ok) {
            sasl_.reset();
            LoggedIn();
        } else if (r.status == "NO") {
            LoginFailed(r);
        } else {
            sasl_.reset();
            Break();
        }
        return;
    case Status:
        if (!ok || !unread_) {
            Break();
            return;
        }
        if (wantIds_) {
            step_ = Examine;
            Send("EXAMINE INBOX");
            return;
        }
        ReportCount();
        return;
    case Examine:
        if (!ok) {
            Break();
            return;
        }
        examined_ = true;
        if (watch_) {
            BeginIdle();
            return;
        }
        step_ = Search;
        unseenUids_.clear();
        Send("UID SEARCH UNSEEN");
        return;
    case Search:
        if (!ok) {
            Break();
            return;
        }
        std::sort(unseenUids_.begin(), unseenUids_.end(), std::greater<int>());  // newest first
        if (fetchingHeaders_) {
            AskHeaders(unseenUids_.mid(0, headerCount_));
            return;
        }
        ReportCount();
        return;
    case Fetch: EndHeaders(ok); return;
    case Logout:
        End(Greeting);
        emit Ended(SessionOutcome::Done());
        return;
    case IdleDone:
        if (ok)
            BeginIdle();
        else
            Break();
        return;
    case Select: AfterSelect(ok); return;
    case Store: AfterStore(ok); return;
    default: return;
    }
}

void ImapSession::ReportCount() {
    MailboxCount c{QString(), unread_, std::nullopt};
    if (examined_ && uidValidity_) {
        QList<std::pair<int, QString>> ids;
        for (int uid : std::as_const(unseenUids_))
            ids.append({uid, QStringLiteral("%1.%2").arg(*uidValidity_).arg(uid)});
        c.ids = ids;
    }
    emit Counted(c);
}

bool ImapSession::CountStands() const {
    return !watch_ && !fetchingHeaders_ && unread_ && (step_ == Examine || step_ == Search);
}

void ImapSession::CountWithoutIds(bool linkUsable) {
    examined_ = false;
    unseenUids_.clear();
    if (!linkUsable) {
        End(Greeting);
        closedAfterCount_ = true;
    }
    ReportCount();
}

void ImapSession::FetchHeaders(int count, const QList<int>& among) {
    if (closedAfterCount_) {
        EndAfterCount();
        return;
    }
    if (!connection().IsOpen()) return;
    headerCount_ = count;
    headers_.clear();
    if (!among.isEmpty()) {
        AskHeaders(among.mid(0, count));
        return;
    }
    fetchingHeaders_ = true;
    if (examined_) {
        AskHeaders(unseenUids_.mid(0, count));
        return;
    }
    step_ = Examine;
    Send("EXAMINE INBOX");
}

void ImapSession::AskHeaders(const QList<int>& uids) {
    fetchUids_ = uids;
    if (uids.isEmpty()) {
        EndHeaders(false);
        return;
    }
    QByteArrayList set;
    for (int uid : uids) set << QByteArray::number(uid);
    step_ = Fetch;
    Send("UID FETCH " + set.join(',') + " (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT)])");
}

void ImapSession::EndHeaders(bool fetched) {
    QList<QByteArray> headers;
    // In the order asked for, newest first; a message gone meanwhile is left out.
    for (int uid : std::as_const(fetchUids_))
        if (headers_.contains(uid)) headers << headers_.value(uid);
    const quint64 run = run_;
    emit HeadersFetched(fetched ? headers : QList<QByteArray>());
    if (run == run_) Finish();
}

void ImapSession::Finish() {
    if (closedAfterCount_) {
        closedAfterCount_ = false;
        emit Ended(SessionOutcome::Done());
        return;
    }
    if (!connection().IsOpen()) return;
    step_ = Logout;
    Send("LOGOUT");
}

void ImapSession::EndAfterCount() {
    End(Greeting);
    closedAfterCount_ = false;
    const quint64 run = run_;
    emit HeadersFetched({});
    if (run == run_) emit Ended(SessionOutcome::Done());
}

void ImapSession::BeginIdle() {
    step_ = Idle;
    Send("IDLE");
}

void ImapSession::Renew() {
    if (step_ != Idle) return;
    step_ = IdleDone;
    if (!connection().Send("DONE\r\n")) Break();
}

void ImapSession::HandleFailure(int number, const QString& description) {
    renew_.stop();
    news_.stop();
    if (step_ == Fetch) {
        EndAfterCount();
        return;
    }
    if (step_ == Logout) {
        // Servers may close right after their BYE: the check is done.
        step_ = Greeting;
        emit Ended(SessionOutcome::Done());
        return;
    }
    if (number == MailConnection::kTlsFailed && step_ == StartTls) {
        // STARTTLS was agreed and then failed: the same end as a refusal.
        step_ = Refused;
        emit Ended(SessionOutcome::UnsafeEnd(Unsafe::NoEncryption, QStringLiteral("STARTTLS Error: ") + description));
        return;
    }
    emit Ended(SessionOutcome::Failure(number, description));
}

}  // namespace velmio
