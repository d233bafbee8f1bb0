#pragma once

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QTimer>
#include <memory>
#include <optional>

#include "mail/net/reply_framer.h"

class QSslSocket;

namespace velmio {

// The TCP side of a mail session: connects (plain, TLS from the first byte,
// or TLS started later), sends commands, hands over whole replies as the
// protocol's framer cuts them, and turns
// every way the connection can fail into one error event with a
// Winsock-style number and a description. A certificate that fails the
// check and is not the pinned one ends the connection with its own event.
class MailConnection : public QObject {
    Q_OBJECT
public:
    static constexpr int kHostNotFound = 11001;
    static constexpr int kConnectionReset = 10054;
    static constexpr int kTimedOut = 10060;
    static constexpr int kConnectionRefused = 10061;
    // The secure channel could not be set up.
    static constexpr int kTlsFailed = 12157;
    static constexpr int kDefaultReplyTimeoutMs = 60000;

    explicit MailConnection(QObject* parent = nullptr);
    ~MailConnection() override;

    // How the protocol's replies are cut; set before Open.
    void SetFramer(std::unique_ptr<ReplyFramer> framer) { framer_ = std::move(framer); }

    // How long the connection and each reply may take.
    void SetReplyTimeout(int ms) { timeoutMs_ = ms; }
    int ReplyTimeout() const { return timeoutMs_; }

    // The authorities certificates are checked against; empty: the
    // system's. Tests hand in their own.
    void SetTrustStore(const QList<QSslCertificate>& authorities) { authorities_ = authorities; }
    // SHA-256 (hex) of a certificate the user trusts although it fails the
    // check; empty: none.
    void SetPin(const QString& pin) { pin_ = pin; }

    // Starts connecting; a connection still open is dropped first. With
    // tls, the connection is encrypted from its first byte.
    void Open(const QString& host, quint16 port, bool tls = false);
    // Turns the open plain connection into an encrypted one (after STLS);
    // anything the server sent unencrypted before is dropped.
    void StartTls();
    bool IsEncrypted() const;
    // Drops the connection; no event of it arrives afterwards.
    void Close();
    bool IsOpen() const { return socket_ != nullptr; }

    // Sends the bytes as one write; the reply has the time-out to arrive.
    // False when there is no connection to send on.
    bool Send(const QByteArray& bytes);
    // No time-out until the next Send: the server speaks when it has news.
    void WaitWithoutTimeout();

    // Winsock-style number for a socket error.
    static int ErrorNumber(QAbstractSocket::SocketError error);
    static QString TimeoutDescription();

signals:
    // A whole reply, its bytes as they came.
    void ReplyArrived(const QByteArray& reply);
    // The connection is already closed when this arrives.
    void Failed(int number, const QString& description);
    // The server sent more than any reply can be; the connection stays open
    // for the handler to end.
    void ReplyOverlong();
    // The TLS handshake has finished.
    void Encrypted();
    // The server's certificate failed the check and is not the pinned one;
    // the connection is already closed.
    void CertificateRejected(const QSslCertificate& certificate, const QList<QSslError>& errors);

private:
    void OnReadyRead();
    void OnSocketError(QAbstractSocket::SocketError error);
    void OnSslErrors(const QList<QSslError>& errors);
    void OnTimeout();
    void Fail(int number, const QString& description);
    void Dispatch();

    QSslSocket* socket_ = nullptr;
    QList<QSslCertificate> authorities_;
    QString pin_;
    bool handshaking_ = false;
    // Even an empty certificate loads the TLS library: none before one is rejected.
    std::optional<QSslCertificate> rejected_;
    QList<QSslError> rejectedErrors_;
    QTimer timer_;
    std::unique_ptr<ReplyFramer> framer_;
    int timeoutMs_ = kDefaultReplyTimeoutMs;
    bool idle_ = false;
    // A handler of a reply may run a nested event loop (a message box); an
    // error arriving meanwhile waits until that handler has returned.
    bool dispatching_ = false;
    bool failurePending_ = false;
    int pendingNumber_ = 0;
    QString pendingDescription_;
    quint64 generation_ = 0;  // changes whenever the connection is closed
    quint64 sends_ = 0;
};

}  // namespace velmio
