#include "mail/pop3/pop3_session.h"

#include <stdexcept>

#include "mail/pop3/apop.h"
#include "mail/net/mail_connection.h"
#include "mail/mail_count.h"
#include "mail/pop3/pop3_reply_buffer.h"
#include "mail/reported_ids.h"
#include "platform/cp932.h"

namespace velmio {
namespace {

bool Has(const QString& text, const char* marker) { return text.contains(QLatin1String(marker)); }

// The newest n of total messages: the highest numbers, newest first.
QList<int> HighestNumbers(int total, int n) {
    QList<int> numbers;
    for (int k = total; k > 0 && k > total - n; --k) numbers << k;
    return numbers;
}

// The lines of a "+OK" listing between its status line and its "." line,
// with the dot-stuffing undone.
QByteArray ListingBody(const QByteArray& reply) {
    QByteArray body;
    const QList<QByteArray> lines = reply.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line == "." || line == ".\r") break;
        if (line.startsWith("..")) line.remove(0, 1);
        body += line + '\n';
    }
    return body;
}

}  // namespace

Pop3Session::Pop3Session(QObject* parent) : MailSession(parent), framer_(new Pop3ReplyBuffer) {
    MailConnection& c = connection();
    c.SetFramer(std::unique_ptr<ReplyFramer>(framer_));
    connect(&c, &MailConnection::ReplyArrived, this, &Pop3Session::HandleReply);
    connect(&c, &MailConnection::Failed, this, &Pop3Session::HandleFailure);
    connect(&c, &MailConnection::Encrypted, this, &Pop3Session::HandleEncrypted);
    // Endless data is a reply that cannot be handled.
    connect(&c, &MailConnection::ReplyOverlong, this, [this] {
        if (extra_ == Extra::Top) {
            EndAfterCount();
            return;
        }
        End(Greeting);
        emit Ended(SessionOutcome::Of(SessionOutcome::Kind::Broken, QStringLiteral("a reply without an end")));
    });
}

void Pop3Session::Start(const Account& account, bool wantIds) {
    Abort();
    account_ = account;
    wantIds_ = wantIds;
    step_ = Greeting;
    stls_ = account.StartTls() ? Stls::Off : Stls::Done;
    greeting_.clear();
    auth_ = Auth::Off;
    sasl_.reset();
    extra_ = Extra::None;
    headers_.clear();
    connection().SetPin(account.pin);
    connection().Open(account.server, account.port, account.Tls());
}

void Pop3Session::End(int step) {
    step_ = step;
    connection().Close();
}

void Pop3Session::SendLine(const QString& text, bool listing) {
    framer_->ExpectListing(listing || text == QLatin1String("List"));
    if (!connection().Send(EncodeCp932(text) + "\r\n")) throw std::runtime_error("the command could not be sent");
}

void Pop3Session::SendCommand() {
    // The login never leaves unencrypted when encryption was asked for.
    if ((step_ == User || step_ == Pass) && account_.Encrypted() && !connection().IsEncrypted())
        throw std::runtime_error("the connection is not encrypted");
    switch (step_) {
    case User: SendLogin(); break;
    case Pass: SendLine(QStringLiteral("pass ") + account_.password); break;
    case List: SendLine(QStringLiteral("List")); break;
    case Quit: SendLine(QStringLiteral("quit")); break;
    default:
        End(Greeting);
        emit Ended(SessionOutcome::Done());
        break;
    }
}

void Pop3Session::SendLogin() {
    if (account_.token) {
        StartTokenLogin();
        return;
    }
    if (!account_.apop) {
        SendLine(QStringLiteral("user ") + account_.login);
        return;
    }
    const QByteArray stamp = ApopTimestamp(EncodeCp932(greeting_));
    if (stamp.isEmpty()) {
        End(Refused);
        emit Ended(SessionOutcome::UnsafeEnd(Unsafe::NoApop, QStringLiteral("APOP Error: no timestamp in the greeting")));
        return;
    }
    // Its "+OK" is the answer to "pass": the list comes next.
    step_ = Pass;
    SendLine(QStringLiteral("APOP ") + account_.login + ' ' +
             QString::fromLatin1(ApopDigest(stamp, EncodeCp932(account_.password))));
}

