#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmio {

// The answer to the device authorization request (RFC 8628, 3.2).
struct DeviceCode {
    QString deviceCode;
    QString userCode;
    QString verificationUri;
    int expiresIn = 900;  // seconds the code is good for
    int interval = 5;     // seconds between polls
};

// Nothing when the body is not a usable answer; numbers outside sense are
// bounded, and an address that is neither https nor a loopback http is no answer.
std::optional<DeviceCode> ParseDeviceCode(const QByteArray& body);

// What the token endpoint said to a device-code poll or a refresh.
struct TokenReply {
    enum class Kind {
        Granted,
        Pending,   // authorization_pending: poll again
        SlowDown,  // slow_down: poll again, five seconds later each time
        Expired,   // expired_token: the code is used up
        Denied,    // the user said no
        Refused,   // the grant or the client is no good: sign in again
        Failed,    // no answer, or none that makes sense: try again later
    };
    Kind kind = Kind::Failed;
    QString accessToken;
    QString refreshToken;   // empty when the endpoint keeps the old one
    qint64 expiresIn = 0;   // seconds the access token is good for
    QString error;          // the error code and description, for the log
};

TokenReply ParseTokenReply(const QByteArray& body);

}  // namespace velmio
