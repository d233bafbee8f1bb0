#pragma once

#include <QSslCertificate>
#include <QTcpServer>
#include <optional>

namespace velmio::test {

// The Dovecot that the test command starts on loopback (scripts/test-env.sh):
// users alice (3 messages), empty (0), bulk (4,000) and carol (set by the
// tests), each with the password "secret". Its listeners: VELMIO_POP3_PORT
// (plain, with STLS and APOP), VELMIO_POP3S_PORT (TLS), and the same two of
// a server with a self-signed certificate, VELMIO_POP3_SELF_PORT and
// VELMIO_POP3S_SELF_PORT.
struct Dovecot {
    // Nothing when no Dovecot runs for this test run.
    static std::optional<quint16> Port(const char* variable = "VELMIO_POP3_PORT");
    // The throwaway authority that signed the server's certificate.
    static QList<QSslCertificate> Authority();
    // Makes the user's maildir hold exactly count messages.
    static bool SetMessageCount(const QString& user, int count);
};

// A relay in front of a server that records what clients send.
class Pop3Tap : public QObject {
public:
    explicit Pop3Tap(quint16 serverPort);
    quint16 port() const { return listener_.serverPort(); }
    QByteArray sent;

private:
    QTcpServer listener_;
};

}  // namespace velmio::test
