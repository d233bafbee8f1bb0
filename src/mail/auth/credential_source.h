#pragma once

#include <QObject>
#include <QString>
#include <optional>

namespace velmio {

struct AccountSettings;

// What an account logs in with. Asked for before each connection, so a
// token is always fresh; the secret never reaches a log or a file.
struct Credential {
    enum class Kind { Password, Token };
    Kind kind = Kind::Password;
    QString secret;
};

// Where an account logs in, when its source knows it better than the
// settings (GNOME Online Accounts' Mail interface).
struct ServerPlace {
    QString server;
    quint16 port = 0;
    qint16 security = 0;  // as Account's
    QString login;
};

// How asking a source ended.
struct CredentialAnswer {
    enum class Kind {
        Ready,        // credential holds it
        Missing,      // nothing saved: a password is asked for, a token sign-in started
        Unavailable,  // no answer this time (locked keyring, GOA not on the bus): a failed check
        SignInAgain,  // the user must act (GOA's attention needed, a refused refresh)
    };
    Kind kind = Kind::Missing;
    Credential credential;
    QString reason;  // for the log; never the secret
    QString line;    // her words when not Ready; empty: those of the kind
    std::optional<ServerPlace> place;

    static CredentialAnswer Of(Kind kind, QString reason, QString line = {}) {
        CredentialAnswer a;
        a.kind = kind;
        a.reason = std::move(reason);
        a.line = std::move(line);
        return a;
    }
    static CredentialAnswer Holding(Credential::Kind kind, QString secret) {
        CredentialAnswer a;
        a.kind = Kind::Ready;
        a.credential = {kind, std::move(secret)};
        return a;
    }
};

// Where one kind of credential comes from. Asynchronous: exactly one
// Answered follows each Fetch, unless Cancel comes first.
class CredentialSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // refused: the server refused what the last answer gave; a token
    // source renews it once before it gives up.
    virtual void Fetch(const AccountSettings& account, bool refused) = 0;
    virtual void Cancel() {}

signals:
    void Answered(const CredentialAnswer& answer);
};

}  // namespace velmio
