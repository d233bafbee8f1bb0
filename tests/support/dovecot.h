#pragma once

#include <QSslCertificate>
#include <QTcpServer>
#include <optional>

namespace velmio::test {

// The Dovecot that the test command starts on loopback (scripts/test-env.sh):
// users alice (3 messages), empty (0), bulk (4,000), carol and dave (set by
// the tests) and mixed (5, the first two read; the fourth one's subject is
// encoded Japanese), each with the password "secret". Its listeners:
// VELMIO_POP3_PORT (plain, with STLS and APOP), VELMIO_POP3S_PORT (TLS),
// VELMIO_IMAP_PORT (plain, with STARTTLS) and VELMIO_IMAPS_PORT (TLS), and
// the same four of a server with a self-signed certificate on the same
// mailboxes, VELMIO_POP3_SELF_PORT, VELMIO_POP3S_SELF_PORT,
// VELMIO_IMAP_SELF_PORT and VELMIO_IMAPS_SELF_PORT. Both also take tokens
// (support/jwt.h mints them), the self-signed one by OAUTHBEARER alone.
struct Dovecot {
    // Nothing when no Dovecot runs for this test run.
    static std::optional<quint16> Port(const char* variable = "VELMIO_POP3_PORT");
    // The throwaway authority that signed the server's certificate.
    static QList<QSslCertificate> Authority();
    // Makes the user's maildir hold exactly count messages.
    static bool SetMessageCount(const QString& user, int count);
    // Makes it hold exactly unread unread messages (in new/) and seen read
    // ones (in cur/, flagged S), keeping those already there that fit.
    static bool SetMailbox(const QString& user, int unread, int seen);
    // A new message as a mail server delivers it: written into tmp/, then
    // renamed into new/, so Dovecot never sees it half written.
    static bool Deliver(const QString& user, const QByteArray& from, const QByteArray& subject);
    // The names of the files in cur/ and new/, sorted: Maildir keeps a
    // message's flags in its name. Dovecot moves a message from new/ to cur/
    // (adding ":2,") in a POP3 session or on SELECT, not on EXAMINE.
    static QStringList MessageFiles(const QString& user);
    // Stop ends the main server (not the self-signed one) and returns once
    // none of its ports accepts; Start starts it again on the same ports and
    // returns once they all accept.
    static bool Stop();
    static bool Start();
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
