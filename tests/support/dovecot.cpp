#include "support/dovecot.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTcpSocket>

namespace velmio::test {

std::optional<quint16> Dovecot::Port() {
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("VELMIO_POP3_PORT", &ok);
    if (!ok || port <= 0 || port > 65535) return std::nullopt;
    return static_cast<quint16>(port);
}

QString Dovecot::Folder() { return qEnvironmentVariable("VELMIO_POP3_DIR"); }

bool Dovecot::SetMessageCount(const QString& user, int count) {
    const QString maildir = Folder() + QStringLiteral("/mail/") + user + QStringLiteral("/Maildir");
    QDir cur(maildir + QStringLiteral("/cur"));
    QDir fresh(maildir + QStringLiteral("/new"));
    if (!cur.exists() || !fresh.exists()) return false;
    QStringList present;
    for (const QString& f : cur.entryList(QDir::Files)) present << cur.filePath(f);
    for (const QString& f : fresh.entryList(QDir::Files)) present << fresh.filePath(f);
    while (present.size() > count) QFile::remove(present.takeLast());
    static int serial = 0;
    for (qsizetype i = present.size(); i < count; ++i) {
        const QString name = QStringLiteral("%1.M%2P%3.velmio-test")
                                 .arg(QDateTime::currentSecsSinceEpoch())
                                 .arg(++serial)
                                 .arg(QCoreApplication::applicationPid());
        QFile f(fresh.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write("From: test@example.org\r\nSubject: test " + QByteArray::number(serial) +
                "\r\n\r\nHello.\r\n");
    }
    return true;
}

Pop3Tap::Pop3Tap(quint16 serverPort, QObject* parent) : QObject(parent), serverPort_(serverPort) {
    listener_.listen(QHostAddress::LocalHost, 0);
    connect(&listener_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* client = listener_.nextPendingConnection()) {
            auto* server = new QTcpSocket(client);
            server->connectToHost(QHostAddress::LocalHost, serverPort_);
            connect(client, &QTcpSocket::readyRead, this, [this, client, server] {
                const QByteArray b = client->readAll();
                sent_ += b;
                server->write(b);
            });
            connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
            connect(server, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
            connect(client, &QTcpSocket::disconnected, client, [client, server] {
                server->disconnectFromHost();
                client->deleteLater();
            });
        }
    });
}

}  // namespace velmio::test