void Pop3Session::StartTokenLogin() {
    // A token is a password: never on a plain link, whatever the server allows.
    if (!connection().IsEncrypted()) {
        End(Refused);
        emit Ended(SessionOutcome::UnsafeEnd(Unsafe::TokenUnencrypted,
                         QStringLiteral("POP3 Error: a token is sent on an encrypted link only")));
        return;
    }
    auth_ = Auth::Capa;
    SendLine(QStringLiteral("CAPA"), true);
}

void Pop3Session::HandleAuthReply(const QByteArray& raw) {
    if (auth_ == Auth::Capa) {
        // Without CAPA (or a SASL line in it) XOAUTH2 is tried.
        QByteArrayList offered;
        if (raw.startsWith("+OK"))
            for (const QByteArray& line : raw.split('\n'))
                if (line.toUpper().startsWith("SASL ")) offered = line.trimmed().toUpper().split(' ');
        sasl_ = std::make_unique<SaslExchange>(
            TokenMechanism(account_, offered.contains("XOAUTH2"), offered.contains("OAUTHBEARER")));
        auth_ = Auth::Exchange;
        step_ = Pass;
        SendLine(QStringLiteral("AUTH ") + QString::fromLatin1(sasl_->Command(false)));
        return;
    }
    if (raw.startsWith("+OK")) {
        auth_ = Auth::Off;
        sasl_.reset();
        step_ = List;
        SendCommand();
    } else if (raw.startsWith("-ERR")) {
        LoginFailed(DecodeCp932(raw));
    } else if (raw.startsWith("+")) {
        SendLine(QString::fromLatin1(sasl_->Answer(raw.mid(1).trimmed())));
    }
    // Anything else is no reply we know; the session waits for the next one.
}

// [SYS/TEMP] is the server's trouble, not the credentials' (RFC 3206): the
// next check tries again. Any other error turns them down.
void Pop3Session::LoginFailed(const QString& reply) {
    QString detail = reply.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (sasl_ && !sasl_->ServerError().isEmpty()) detail += QStringLiteral(" (%1)").arg(sasl_->ServerError());
    auth_ = Auth::Off;
    sasl_.reset();
    End(Refused);
    emit Ended(Has(reply, "[SYS/TEMP]") ? SessionOutcome::RefusedAt(Refusal::LoginForNow, detail)
                                        : SessionOutcome::Of(SessionOutcome::Kind::LoginRefused, detail));
}

template <typename Do>
void Pop3Session::Guarded(Do step) {
    if (!connection().IsOpen()) return;
    const quint64 run = run_;
    try {
        step();
    } catch (const std::exception&) {
        if (run != run_) return;
        End(Greeting);
        emit Ended(SessionOutcome::Of(SessionOutcome::Kind::Broken, QStringLiteral("a reply it could not handle")));
    }
}

void Pop3Session::HandleReply(const QByteArray& reply) {
    Guarded([&] {
        if (auth_ != Auth::Off) {
            HandleAuthReply(reply);
            return;
        }
        if (extra_ != Extra::None && stls_ == Stls::Done) {
            HandleExtraReply(reply);
            return;
        }
        Classify(DecodeCp932(reply));
    });
}

void Pop3Session::HandleEncrypted() {
    if (stls_ != Stls::Handshake) return;  // TLS from the first byte: the greeting follows
    Guarded([&] {
        stls_ = Stls::Done;
        // No second greeting: the login goes out at once.
        step_ = User;
        SendCommand();
    });
}

