#include "support/scripted_pop3_server.h"

#include <QPointer>
#include <QRandomGenerator>
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

ScriptedPop3Server::ScriptedPop3Server(QList<Pop3Turn> script) : script_(std::move(script)) {
    for (int p = 20000 + QRandomGenerator::global()->bounded(12000); p < 32768 && !server_.isListening(); ++p)
        server_.listen(QHostAddress::LocalHost, quint16(p));
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            clientGone_ = false;
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            clients_.push_back(std::make_unique<Client>());
            Client* c = clients_.back().get();
            c->socket = s;
            connect(s, &QTcpSocket::readyRead, this, [this, c] {
                c->partial += c->socket->readAll();
                for (qsizetype nl; (nl = c->partial.indexOf('\n')) >= 0;) {
                    lines_ << c->partial.left(nl + 1);
                    c->partial.remove(0, nl + 1);
                    Play(*c, ++c->linesSeen);
                }
            });
            connect(s, &QTcpSocket::disconnected, this, [this] { clientGone_ = true; });
            Play(*c, 0);
        }
    });
}

ScriptedPop3Server::~ScriptedPop3Server() {
    for (auto& c : clients_)
        if (c->socket) c->socket->abort();
}

quint16 ScriptedPop3Server::ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();  // and closed as the probe goes
}

void ScriptedPop3Server::Play(Client& c, int turn) {
    if (turn >= script_.size()) return;
    const QByteArray& b = script_[turn].reply;
    if (cut_ == 0) {
        for (char ch : b) c.pending << QByteArray(1, ch);
    } else if (cut_ > 0 && cut_ < b.size()) {
        c.pending << b.left(cut_) << b.mid(cut_);
    } else if (!b.isEmpty()) {
        c.pending << b;
    }
    c.end = script_[turn].end;
    if (!c.writing) WriteNext(c);
}

// One chunk per pass through the event loop, with a pause, so that the
// client sees them in separate reads.
void ScriptedPop3Server::WriteNext(Client& c) {
    if (!c.socket) return;
    c.writing = !c.pending.isEmpty();
    if (c.writing) {
        c.socket->write(c.pending.takeFirst());
        c.socket->flush();
        QTimer::singleShot(c.pending.isEmpty() ? 0 : 3, this, [this, cp = &c] { WriteNext(*cp); });
    } else if (c.end == Pop3Turn::Close) {
        c.socket->disconnectFromHost();
    } else if (c.end == Pop3Turn::Reset) {
        linger l{1, 0};  // linger 0 makes the close a reset
        ::setsockopt(int(c.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
        c.socket->abort();
    }
}

QList<Pop3Turn> NormalTranscript(const QByteArray& listFirstLine, int count, const QByteArray& greeting) {
    QByteArray list = QByteArray(listFirstLine).replace("%1", QByteArray::number(count)) + "\r\n";
    for (int i = 1; i <= count; ++i) list += QByteArray::number(i) + ' ' + QByteArray::number(1000 + i) + "\r\n";
    return {{greeting},
            {"+OK\r\n"},
            {"+OK Logged in.\r\n"},
            {list + ".\r\n"},
            {"+OK Logging out.\r\n", Pop3Turn::Close}};
}

}  // namespace velmio::test
