#include "support/scripted_pop3_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>

namespace velmio::test {

struct ScriptedPop3Server::Client {
    QPointer<QTcpSocket> socket;
    QByteArray partial;
    int linesSeen = 0;
    QList<QByteArray> pending;  // chunks still to write
    Pop3Turn::End end = Pop3Turn::Stay;
    bool writing = false;
};

ScriptedPop3Server::ScriptedPop3Server(QList<Pop3Turn> script, QObject* parent)
    : QObject(parent), script_(std::move(script)) {
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedPop3Server::Accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

ScriptedPop3Server::~ScriptedPop3Server() {
    for (auto& c : clients_)
        if (c->socket) c->socket->abort();
}

quint16 ScriptedPop3Server::ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void ScriptedPop3Server::Accept() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        ++connections_;
        clientGone_ = false;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        clients_.push_back(std::make_unique<Client>());
        Client* c = clients_.back().get();
        c->socket = s;
        connect(s, &QTcpSocket::readyRead, this, [this, c] {
            const QByteArray bytes = c->socket->readAll();
            received_ += bytes;
            c->partial += bytes;
            qsizetype nl;
            while ((nl = c->partial.indexOf('\n')) >= 0) {
                lines_ << c->partial.left(nl + 1);
                c->partial.remove(0, nl + 1);
                Play(*c, ++c->linesSeen);
            }
        });
        connect(s, &QTcpSocket::disconnected, this, [this] { clientGone_ = true; });
        Play(*c, 0);
    }
}

void ScriptedPop3Server::Play(Client& c, int turn) {
    if (turn >= script_.size()) return;
    const Pop3Turn& t = script_[turn];
    const QByteArray& b = t.reply;
    if (byteByByte_) {
        for (char ch : b) c.pending << QByteArray(1, ch);
    } else if (cut_ > 0 && cut_ < b.size()) {
        c.pending << b.left(cut_) << b.mid(cut_);
    } else if (!b.isEmpty()) {
        c.pending << b;
    }
    c.end = t.end;
    if (!c.writing) WriteNext(c);
}

// One chunk per pass through the event loop, with a pause, so that the
// client sees them in separate reads.
void ScriptedPop3Server::WriteNext(Client& c) {
    if (!c.socket) return;
    if (c.pending.isEmpty()) {
        c.writing = false;
        if (c.end == Pop3Turn::Close) {
            c.socket->disconnectFromHost();
        } else if (c.end == Pop3Turn::Reset) {
            // Linger 0 makes the close a reset.
            linger l{1, 0};
            ::setsockopt(static_cast<int>(c.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l,
                         sizeof l);
            c.socket->abort();
        }
        return;
    }
    c.writing = true;
    c.socket->write(c.pending.takeFirst());
    c.socket->flush();
    Client* cp = &c;
    QTimer::singleShot(c.pending.isEmpty() ? 0 : 3, this, [this, cp] { WriteNext(*cp); });
}

QByteArray ScanListing(int count) {
    QByteArray body;
    for (int i = 1; i <= count; ++i) body += QByteArray::number(i) + ' ' + QByteArray::number(1000 + i) + "\r\n";
    return body + ".\r\n";
}

QList<Pop3Turn> NormalTranscript(const QByteArray& listFirstLine, int count, const QByteArray& greeting) {
    QByteArray first = listFirstLine;
    first.replace("%1", QByteArray::number(count));
    return {{greeting},
            {"+OK\r\n"},
            {"+OK Logged in.\r\n"},
            {first + "\r\n" + ScanListing(count)},
            {"+OK Logging out.\r\n", Pop3Turn::Close}};
}

}  // namespace velmio::test
