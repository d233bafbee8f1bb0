#pragma once

#include <QAbstractSocket>
#include <QString>

namespace velmio {

// A short reason, in words, for a TLS connection that could not be made;
// detail is the socket's own error text, shortened to its last part.
QString TlsFailureReason(QAbstractSocket::SocketError error, const QString& detail);

}  // namespace velmio
