#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace velmio {

struct Account;

// The client's side of one SASL mechanism (RFC 4422). Responses and
// challenges are the decoded bytes; the protocol carries them in base64.
class SaslMechanism {
public:
    virtual ~SaslMechanism() = default;
    // As IMAP's AUTHENTICATE and POP3's AUTH name it.
    virtual QByteArray Name() const = 0;
    // What the client may send first, before any challenge; nothing when
    // the mechanism waits for the server to speak.
    virtual std::optional<QByteArray> InitialResponse() const = 0;
    // The answer to a challenge; nothing cancels the exchange.
    virtual std::optional<QByteArray> Next(const QByteArray& challenge) = 0;
    // Carries a secret that must never travel readable.
    virtual bool NeedsTls() const = 0;
};

std::unique_ptr<SaslMechanism> PlainMechanism(const QString& login, const QString& password);
std::unique_ptr<SaslMechanism> LoginMechanism(const QString& login, const QString& password);
// OAuth 2.0 bearer tokens: Google's XOAUTH2 and RFC 7628's OAUTHBEARER. A
// challenge after the initial response is the server's error; the answer
// only ends the exchange, so the tagged refusal follows.
std::unique_ptr<SaslMechanism> XOAuth2Mechanism(const QString& login, const QString& token);
std::unique_ptr<SaslMechanism> OAuthBearerMechanism(const QString& login, const QString& token, const QString& host,
                                                    quint16 port);

// The token mechanism for a server that offers these: OAUTHBEARER only
// where XOAUTH2 is not offered.
std::unique_ptr<SaslMechanism> TokenMechanism(const Account& account, bool offersXOAuth2, bool offersOAuthBearer);

// The "status" of an OAuth 2.0 error challenge ({"status":"invalid_token",
// ...}), for the log: printable ASCII, at most 40 characters; empty when
// the challenge holds none.
QString TokenErrorStatus(const QByteArray& challenge);

}  // namespace velmio
