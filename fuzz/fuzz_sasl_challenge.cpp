// Any challenges from a server, line by line, through each mechanism's
// exchange: no crash, the token never answers a challenge, and what is kept
// for the log is short, printable and the server's own.
#include <QByteArrayList>
#include <cstdlib>

#include "mail/auth/sasl_exchange.h"

namespace {

const QString kToken = QStringLiteral("ya29.SECRET-TOKEN");

std::unique_ptr<velmio::SaslMechanism> Mechanism(int which) {
    switch (which % 4) {
    case 0: return velmio::PlainMechanism(QStringLiteral("alice"), kToken);
    case 1: return velmio::LoginMechanism(QStringLiteral("alice"), kToken);
    case 2: return velmio::XOAuth2Mechanism(QStringLiteral("alice"), kToken);
    default: return velmio::OAuthBearerMechanism(QStringLiteral("a,l=ice"), kToken, QStringLiteral("h"), 993);
    }
}

void CheckStatus(const QString& status, const QByteArray& from) {
    if (status.size() > 40) std::abort();
    for (const QChar c : status)
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f) std::abort();
    if (status.contains(kToken) && !from.contains(kToken.toLatin1())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte: the mechanism, and whether the initial response went inline.
    const int which = data[0];
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    CheckStatus(velmio::TokenErrorStatus(rest), rest);

    velmio::SaslExchange exchange(Mechanism(which));
    const bool token = exchange.mechanism().NeedsTls();
    const bool inlineResponse = which & 4;
    const QByteArray command = exchange.Command(inlineResponse);
    if (!command.startsWith(exchange.mechanism().Name())) std::abort();
    bool initialSent = inlineResponse && exchange.mechanism().InitialResponse();
    for (const QByteArray& line : rest.split('\n')) {
        const QByteArray answer = exchange.Answer(line);
        if (answer.contains('\n') || answer.contains('\r')) std::abort();
        const QByteArray decoded = QByteArray::fromBase64(answer);
        if (token && initialSent && (answer.contains("SECRET") || decoded.contains("SECRET"))) std::abort();
        initialSent = true;
        CheckStatus(exchange.ServerError(), QByteArray::fromBase64(line.trimmed()));
    }
    return 0;
}
