#include "mail/auth/sasl_mechanism.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "mail/mail_session.h"

namespace velmio {
namespace {

class Plain final : public SaslMechanism {
public:
    Plain(QByteArray login, QByteArray password) : login_(std::move(login)), password_(std::move(password)) {}
    QByteArray Name() const override { return "PLAIN"; }
    std::optional<QByteArray> InitialResponse() const override { return '\0' + login_ + '\0' + password_; }
    std::optional<QByteArray> Next(const QByteArray&) override { return std::nullopt; }
    bool NeedsTls() const override { return false; }  // the person chose a plain link for a password

private:
    QByteArray login_, password_;
};

// The name first, the password second, whatever the prompts say.
class Login final : public SaslMechanism {
public:
    Login(QByteArray login, QByteArray password) : login_(std::move(login)), password_(std::move(password)) {}
    QByteArray Name() const override { return "LOGIN"; }
    std::optional<QByteArray> InitialResponse() const override { return std::nullopt; }
    std::optional<QByteArray> Next(const QByteArray&) override {
        switch (answered_++) {
        case 0: return login_;
        case 1: return password_;
        default: return std::nullopt;
        }
    }
    bool NeedsTls() const override { return false; }

private:
    QByteArray login_, password_;
    int answered_ = 0;
};

// Both token mechanisms answer the error challenge without the token: the
// server then sends its refusal.
class Bearer final : public SaslMechanism {
public:
    Bearer(QByteArray name, QByteArray initial, QByteArray errorAnswer)
        : name_(std::move(name)), initial_(std::move(initial)), errorAnswer_(std::move(errorAnswer)) {}
    QByteArray Name() const override { return name_; }
    std::optional<QByteArray> InitialResponse() const override { return initial_; }
    std::optional<QByteArray> Next(const QByteArray&) override {
        if (answered_) return std::nullopt;
        answered_ = true;
        return errorAnswer_;
    }
    bool NeedsTls() const override { return true; }

private:
    QByteArray name_, initial_, errorAnswer_;
    bool answered_ = false;
};

// RFC 7628's saslname: "," and "=" escaped.
QByteArray SaslName(const QString& login) {
    return login.toUtf8().replace('=', "=3D").replace(',', "=2C");
}

}  // namespace

std::unique_ptr<SaslMechanism> PlainMechanism(const QString& login, const QString& password) {
    return std::make_unique<Plain>(login.toUtf8(), password.toUtf8());
}

std::unique_ptr<SaslMechanism> LoginMechanism(const QString& login, const QString& password) {
    return std::make_unique<Login>(login.toUtf8(), password.toUtf8());
}

std::unique_ptr<SaslMechanism> XOAuth2Mechanism(const QString& login, const QString& token) {
    return std::make_unique<Bearer>("XOAUTH2", "user=" + login.toUtf8() + "\1auth=Bearer " + token.toUtf8() + "\1\1",
                                    QByteArray());
}

std::unique_ptr<SaslMechanism> OAuthBearerMechanism(const QString& login, const QString& token, const QString& host,
                                                    quint16 port) {
    return std::make_unique<Bearer>("OAUTHBEARER",
                                    "n,a=" + SaslName(login) + ",\1host=" + host.toUtf8() + "\1port=" +
                                        QByteArray::number(port) + "\1auth=Bearer " + token.toUtf8() + "\1\1",
                                    QByteArray("\1"));
}

std::unique_ptr<SaslMechanism> TokenMechanism(const Account& account, bool offersXOAuth2, bool offersOAuthBearer) {
    if (offersOAuthBearer && !offersXOAuth2)
        return OAuthBearerMechanism(account.login, account.password, account.server, account.port);
    return XOAuth2Mechanism(account.login, account.password);
}

QString TokenErrorStatus(const QByteArray& challenge) {
    const QJsonValue status = QJsonDocument::fromJson(challenge).object().value(QLatin1String("status"));
    const QString text = status.isDouble() ? QString::number(status.toDouble()) : status.toString();
    QString shown;
    for (const QChar c : text) {
        if (shown.size() == 40) break;
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f) shown += c;
    }
    return shown;
}

}  // namespace velmio
