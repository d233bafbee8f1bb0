#include "support/token_endpoint.h"

#include <QTcpSocket>

namespace velmio::test {

TokenEndpoint::TokenEndpoint() {
    server_.listen(QHostAddress::LocalHost);
    clock_.start();
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            connect(s, &QTcpSocket::readyRead, this, [this, s] { Serve(s); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });
}

QString TokenEndpoint::authority() const {
    return QStringLiteral("http://127.0.0.1:%1/tenant").arg(server_.serverPort());
}

QList<TokenEndpoint::Request> TokenEndpoint::to(const QString& end) const {
    QList<Request> found;
    for (const Request& r : requests)
        if (r.path.endsWith(end)) found << r;
    return found;
}

void TokenEndpoint::Serve(QTcpSocket* s) {
    const QByteArray got = s->peek(s->bytesAvailable());
    const qsizetype headEnd = got.indexOf("\r\n\r\n");
    if (headEnd < 0) return;
    const QByteArray head = got.left(headEnd).toLower();
    const qsizetype at = head.indexOf("content-length:");
    const int length = at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toInt();
    if (got.size() < headEnd + 4 + length) return;
    s->readAll();
    const QString path = QString::fromLatin1(got.split(' ').value(1));
    QUrlQuery form(QString::fromLatin1(got.mid(headEnd + 4, length)).replace('+', ' '));
    requests << Request{path, form, clock_.elapsed()};
    QList<QByteArray>& answers = path.endsWith(QLatin1String("/devicecode")) ? deviceCode : token;
    const QByteArray body = answers.size() > 1 ? answers.takeFirst() : answers.value(0);
    const QByteArray status = body.contains("\"error\"") ? "400 Bad Request" : "200 OK";
    s->write("HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " +
             QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    s->disconnectFromHost();
}

QByteArray DeviceCodeBody(const TokenEndpoint& e, int intervalSecs, int expiresSecs) {
    return QStringLiteral(R"({"device_code":"dev-123","user_code":"VELM-1O2K","verification_uri":"%1/device",)"
                          R"("expires_in":%2,"interval":%3})")
        .arg(e.authority())
        .arg(expiresSecs)
        .arg(intervalSecs)
        .toUtf8();
}

QByteArray GrantedBody(const QByteArray& access, const QByteArray& refresh, int expiresSecs) {
    return R"({"token_type":"Bearer","access_token":")" + access + R"(","refresh_token":")" + refresh +
           R"(","expires_in":)" + QByteArray::number(expiresSecs) + "}";
}

QByteArray ErrorBody(const QByteArray& error) { return R"({"error":")" + error + R"(","error_description":"x"})"; }

}  // namespace velmio::test
