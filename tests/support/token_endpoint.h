#pragma once

#include <QElapsedTimer>
#include <QMap>
#include <QTcpServer>
#include <QUrlQuery>

namespace velmio::test {

// An OAuth endpoint on loopback, a few lines of HTTP: each path answers the
// bodies it is given in turn (the last one again and again), with status 400
// for a body that holds an error, as the Microsoft identity platform does.
class TokenEndpoint : public QObject {
public:
    TokenEndpoint();
    // The authority to put into OAuthAuthority.
    QString authority() const;
    // Answers for the device code request and for the token endpoint.
    QList<QByteArray> deviceCode, token;
    // Each request: its path and form, and when it came (ms since the start).
    struct Request {
        QString path;
        QUrlQuery form;
        qint64 at;
    };
    QList<Request> requests;
    // The requests to a path ending in this.
    QList<Request> to(const QString& end) const;

private:
    void Serve(QTcpSocket* socket);
    QTcpServer server_;
    QElapsedTimer clock_;
};

// A device code answer whose verification address is on the endpoint itself.
QByteArray DeviceCodeBody(const TokenEndpoint& endpoint, int intervalSecs = 1, int expiresSecs = 900);
// A granted token, good for expiresSecs.
QByteArray GrantedBody(const QByteArray& access, const QByteArray& refresh, int expiresSecs = 3600);
QByteArray ErrorBody(const QByteArray& error);

}  // namespace velmio::test
