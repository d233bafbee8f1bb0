#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

namespace velmio {

using FormFields = QList<QPair<QString, QString>>;

// Posts a form (application/x-www-form-urlencoded) and hands the reply's
// body to done, whatever its status: OAuth endpoints tell their errors in
// the body of a 400. done runs once, unless AbortPost comes first; an
// endpoint silent for timeoutMs gives an empty body and an error.
QNetworkReply* PostForm(QNetworkAccessManager& net, const QUrl& url, const FormFields& fields,
                        std::function<void(const QByteArray& body, const QString& error)> done,
                        int timeoutMs = 30000);

// Stops a post; its done never runs.
void AbortPost(QNetworkReply* reply);

}  // namespace velmio
