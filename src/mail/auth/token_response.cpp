#include "mail/auth/token_response.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <algorithm>

#include "mail/auth/oauth_endpoint.h"

namespace velmio {
namespace {

// Longer texts than these are no honest answer, and would only swell a label.
constexpr qsizetype kMaxCode = 64;
constexpr qsizetype kMaxAddress = 2048;
constexpr qsizetype kMaxToken = 65536;
constexpr qint64 kDay = 86400;

QJsonObject Object(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError ? doc.object() : QJsonObject();
}

QString Text(const QJsonObject& o, const char* key, qsizetype max) {
    const QString text = o.value(QLatin1String(key)).toString();
    return text.size() <= max ? text : QString();
}

// Some endpoints send numbers as strings; either way bounded.
qint64 Seconds(const QJsonObject& o, const char* key, qint64 fallback, qint64 low, qint64 high) {
    const QJsonValue v = o.value(QLatin1String(key));
    bool ok = v.isDouble();
    double n = v.toDouble();
    if (v.isString()) n = v.toString().trimmed().toDouble(&ok);
    if (!ok || n != n) return fallback;  // NaN
    return static_cast<qint64>(qBound(double(low), n, double(high)));
}

// A token goes into a login line: visible ASCII only, so that nothing in it
// can end the line or the SASL message early.
bool Printable(const QString& token) {
    return std::all_of(token.begin(), token.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

TokenReply::Kind KindOfError(const QString& error) {
    using K = TokenReply::Kind;
    if (error == QLatin1String("authorization_pending")) return K::Pending;
    if (error == QLatin1String("slow_down")) return K::SlowDown;
    if (error == QLatin1String("expired_token") || error == QLatin1String("code_expired")) return K::Expired;
    // Microsoft says authorization_declined where the RFC says access_denied.
    if (error == QLatin1String("access_denied") || error == QLatin1String("authorization_declined")) return K::Denied;
    for (const char* refused : {"invalid_grant", "invalid_client", "unauthorized_client", "invalid_scope",
                                "interaction_required", "consent_required", "bad_verification_code"})
        if (error == QLatin1String(refused)) return K::Refused;
    return K::Failed;  // server_error, temporarily_unavailable, anything unknown
}

}  // namespace

std::optional<DeviceCode> ParseDeviceCode(const QByteArray& body) {
    const QJsonObject o = Object(body);
    DeviceCode c;
    c.deviceCode = Text(o, "device_code", kMaxToken);
    c.userCode = Text(o, "user_code", kMaxCode).trimmed();
    c.verificationUri = Text(o, "verification_uri", kMaxAddress);
    if (c.verificationUri.isEmpty()) c.verificationUri = Text(o, "verification_url", kMaxAddress);  // older endpoints
    c.expiresIn = static_cast<int>(Seconds(o, "expires_in", 900, 1, kDay));
    c.interval = static_cast<int>(Seconds(o, "interval", 5, 1, 300));
    if (c.deviceCode.isEmpty() || c.userCode.isEmpty()) return std::nullopt;
    // The address is opened in the browser: nothing but the web.
    if (!SafeAddress(QUrl(c.verificationUri, QUrl::StrictMode))) return std::nullopt;
    return c;
}

TokenReply ParseTokenReply(const QByteArray& body) {
    const QJsonObject o = Object(body);
    TokenReply r;
    const QString error = Text(o, "error", 200);
    if (!error.isEmpty()) {
        r.kind = KindOfError(error);
        r.error = error;
        if (const QString d = Text(o, "error_description", 400).section('\n', 0, 0).trimmed(); !d.isEmpty())
            r.error += QStringLiteral(": ") + d;
        return r;
    }
    r.accessToken = Text(o, "access_token", kMaxToken);
    if (r.accessToken.isEmpty()) {
        r.error = o.isEmpty() ? QStringLiteral("no answer the program understands") : QStringLiteral("no access token");
        return r;
    }
    r.refreshToken = Text(o, "refresh_token", kMaxToken);
    if (!Printable(r.accessToken) || !Printable(r.refreshToken)) {
        r.accessToken.clear();
        r.refreshToken.clear();
        r.error = QStringLiteral("a token with characters no token has");
        return r;
    }
    r.kind = TokenReply::Kind::Granted;
    r.expiresIn = Seconds(o, "expires_in", 3600, 0, 366 * kDay);
    return r;
}

}  // namespace velmio
