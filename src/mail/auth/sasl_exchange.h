#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "mail/auth/sasl_mechanism.h"

namespace velmio {

// One SASL exchange as IMAP (RFC 3501, 4959) and POP3 (RFC 5034) run it,
// in base64 lines: the initial response goes with the command when the
// server takes it there, else it answers the first, empty challenge; later
// challenges go to the mechanism.
class SaslExchange {
public:
    explicit SaslExchange(std::unique_ptr<SaslMechanism> mechanism);

    const SaslMechanism& mechanism() const { return *mechanism_; }
    // The command's argument: the mechanism's name, and with inlineResponse
    // its initial response ("=" when empty).
    QByteArray Command(bool inlineResponse);
    // The line answering a challenge as the server sent it (base64, without
    // its line end); "*" cancels the exchange.
    QByteArray Answer(const QByteArray& challenge);
    // What the server's last error challenge said, for the log.
    QString ServerError() const { return serverError_; }

private:
    std::unique_ptr<SaslMechanism> mechanism_;
    bool initialSent_ = false;
    QString serverError_;
};

}  // namespace velmio
