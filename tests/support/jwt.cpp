#include "support/jwt.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>

namespace velmio::test {
namespace {

QByteArray Part(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toBase64(QByteArray::Base64UrlEncoding |
                                                                    QByteArray::OmitTrailingEquals);
}

}  // namespace

QString TokenIssuer() { return qEnvironmentVariable("VELMIO_OAUTH2_ISSUER"); }

QByteArray MintJwt(const QString& email, qint64 expiresInSeconds, const QString& issuer,
                   const QVariantMap& extraClaims) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QJsonObject claims = QJsonObject::fromVariantMap(extraClaims);
    claims.insert(QStringLiteral("sub"), email);
    claims.insert(QStringLiteral("email"), email);
    claims.insert(QStringLiteral("iat"), now);
    // A little before now: the clocks of issuer and server differ.
    claims.insert(QStringLiteral("nbf"), now - 60);
    claims.insert(QStringLiteral("exp"), now + expiresInSeconds);
    claims.insert(QStringLiteral("iss"), issuer);
    const QByteArray signedPart =
        Part({{QStringLiteral("alg"), QStringLiteral("HS256")}, {QStringLiteral("typ"), QStringLiteral("JWT")}}) + '.' +
        Part(claims);
    const QByteArray key = QByteArray::fromBase64(qgetenv("VELMIO_OAUTH2_KEY"));
    const QByteArray signature = QMessageAuthenticationCode::hash(signedPart, key, QCryptographicHash::Sha256);
    return signedPart + '.' + signature.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

}  // namespace velmio::test
