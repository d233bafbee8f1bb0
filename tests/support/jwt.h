#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

namespace velmio::test {

// The issuer the test Dovecot trusts ($VELMIO_OAUTH2_ISSUER).
QString TokenIssuer();

// A JWT (HS256) as the test Dovecot checks it, signed with its key
// ($VELMIO_OAUTH2_KEY): email names the user; it expires expiresInSeconds
// from now (negative: already expired). extraClaims go into the payload
// too (for padding a token to a length).
QByteArray MintJwt(const QString& email, qint64 expiresInSeconds, const QString& issuer = TokenIssuer(),
                   const QVariantMap& extraClaims = {});

}  // namespace velmio::test
