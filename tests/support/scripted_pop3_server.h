#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <memory>
#include <vector>

class QTcpSocket;

namespace velmio::test {

// One turn of a transcript: what the server writes, then how it goes on.
struct Pop3Turn {
    enum End { Stay, Close, Reset };
    QByteArray reply;  // may hold several replies, or nothing at all
    End end = Stay;
};

// A POP3 server on loopback that plays a transcript to every client: turn 0
// on connecting, turn i after the client's i-th line, then silence. It plays
// what no real server of the tests does: other servers' texts, replies cut
// at any byte, replies run together, silence, resets.
class ScriptedPop3Server : public QObject {
    Q_OBJECT
public:
    explicit ScriptedPop3Server(QList<Pop3Turn> script, QObject* parent = nullptr);
    ~ScriptedPop3Server() override;

    quint16 port() const { return server_.serverPort(); }

    // Each turn's bytes go out in two writes cut at this offset (-1: one write).
    void setCut(int offset) { cut_ = offset; }
    // Each turn's bytes go out one byte per write.
    void setByteByByte(bool on) { byteByByte_ = on; }

    QByteArray received() const { return received_; }
    QList<QByteArray> lines() const { return lines_; }
    int connections() const { return connections_; }
    // The latest client closed its end.
    bool clientGone() const { return clientGone_; }

    // A port on loopback where nothing listens.
    static quint16 ClosedPort();

private:
    struct Client;
    void Accept();
    void Play(Client& c, int turn);
    void WriteNext(Client& c);

    QTcpServer server_;
    QList<Pop3Turn> script_;
    std::vector<std::unique_ptr<Client>> clients_;
    int cut_ = -1;
    bool byteByByte_ = false;
    QByteArray received_;
    QList<QByteArray> lines_;
    int connections_ = 0;
    bool clientGone_ = false;
};

// The greeting and replies of a server that lists `count` messages with the
// given first line of LIST ("+OK %1 messages:" style; %1 is the count).
QList<Pop3Turn> NormalTranscript(const QByteArray& listFirstLine, int count,
                                 const QByteArray& greeting = "+OK ready\r\n");

// A listing body for count messages: scan lines and the "." line.
QByteArray ScanListing(int count);

}  // namespace velmio::test
