// Any body from an OAuth endpoint: no crash, and nothing handed on that a
// login line or the browser must not get.
#include <QUrl>
#include <cstdlib>

#include "mail/auth/oauth_endpoint.h"
#include "mail/auth/token_response.h"

using namespace velmio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    if (const std::optional<DeviceCode> code = ParseDeviceCode(body)) {
        if (code->deviceCode.isEmpty() || code->userCode.isEmpty()) std::abort();
        if (code->interval < 1 || code->interval > 300 || code->expiresIn < 1) std::abort();
        if (!SafeAddress(QUrl(code->verificationUri))) std::abort();
    }

    const TokenReply reply = ParseTokenReply(body);
    const bool granted = reply.kind == TokenReply::Kind::Granted;
    if (granted == reply.accessToken.isEmpty() || reply.expiresIn < 0) std::abort();
    for (const QString& token : {reply.accessToken, reply.refreshToken})
        for (const QChar c : token)
            if (c.unicode() <= 0x20 || c.unicode() >= 0x7f) std::abort();
    return 0;
}
