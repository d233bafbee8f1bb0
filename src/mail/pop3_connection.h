#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "mail/pop3_reply_buffer.h"

class QTcpSocket;

namespace velmio {

// The TCP side of a POP3 session: connects, sends lines, hands over whole
// replies, and turns every way the connection can fail into one error event
// with a Winsock-style number and a description.
class Pop3Connection : public QObject {
    Q_OBJECT
public:
    static constexpr int kHostNotFound = 11001;
    static constexpr int kConnectionReset = 10054;
    static constexpr int kTimedOut = 10060;
    static constexpr int kConnectionRefused = 10061;
    static constexpr int kDefaultReplyTimeoutMs = 60000;

    explicit Pop3Connection(QObject* parent = nullptr);
    ~Pop3Connection() override;

    // How long the connection and each reply may take.
    void SetReplyTimeout(int ms) { timeoutMs_ = ms; }
    int ReplyTimeout() const { return timeoutMs_; }

    // Starts connecting; a connection still open is dropped first.
    void Open(const QString& host, quint16 port);
    // Drops the connection; no event of it arrives afterwards.
    void Close();
    bool IsOpen() const { return socket_ != nullptr; }

    // Sends text + CR LF in code page 932 as one write. listingReply says
    // that the reply runs to a "." line when it is positive. False when
    // there is no connection to send on.
    bool SendLine(const QString& text, bool listingReply = false);

    // Winsock-style number for a socket error.
    static int ErrorNumber(QAbstractSocket::SocketError error);
    static QString TimeoutDescription();

signals:
    void ReplyArrived(const QString& reply);
    // The connection is already closed when this arrives.
    void Failed(int number, const QString& description);
    // The server sent more than any reply can be; the connection stays open
    // for the handler to end.
    void ReplyOverlong();

private:
    void OnReadyRead();
    void OnSocketError(QAbstractSocket::SocketError error);
    void OnTimeout();
    void Fail(int number, const QString& description);
    void Dispatch();

    QTcpSocket* socket_ = nullptr;
    QTimer timer_;
    Pop3ReplyBuffer buffer_;
    int timeoutMs_ = kDefaultReplyTimeoutMs;
    bool listing_ = false;
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
