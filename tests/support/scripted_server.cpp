#include "support/scripted_server.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTimer>
#include <sys/socket.h>

namespace velmio::test {

ScriptedServer::ScriptedServer(QList<ScriptedTurn> script, quint16 port) : script_(std::move(script)) {
    if (port) server_.listen(QHostAddress::LocalHost, port);
    for (int p = 20000 + QRandomGenerator::global()->bounded(12000); p < 32768 && !server_.isListening(); ++p)
        server_.listen(QHostAddress::LocalHost, quint16(p));
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            ++connections_;
            if (client_) client_->deleteLater();  // one client at a time; a long run keeps no old ones
            client_ = s;
            clientGone_ = false;
            partial_.clear();
            pending_.clear();
            linesSeen_ = 0;
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                partial_ += s->readAll();
                for (qsizetype nl; (nl = partial_.indexOf('\n')) >= 0;) {
                    // A copy: a whole read handed on as is would keep its 16 KiB buffer.
                    lines_ << QByteArray(partial_.constData(), nl + 1);
                    partial_.remove(0, nl + 1);
                    Play(++linesSeen_);
                }
            });
            // Told apart by number: a socket may disconnect while it is being destroyed.
            connect(s, &QTcpSocket::disconnected, this, [this, serial = connections_] {
                if (serial == connections_) clientGone_ = true;
            });
            Play(0);
        }
    });
}

namespace {

QByteArray DataFile(const char* name) {
    QFile f(QStringLiteral(VELMIO_SOURCE_DIR "/tests/data/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

QSslCertificate ScriptedServer::Certificate() { return QSslCertificate(DataFile("scripted-tls.pem")); }

// Writes before the handshake ends wait in the socket until it has.
void ScriptedServer::Listener::incomingConnection(qintptr descriptor) {
    auto* s = new QSslSocket(this);
    if (!s->setSocketDescriptor(descriptor)) {
        delete s;
        return;
    }
    if (tls) {
        s->setLocalCertificate(Certificate());
        s->setPrivateKey(QSslKey(DataFile("scripted-tls.key"), QSsl::Ec));
        s->startServerEncryption();
    }
    addPendingConnection(s);
}

quint16 ScriptedServer::ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();  // and closed as the probe goes
}

void ScriptedServer::Play(int turn) {
    if (turn >= script_.size()) return;
    const QByteArray& b = script_[turn].reply;
    if (cut_ == 0) {
        for (char ch : b) pending_ << QByteArray(1, ch);
    } else if (cut_ > 0 && cut_ < b.size()) {
        pending_ << b.left(cut_) << b.mid(cut_);
    } else if (!b.isEmpty()) {
        pending_ << b;
    }
    end_ = script_[turn].end;
    if (!writing_) WriteNext();
}

// One chunk per pass through the event loop, with a pause, so that the
// client sees them in separate reads.
void ScriptedServer::WriteNext() {
    writing_ = client_ && !pending_.isEmpty();
    if (writing_) {
        client_->write(pending_.takeFirst());
        client_->flush();
        QTimer::singleShot(pending_.isEmpty() ? 0 : 3, this, [this] { WriteNext(); });
    } else if (client_ && end_ == ScriptedTurn::Close) {
        client_->disconnectFromHost();
    } else if (client_ && end_ == ScriptedTurn::Reset) {
        linger l{1, 0};  // linger 0 makes the close a reset
        ::setsockopt(int(client_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
        client_->abort();
    }
}

QList<ScriptedTurn> NormalTranscript(const QByteArray& listFirstLine, int count, const QByteArray& greeting) {
    QByteArray list = QByteArray(listFirstLine).replace("%1", QByteArray::number(count)) + "\r\n";
    for (int i = 1; i <= count; ++i) list += QByteArray::number(i) + ' ' + QByteArray::number(1000 + i) + "\r\n";
    return {{greeting},
            {"+OK\r\n"},
            {"+OK Logged in.\r\n"},
            {list + ".\r\n"},
            {"+OK Logging out.\r\n", ScriptedTurn::Close}};
}

}  // namespace velmio::test
