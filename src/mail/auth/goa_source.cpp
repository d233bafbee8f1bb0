#include "mail/auth/goa_source.h"

#include <QDBusMessage>

#include "core/app_settings.h"
#include "mail/auth/goa_accounts.h"

namespace velmio {
namespace {

using K = CredentialAnswer::Kind;

// GOA's own word for credentials it holds no more, or that were refused.
bool NotAuthorized(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.gnome.OnlineAccounts.Error.NotAuthorized");
}

CredentialAnswer NotReached(const QString& error) {
    return CredentialAnswer::Of(K::Unavailable, QStringLiteral("GNOME Online Accounts did not answer (%1)").arg(error),
                                QStringLiteral("GNOMEのオンラインアカウントとお話しできないよ…"));
}

CredentialAnswer SignInAgain(const QString& reason) { return CredentialAnswer::Of(K::SignInAgain, reason); }

// A call that failed: credentials GOA holds no more want the user; anything
// else is a failed check that tries again later.
CredentialAnswer Failed(const QDBusMessage& reply) {
    return NotAuthorized(reply) ? SignInAgain(reply.errorName()) : NotReached(reply.errorName());
}

// A Ready answer with the account's server.
CredentialAnswer Given(Credential::Kind kind, const QDBusMessage& reply, const GoaAccount& a) {
    CredentialAnswer answer = CredentialAnswer::Holding(kind, reply.arguments().first().toString());
    answer.place = a.place;
    return answer;
}

bool Replied(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

}  // namespace

void GoaSource::Fetch(const AccountSettings& settings, bool refused) {
    const quint64 ask = ++asks_;
    const QString id = settings.Goa;
    goa::ListAccounts(this, [this, id, refused, ask](const QList<GoaAccount>& accounts, const QString& error) {
        if (!error.isEmpty()) return Answer(ask, NotReached(error));
        for (const GoaAccount& a : accounts)
            if (a.id == id) return FetchFrom(a, refused, ask);
        Answer(ask, CredentialAnswer::Of(K::Unavailable,
                                         QStringLiteral("GNOME Online Accounts holds no account %1").arg(id),
                                         QStringLiteral("GNOMEのオンラインアカウントにこのアカウントがないよ…")));
    });
}

void GoaSource::FetchFrom(const GoaAccount& a, bool refused, quint64 ask) {
    if (a.attentionNeeded) return Answer(ask, SignInAgain(QStringLiteral("GNOME Online Accounts needs attention")));
    if (!a.mail)
        return Answer(ask, CredentialAnswer::Of(K::Unavailable, QStringLiteral("mail is off in GNOME Online Accounts"),
                                                QStringLiteral("GNOMEのオンラインアカウントでメールがオフになってるよ…")));
    if (a.oauth2 && refused) {
        goa::Call(this, a.path, QStringLiteral("org.gnome.OnlineAccounts.Account"), QStringLiteral("EnsureCredentials"),
                  {}, [this, a, ask](const QDBusMessage& reply) {
                      if (reply.type() == QDBusMessage::ReplyMessage) return GetToken(a, ask);
                      Answer(ask, Failed(reply));
                  });
        return;
    }
    if (a.oauth2) return GetToken(a, ask);
    if (!a.password)
        return Answer(ask, CredentialAnswer::Of(K::Unavailable, QStringLiteral("neither a token nor a password"),
                                                QStringLiteral("GNOMEのオンラインアカウントのこの種類は使えないよ…")));
    goa::Call(this, a.path, QStringLiteral("org.gnome.OnlineAccounts.PasswordBased"), QStringLiteral("GetPassword"),
              {QStringLiteral("imap-password")}, [this, a, ask](const QDBusMessage& reply) {
                  Answer(ask, Replied(reply) ? Given(Credential::Kind::Password, reply, a) : Failed(reply));
              });
}

void GoaSource::GetToken(const GoaAccount& a, quint64 ask) {
    const QString oauth2 = QStringLiteral("org.gnome.OnlineAccounts.OAuth2Based");
    goa::Call(this, a.path, oauth2, QStringLiteral("GetAccessToken"), {},
              [this, a, ask](const QDBusMessage& reply) {
                  Answer(ask, Replied(reply) ? Given(Credential::Kind::Token, reply, a) : Failed(reply));
              });
}

void GoaSource::Answer(quint64 ask, const CredentialAnswer& answer) {
    if (ask == asks_) emit Answered(answer);
}

}  // namespace velmio
