#include "mail/auth/device_grant_source.h"

#include <QNetworkReply>
#include <QTimer>

#include "mail/auth/oauth_endpoint.h"
#include "mail/auth/token_request.h"
#include "mail/auth/token_response.h"
#include "platform/clock.h"
#include "platform/password_keyring.h"

namespace velmio {
namespace {

CredentialAnswer Ready(const QString& token) {
    CredentialAnswer a;
    a.kind = CredentialAnswer::Kind::Ready;
    a.credential = {Credential::Kind::Token, token};
    return a;
}

CredentialAnswer Not(CredentialAnswer::Kind kind, const QString& reason) {
    CredentialAnswer a;
    a.kind = kind;
    a.reason = reason;
    return a;
}

const SystemClock kSystemClock;

}  // namespace

DeviceGrantSource::DeviceGrantSource(PasswordKeyring& keyring, const Clock* clock, QObject* parent)
    : CredentialSource(parent), keyring_(keyring), clock_(clock ? *clock : kSystemClock) {}

DeviceGrantSource::~DeviceGrantSource() {
    for (const Renewal& renewal : std::as_const(renewals_)) AbortPost(renewal.reply);
}

void DeviceGrantSource::Answer(CredentialAnswer answer, int times) {
    // Never within Fetch: its caller may not be listening yet.
    QTimer::singleShot(0, this, [this, answer = std::move(answer), times, cancels = cancels_] {
        for (int i = 0; i < times && cancels == cancels_; ++i) emit Answered(answer);
    });
}

void DeviceGrantSource::Fetch(const AccountSettings& account, bool refused) {
    const QString place = TokenPlace(account);
    if (auto renewal = renewals_.find(place); renewal != renewals_.end()) {
        ++renewal->waiting;
        return;
    }
    Held& held = held_[place];
    if (refused && held.renewedAfterRefusal) {
        // Renewed once already and still refused: only the user can help.
        held = {};
        Answer(Not(CredentialAnswer::Kind::SignInAgain, QStringLiteral("a renewed token was refused too")));
        return;
    }
    if (!refused) {
        held.renewedAfterRefusal = false;
        if (!held.accessToken.isEmpty() && clock_.now().secsTo(held.expires) > kRenewAheadSecs) {
            Answer(Ready(held.accessToken));
            return;
        }
    }
    // Counted from here: the keyring's wait lets other fetches in.
    renewals_.insert(place, {});
    const quint64 cancels = cancels_;
    const KeyringRead read = keyring_.Read(place, KeyringWait::ForUnlock);
    if (cancels != cancels_) return;
    if (read.answer == KeyringAnswer::Found && !read.password.isEmpty())
        Refresh(account, read.password, refused);
    else if (read.answer == KeyringAnswer::Found || read.answer == KeyringAnswer::Missing)
        Answer(Not(CredentialAnswer::Kind::Missing, QStringLiteral("not signed in yet")), renewals_.take(place).waiting);
    else
        Answer(Not(CredentialAnswer::Kind::Unavailable, read.reason), renewals_.take(place).waiting);
}

void DeviceGrantSource::Refresh(const AccountSettings& account, const QString& refreshToken, bool afterRefusal) {
    const OAuthEndpoint endpoint = EndpointFor(account);
    const QString place = TokenPlace(account);
    if (endpoint.problem != OAuthEndpoint::Problem::None) {
        Answer(Not(CredentialAnswer::Kind::SignInAgain,
                   endpoint.problem == OAuthEndpoint::Problem::NoClientId ? QStringLiteral("no client id")
                                                                          : QStringLiteral("the authority is not https")),
               renewals_.take(place).waiting);
        return;
    }
    const FormFields form{{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                          {QStringLiteral("client_id"), endpoint.clientId},
                          {QStringLiteral("refresh_token"), refreshToken},
                          {QStringLiteral("scope"), endpoint.scope}};
    renewals_[place].reply = PostForm(net_, endpoint.token, form,
                                      [this, place, afterRefusal](const QByteArray& body, const QString& error) {
        const int waiting = renewals_.take(place).waiting;
        const TokenReply reply = ParseTokenReply(body);
        using K = TokenReply::Kind;
        if (reply.kind == K::Granted) {
            // The endpoint may hand out a new refresh token and retire the old one.
            if (!reply.refreshToken.isEmpty()) keyring_.Write(place, reply.refreshToken);
            held_[place] = {reply.accessToken, clock_.now().addSecs(reply.expiresIn), afterRefusal};
            Answer(Ready(reply.accessToken), waiting);
        } else if (reply.kind == K::Refused || reply.kind == K::Denied || reply.kind == K::Expired) {
            held_.remove(place);
            Answer(Not(CredentialAnswer::Kind::SignInAgain, QStringLiteral("the refresh was refused: ") + reply.error),
                   waiting);
        } else {
            Answer(Not(CredentialAnswer::Kind::Unavailable,
                       QStringLiteral("no token this time: ") + (reply.error.isEmpty() ? error : reply.error)),
                   waiting);
        }
    });
}

void DeviceGrantSource::Cancel() {
    ++cancels_;
    for (const Renewal& renewal : std::as_const(renewals_)) AbortPost(renewal.reply);
    renewals_.clear();
}

}  // namespace velmio
