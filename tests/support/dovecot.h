#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <optional>

namespace velmio::test {

// The Dovecot that the test command starts on loopback (scripts/test-env.sh):
// users alice (3 messages), empty (0), bulk (4,000) and carol (set by the
// tests), each with the password "secret".
struct Dovecot {
    // Nothing when no Dovecot runs for this test run.
    static std::optional<quint16> Port();
    static QString Folder();
    static QString SkipReason() {
        return QStringLiteral("no Dovecot: VELMIO_POP3_PORT is unset (run under scripts/test)");
    }
    // Makes the user's maildir hold exactly count messages.
    static bool SetMessageCount(const QString& user, int count);
};

// A relay in front of a server that records what clients send.
class Pop3Tap : public QObject {
    Q_OBJECT
public:
    explicit Pop3Tap(quint16 serverPort, QObject* parent = nullptr);
    quint16 port() const { return listener_.serverPort(); }
    QByteArray sent() const { return sent_; }
    void clear() { sent_.clear(); }

private:
    QTcpServer listener_;
    quint16 serverPort_;
    QByteArray sent_;
};

}  // namespace velmio::test
