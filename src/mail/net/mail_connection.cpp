#include "mail/net/mail_connection.h"

#include <QCryptographicHash>
#include <QSslConfiguration>
#include <QSslSocket>

#include "mail/net/tls_failure.h"

namespace velmio {

MailConnection::MailConnection(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &MailConnection::OnTimeout);
}

MailConnection::~MailConnection() { Close(); }

int MailConnection::ErrorNumber(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::HostNotFoundError: return kHostNotFound;
    case QAbstractSocket::ConnectionRefusedError: return kConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError: return kConnectionReset;
    case QAbstractSocket::SocketTimeoutError: return kTimedOut;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::NetworkError: return 10065;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045;
    default: return 10000;
    }
}

QString MailConnection::TimeoutDescription() {
    return QStringLiteral("サーバーから応答がありませんでした");
}

void MailConnection::Open(const QString& host, quint16 port, bool tls) {
    Close();
    socket_ = new QSslSocket(this);
    connect(socket_, &QSslSocket::readyRead, this, &MailConnection::OnReadyRead);
    connect(socket_, &QSslSocket::errorOccurred, this, &MailConnection::OnSocketError);
    connect(socket_, &QSslSocket::sslErrors, this, &MailConnection::OnSslErrors);
    connect(socket_, &QSslSocket::encrypted, this, [this] {
        handshaking_ = false;
        emit Encrypted();
    });
    // Qt's checks stay as they are; only the authorities can be swapped.
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    if (!authorities_.isEmpty()) config.setCaCertificates(authorities_);
    socket_->setSslConfiguration(config);
    idle_ = false;
    rejected_.reset();
    rejectedErrors_.clear();
    timer_.start(timeoutMs_);
    handshaking_ = tls;
    if (tls) {
        socket_->connectToHostEncrypted(host, port);
    } else {
        socket_->connectToHost(host, port);
    }
}

void MailConnection::StartTls() {
    if (!socket_) return;
    framer_->Clear();  // nothing sent before the handshake may pass for a reply after it
    socket_->readAll();
    handshaking_ = true;
    ++sends_;
    timer_.start(timeoutMs_);
    socket_->startClientEncryption();
}

bool MailConnection::IsEncrypted() const { return socket_ && socket_->isEncrypted(); }

void MailConnection::OnSslErrors(const QList<QSslError>& errors) {
    const QSslCertificate peer = socket_->peerCertificate();
    const QString digest = QString::fromLatin1(peer.digest(QCryptographicHash::Sha256).toHex());
    if (!peer.isNull() && !pin_.isEmpty() && digest.compare(pin_, Qt::CaseInsensitive) == 0) {
        socket_->ignoreSslErrors(errors);  // exactly these, for this certificate
        return;
    }
    // Left unignored, the handshake fails next; the error handler reports it.
    rejected_ = peer;
    rejectedErrors_ = errors;
}

void MailConnection::Close() {
    timer_.stop();
    framer_->Clear();
    ++generation_;
    dispatching_ = false;
    failurePending_ = false;
    if (!socket_) return;
    handshaking_ = false;
    QSslSocket* s = socket_;
    socket_ = nullptr;
    s->disconnect(this);
    s->flush();  // a command written just before still leaves
    s->abort();
    s->deleteLater();
}

bool MailConnection::Send(const QByteArray& bytes) {
    if (!socket_) return false;
    if (socket_->write(bytes) != bytes.size()) return false;
    ++sends_;
    idle_ = false;
    timer_.start(timeoutMs_);
    return true;
}

void MailConnection::WaitWithoutTimeout() {
    idle_ = true;
    timer_.stop();
}

void MailConnection::OnReadyRead() {
    if (!socket_) return;
    framer_->Append(socket_->readAll());
    // While a handler runs, its dispatch loop picks the new data up.
    if (!dispatching_) Dispatch();
}

void MailConnection::Dispatch() {
    const quint64 generation = generation_;
    dispatching_ = true;
    for (;;) {
        const auto reply = framer_->TakeReply();
        if (!reply) break;
        // No time-out while the handler runs; sending restarts the wait, and
        // a reply that is ignored leaves the old deadline standing.
        const int remaining = timer_.remainingTime();
        timer_.stop();
        const quint64 sends = sends_;
        emit ReplyArrived(*reply);
        if (generation != generation_) return;  // closed or replaced by the handler
        if (sends == sends_ && !failurePending_ && !idle_) timer_.start(remaining < 0 ? timeoutMs_ : remaining);
    }
    dispatching_ = false;
    if (framer_->Overlong() && !failurePending_) {
        timer_.stop();
        framer_->Clear();
        emit ReplyOverlong();
        return;
    }
    if (failurePending_) {
        failurePending_ = false;
        Fail(pendingNumber_, pendingDescription_);
    }
}

void MailConnection::OnSocketError(QAbstractSocket::SocketError error) {
    if (!socket_) return;
    if (!rejectedErrors_.isEmpty()) {
        const QSslCertificate certificate = rejected_.value_or(QSslCertificate());
        const QList<QSslError> errors = rejectedErrors_;
        Close();
        emit CertificateRejected(certificate, errors);
        return;
    }
    // A connection that never got made is a socket error like any other.
    const bool tlsError = error == QAbstractSocket::SslHandshakeFailedError ||
                          error == QAbstractSocket::RemoteHostClosedError ||
                          error == QAbstractSocket::SslInternalError ||
                          error == QAbstractSocket::SslInvalidUserDataError;
    if (handshaking_ && tlsError) {
        Fail(kTlsFailed, TlsFailureReason(error, socket_->errorString()));
        return;
    }
    Fail(ErrorNumber(error), socket_->errorString());
}

void MailConnection::OnTimeout() {
    if (!socket_) return;
    Fail(kTimedOut, TimeoutDescription());
}

void MailConnection::Fail(int number, const QString& description) {
    if (dispatching_) {
        if (!failurePending_) {
            failurePending_ = true;
            pendingNumber_ = number;
            pendingDescription_ = description;
        }
        timer_.stop();
        return;
    }
    Close();
    emit Failed(number, description);
}

}  // namespace velmio
