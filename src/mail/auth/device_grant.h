#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "mail/auth/oauth_endpoint.h"
#include "mail/auth/token_response.h"

class QNetworkAccessManager;

namespace velmio {

// One sign-in by the OAuth 2.0 device authorization grant (RFC 8628): asks
// for a code, then polls the token endpoint as the server says until the
// user has signed in in the browser, said no, or the code ran out.
class DeviceGrant : public QObject {
    Q_OBJECT
public:
    // msPerSecond: how long a second of the server's intervals lasts (tests
    // shorten it).
    DeviceGrant(QNetworkAccessManager& net, OAuthEndpoint endpoint, int msPerSecond = 1000,
                QObject* parent = nullptr);
    ~DeviceGrant() override;

    void Start();
    // Stops asking and polling; nothing more is emitted.
    void Cancel();
    // Seconds between polls now, after any slow_down.
    int Interval() const { return interval_; }

signals:
    // The code to show and where to enter it.
    void CodeReady(const DeviceCode& code);
    // Each poll's answer while it goes on (Pending, SlowDown).
    void Polled(TokenReply::Kind kind);
    // The end: Granted with the tokens, or why not.
    void Finished(const TokenReply& reply);

private:
    void Poll();
    void End(const TokenReply& reply);

    QNetworkAccessManager& net_;
    OAuthEndpoint endpoint_;
    int msPerSecond_;
    DeviceCode code_;
    int interval_ = 5;
    qint64 deadline_ = 0;  // msecs since the epoch when the code runs out
    QTimer next_;
    QPointer<QNetworkReply> asking_;
    bool ended_ = false;
};

}  // namespace velmio
