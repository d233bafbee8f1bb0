#include "mail/auth/token_request.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace velmio {

QNetworkReply* PostForm(QNetworkAccessManager& net, const QUrl& url, const FormFields& fields,
                        std::function<void(const QByteArray&, const QString&)> done, int timeoutMs) {
    // Encoded by hand: a '+' in a token must arrive as a plus, not a blank.
    QByteArray form;
    for (const auto& [name, value] : fields) {
        if (!form.isEmpty()) form += '&';
        form += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    // A secret in the body follows no redirect.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = net.post(request, form);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
        reply->deleteLater();
        const QByteArray body = reply->readAll();
        done(body, reply->error() == QNetworkReply::NoError ? QString() : reply->errorString());
    });
    return reply;
}

void AbortPost(QNetworkReply* reply) {
    if (!reply) return;
    reply->disconnect();
    reply->abort();
    reply->deleteLater();
}

}  // namespace velmio
