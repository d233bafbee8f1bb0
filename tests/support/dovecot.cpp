#include "support/dovecot.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QTcpSocket>

namespace velmio::test {

std::optional<quint16> Dovecot::Port(const char* variable) {
    const int port = qEnvironmentVariableIntValue(variable);
    if (port <= 0 || port > 65535) return std::nullopt;
    return quint16(port);
}

QList<QSslCertificate> Dovecot::Authority() {
    return QSslCertificate::fromPath(qEnvironmentVariable("VELMIO_TEST_CA"));
}

bool Dovecot::SetMessageCount(const QString& user, int count) {
    const QDir maildir(qEnvironmentVariable("VELMIO_POP3_DIR") + "/mail/" + user + "/Maildir");
    if (!maildir.exists("cur") || !maildir.exists("new")) return false;
    QStringList present;
    for (const QString sub : {"cur/", "new/"})
        for (const QString& f : QDir(maildir.filePath(sub)).entryList(QDir::Files))
            present << maildir.filePath(sub + f);
    while (present.size() > count) QFile::remove(present.takeLast());
    static int serial = 0;
    for (qsizetype i = present.size(); i < count; ++i) {
        QFile f(maildir.filePath(QStringLiteral("new/%1.M%2P%3.velmio-test")
                                     .arg(QDateTime::currentSecsSinceEpoch())
                                     .arg(++serial)
                                     .arg(QCoreApplication::applicationPid())));
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write("From: test@example.org\r\nSubject: test " + QByteArray::number(serial) + "\r\n\r\nHello.\r\n");
    }
    return true;
}

Pop3Tap::Pop3Tap(quint16 serverPort) {
    listener_.listen(QHostAddress::LocalHost, 0);
    connect(&listener_, &QTcpServer::newConnection, this, [this, serverPort] {
        while (QTcpSocket* client = listener_.nextPendingConnection()) {
            auto* server = new QTcpSocket(client);
            server->connectToHost(QHostAddress::LocalHost, serverPort);
            connect(client, &QTcpSocket::readyRead, this, [this, client, server] {
                const QByteArray b = client->readAll();
                sent += b;
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
