#pragma once

#include <QStringList>
#include <memory>

#include "mail/auth/sasl_exchange.h"
#include "mail/mail_session.h"

namespace velmio {

class Pop3ReplyBuffer;

// The POP3 dialogue: greeting, STLS when asked for, user/pass or APOP (or
// for a token CAPA and AUTH), List, on request UIDL and TOP, quit. Every reply is classified by the
// markers it holds, as servers word them in many ways.
class Pop3Session final : public MailSession {
    Q_OBJECT
public:
    // The steps; a reply answers the step it arrives in.
    enum Step : int { Refused = -1, Greeting = 0, User = 1, Pass = 2, List = 3, Quit = 4, LoggedOut = 5 };

    explicit Pop3Session(QObject* parent = nullptr);

    void Start(const Account& account, bool wantIds) override;
    void FetchHeaders(int count, const QList<int>& among) override;
    void Finish() override;
    int Step() const override { return step_; }

private:
    void HandleReply(const QByteArray& reply);
    void Classify(const QString& reply);
    void HandleExtraReply(const QByteArray& raw);
    void HandleEncrypted();
    void HandleFailure(int number, const QString& description);
    // Runs a step of the dialogue; a failure in it ends the session.
    template <typename Do>
    void Guarded(Do step);
    void SendCommand();
    void SendLogin();
    // A token goes by SASL (RFC 5034), in two steps: the command, then the
    // response on its own line, as it is far longer than a command may be.
    void StartTokenLogin();
    void HandleAuthReply(const QByteArray& raw);
    void LoginFailed(const QString& reply);
    void SendLine(const QString& text, bool listing = false);
    void SendNextTop();
    void EndHeaders(bool fetched);
    // The count stands; what failed after it ends the session without a word.
    void EndAfterCount();
    void End(int step);

    Pop3ReplyBuffer* framer_;  // the connection's
    Account account_;
    bool wantIds_ = false;
    int step_ = Greeting;
    // Where STARTTLS stands in the session.
    enum class Stls { Off, Asked, Handshake, Done } stls_ = Stls::Off;
    QString greeting_;  // for the APOP timestamp
    // Where the token login stands: the capabilities asked for, then the exchange.
    enum class Auth { Off, Capa, Exchange } auth_ = Auth::Off;
    std::unique_ptr<SaslExchange> sasl_;
    // After the count: unique ids, then headers.
    enum class Extra { None, Uidl, Top } extra_ = Extra::None;
    QString listReply_;
    QList<int> topNumbers_;  // messages whose headers are still to ask for
    QList<QByteArray> headers_;
};

}  // namespace velmio
