#include "mail/auth/sasl_exchange.h"

namespace velmio {

SaslExchange::SaslExchange(std::unique_ptr<SaslMechanism> mechanism) : mechanism_(std::move(mechanism)) {}

QByteArray SaslExchange::Command(bool inlineResponse) {
    const std::optional<QByteArray> initial = mechanism_->InitialResponse();
    if (!inlineResponse || !initial) return mechanism_->Name();
    initialSent_ = true;
    return mechanism_->Name() + ' ' + (initial->isEmpty() ? QByteArray("=") : initial->toBase64());
}

QByteArray SaslExchange::Answer(const QByteArray& challenge) {
    if (!initialSent_) {
        initialSent_ = true;
        if (const std::optional<QByteArray> initial = mechanism_->InitialResponse()) return initial->toBase64();
    }
    const auto decoded = QByteArray::fromBase64Encoding(challenge.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return "*";
    if (mechanism_->NeedsTls()) serverError_ = TokenErrorStatus(*decoded);
    const std::optional<QByteArray> answer = mechanism_->Next(*decoded);
    return answer ? answer->toBase64() : QByteArray("*");
}

}  // namespace velmio