// One complete reply. The markers are searched in the whole reply.
void Pop3Session::Classify(const QString& r) {
    const int answered = step_;
    const bool ok = r.startsWith(QLatin1String("+OK"));
    if (stls_ == Stls::Asked) {
        if (!ok) {
            // Never on in plain text: the password would travel readable.
            End(Refused);
            emit Ended(SessionOutcome::UnsafeEnd(Unsafe::NoEncryption,
                             QStringLiteral("STLS Error: ") + r.section(QLatin1Char('\n'), 0, 0).trimmed()));
            return;
        }
        stls_ = Stls::Handshake;
        connection().StartTls();
        return;
    }
    if (answered == Greeting && ok) greeting_ = r;
    if (answered == Greeting && stls_ == Stls::Off && ok) {
        stls_ = Stls::Asked;
        SendLine(QStringLiteral("STLS"));
        return;
    }
    if (ok) {
        if (!Has(r, "off") && answered == List) {
            listReply_ = r;
            if (wantIds_) {
                extra_ = Extra::Uidl;
                SendLine(QStringLiteral("UIDL"), true);
                return;
            }
            emit Counted(MailboxCount{r, std::nullopt, std::nullopt});
            return;
        }
        ++step_;
        SendCommand();
        return;
    }
    const bool error = Has(r, "-ERR");
    // Hardly any server says "Pass" when it turns a password down, so any
    // error answering "pass" counts as a rejected login.
    if (Has(r, "Pass") || (error && answered == Pass)) {
        LoginFailed(r);
    } else if (error && answered > User) {
        End(Greeting);
        emit Ended(SessionOutcome::RefusedAt(answered > List ? Refusal::Logout : Refusal::Count));
    } else if (error) {
        End(Refused);
        emit Ended(SessionOutcome::RefusedAt(Refusal::Early));
    }
    // Anything else is no reply we know; the session waits for the next one.
}

void Pop3Session::HandleExtraReply(const QByteArray& raw) {
    if (extra_ == Extra::Uidl) {
        extra_ = Extra::None;
        emit Counted(MailboxCount{listReply_, std::nullopt, ParseUidlReply(raw)});
        return;
    }
    // A header. Anything but one leaves the headers out; the count stands.
    if (!raw.startsWith("+OK")) {
        EndHeaders(false);
        return;
    }
    headers_ << ListingBody(raw);
    if (topNumbers_.isEmpty())
        EndHeaders(true);
    else
        SendNextTop();
}

void Pop3Session::FetchHeaders(int count, const QList<int>& among) {
    Guarded([&] {
        const auto total = CountFromListReply(listReply_);
        topNumbers_ = (among.isEmpty() ? HighestNumbers(total.value_or(0), count) : among).mid(0, count);
        headers_.clear();
        if (topNumbers_.isEmpty()) {
            EndHeaders(false);
            return;
        }
        extra_ = Extra::Top;
        SendNextTop();
    });
}

void Pop3Session::SendNextTop() { SendLine(QStringLiteral("TOP %1 0").arg(topNumbers_.takeFirst()), true); }

void Pop3Session::EndHeaders(bool fetched) {
    extra_ = Extra::None;
    const quint64 run = run_;
    emit HeadersFetched(fetched ? headers_ : QList<QByteArray>());
    if (run != run_) return;
    step_ = Quit;
    SendCommand();
}

void Pop3Session::Finish() {
    Guarded([&] {
        extra_ = Extra::None;
        step_ = Quit;
        SendCommand();
    });
}

void Pop3Session::EndAfterCount() {
    extra_ = Extra::None;
    End(Greeting);
    const quint64 run = run_;
    emit HeadersFetched({});
    if (run == run_) emit Ended(SessionOutcome::Done());
}

void Pop3Session::HandleFailure(int number, const QString& description) {
    if (extra_ == Extra::Top) {
        EndAfterCount();
        return;
    }
    if (number == MailConnection::kTlsFailed && stls_ == Stls::Handshake) {
        // STARTTLS was agreed and then failed: the same end as a refusal.
        step_ = Refused;
        emit Ended(SessionOutcome::UnsafeEnd(Unsafe::NoEncryption, QStringLiteral("STLS Error: ") + description));
        return;
    }
    emit Ended(SessionOutcome::Failure(number, description));
}

}  // namespace velmio
