#pragma once

#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTcpSocket>

namespace velmio::test {

// One turn of a transcript: what the server writes (several replies, or
// nothing at all), then how it goes on.
struct ScriptedTurn {
    enum End { Stay, Close, Reset };
    QByteArray reply;
    End end = Stay;
};

// A mail server (POP3 or IMAP) on loopback that plays a transcript to each client in turn:
// turn 0 on connecting, turn i after the client's i-th line, then silence.
// It plays what no real server of the tests does: other servers' texts,
// replies cut at any byte, replies run together, silence, resets.
class ScriptedServer : public QObject {
public:
    // port 0: any free port.
    explicit ScriptedServer(QList<ScriptedTurn> script, quint16 port = 0);
    // Below 32768, so that it also fits the Port setting of velmio.ini.
    quint16 port() const { return server_.serverPort(); }
    // Each turn's bytes go out in two writes cut at this offset; 0: one byte per write.
    void setCut(int offset) { cut_ = offset; }
    // The transcript for the next client.
    void setScript(QList<ScriptedTurn> script) { script_ = std::move(script); }
    // From the next client on, TLS from the first byte with the certificate
    // of tests/data/scripted-tls.pem (a client trusts it by Certificate()'s pin).
    void setTls(bool on) { server_.tls = on; }
    static QSslCertificate Certificate();
    // The lines clients sent, in order.
    QList<QByteArray> lines() const { return lines_; }
    int connections() const { return connections_; }
    // The latest client closed its end.
    bool clientGone() const { return clientGone_; }
    // A port on loopback where nothing listens.
    static quint16 ClosedPort();

private:
    void Play(int turn);
    void WriteNext();

    QList<ScriptedTurn> script_;
    int cut_ = -1;
    QList<QByteArray> lines_;
    int connections_ = 0;
    bool clientGone_ = false;
    // The latest client and what is still to be written to it.
    QPointer<QTcpSocket> client_;
    QByteArray partial_;
    int linesSeen_ = 0;
    QList<QByteArray> pending_;
    ScriptedTurn::End end_ = ScriptedTurn::Stay;
    bool writing_ = false;
    // Hands out QSslSocket, encrypting when asked to.
    struct Listener : QTcpServer {
        bool tls = false;
        void incomingConnection(qintptr descriptor) override;
    };
    Listener server_;  // last, so that its sockets go first
};

// A whole session with a mailbox of count messages; listFirstLine is the
// first line of the reply to LIST, "%1" standing for the count.
QList<ScriptedTurn> NormalTranscript(const QByteArray& listFirstLine, int count,
                                 const QByteArray& greeting = "+OK ready\r\n");

}  // namespace velmio::test
