#pragma once

#include <QList>
#include <QMetaType>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

namespace velmio {

// How one run of a session ended: one value, whichever way it went.
struct SessionOutcome {
    enum class Kind {
        Finished,              // logged out
        LoginRefused,          // the name or password was turned down
        ServerRefused,         // an error answer; where says to what
        Unsafe,                // ended before the login, for want of a safe way in
        Failed,                // the connection failed: a socket error or a time-out
        Broken,                // a reply that cannot be handled, or a command not sent
        CertificateUntrusted,  // the certificate failed the check and is not the pinned one
    };
    // Where an error answer came: before the login, to the count, to the
    // logout; or to the login, saying it fails for now only ([UNAVAILABLE],
    // [SYS/TEMP]), so the next check tries again.
    enum class Refusal { Early, Count, Logout, LoginForNow };
    // Why the session ended before the login.
    enum class Unsafe { NoEncryption, NoApop, LoginDisabled, TokenUnencrypted };

    Kind kind = Kind::Finished;
    Refusal refusal = Refusal::Early;
    Unsafe unsafe = Unsafe::NoEncryption;
    int socketError = 0;
    // The log entry of an unsafe end, the description of a failure, or what
    // broke the dialogue.
    QString detail;
    QSslCertificate certificate;
    QList<QSslError> errors;

    // The count or the logout was refused, once logged in.
    bool RefusedAfterLogin() const {
        return kind == Kind::ServerRefused && (refusal == Refusal::Count || refusal == Refusal::Logout);
    }

    static SessionOutcome Done() { return SessionOutcome(); }
    static SessionOutcome Of(Kind kind, QString detail = {}) {
        SessionOutcome o;
        o.kind = kind;
        o.detail = std::move(detail);
        return o;
    }
    static SessionOutcome RefusedAt(Refusal where, QString detail = {}) {
        SessionOutcome o = Of(Kind::ServerRefused, std::move(detail));
        o.refusal = where;
        return o;
    }
    static SessionOutcome UnsafeEnd(Unsafe why, QString logEntry) {
        SessionOutcome o = Of(Kind::Unsafe, std::move(logEntry));
        o.unsafe = why;
        return o;
    }
    static SessionOutcome Failure(int number, QString description) {
        SessionOutcome o = Of(Kind::Failed, std::move(description));
        o.socketError = number;
        return o;
    }
    static SessionOutcome Untrusted(const QSslCertificate& certificate, const QList<QSslError>& errors) {
        SessionOutcome o = Of(Kind::CertificateUntrusted);
        o.certificate = certificate;
        o.errors = errors;
        return o;
    }
};

}  // namespace velmio

Q_DECLARE_METATYPE(velmio::SessionOutcome)
