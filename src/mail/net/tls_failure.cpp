#include "mail/net/tls_failure.h"

namespace velmio {
namespace {

// "Error during SSL handshake: error:0A00010B:SSL routines::wrong version
// number" becomes "wrong version number".
QString LastPart(const QString& detail) {
    const qsizetype colon = detail.lastIndexOf(QLatin1Char(':'));
    return (colon < 0 ? detail : detail.mid(colon + 1)).trimmed();
}

}  // namespace

QString TlsFailureReason(QAbstractSocket::SocketError error, const QString& detail) {
    const QString part = LastPart(detail);
    const QString d = detail.toLower();
    QString words;
    if (error == QAbstractSocket::RemoteHostClosedError || d.contains(QLatin1String("unexpected eof"))) {
        words = QStringLiteral("暗号化の途中でサーバーが接続を切りました");
    } else if (d.contains(QLatin1String("wrong version number")) || d.contains(QLatin1String("packet length")) ||
               d.contains(QLatin1String("record layer"))) {
        words = QStringLiteral("サーバーがTLSで答えませんでした（ポートと暗号化の組み合わせを確かめてね）");
    } else if (d.contains(QLatin1String("protocol version")) || d.contains(QLatin1String("unsupported protocol")) ||
               d.contains(QLatin1String("no protocols"))) {
        words = QStringLiteral("サーバーと使えるTLSの版が合いませんでした");
    } else if (d.contains(QLatin1String("alert"))) {
        words = QStringLiteral("サーバーが暗号化を断りました");
    } else {
        words = QStringLiteral("暗号化した接続を始められませんでした");
    }
    return part.isEmpty() || error == QAbstractSocket::RemoteHostClosedError ? words : words + " (" + part + ")";
}

}  // namespace velmio
