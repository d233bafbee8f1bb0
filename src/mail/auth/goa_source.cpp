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
                      Answer(ask, NotAuthorized(reply) ? SignInAgain(reply.errorName()) : NotReached(reply.errorName()));
                  });
        return;
    }
    if (a.oauth2) return GetToken(a, ask);
    if (!a.password)
        return Answer(ask, CredentialAnswer::Of(K::Unavailable, QStringLiteral("neither a token nor a password"),
                                                QStringLiteral("GNOMEのオンラインアカウントのこの種類は使えないよ…")));
    goa::Call(this, a.path, QStringLiteral("org.gnome.OnlineAccounts.PasswordBased"), QStringLiteral("GetPassword"),
              {QStringLiteral("imap-password")}, [this, a, ask](const QDBusMessage& reply) {
                  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                      return Answer(ask, NotAuthorized(reply) ? SignInAgain(reply.errorName()) : NotReached(reply.errorName()));
                  CredentialAnswer answer =
                      CredentialAnswer::Holding(Credential::Kind::Password, reply.arguments().first().toString());
                  answer.place = a.place;
                  Answer(ask, answer);
              });
}

void GoaSource::GetToken(const GoaAccount& a, quint64 ask) {
    goa::Call(this, a.path, QStringLiteral("org.gnome.OnlineAccounts.OAuth2Based"), QStringLiteral("GetAccessToken"), {},
              [this, a, ask](const QDBusMessage& reply) {
                  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                      return Answer(ask, NotAuthorized(reply) ? SignInAgain(reply.errorName()) : NotReached(reply.errorName()));
                  CredentialAnswer answer =
                      CredentialAnswer::Holding(Credential::Kind::Token, reply.arguments().first().toString());
                  answer.place = a.place;
                  Answer(ask, answer);
              });
}

void GoaSource::Answer(quint64 ask, const CredentialAnswer& answer) {
    if (ask == asks_) emit Answered(answer);
}

}  // namespace velmio
