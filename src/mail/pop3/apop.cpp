#include "mail/pop3/apop.h"

#include <QCryptographicHash>

namespace velmio {

QByteArray ApopTimestamp(const QByteArray& greeting) {
    // Only the greeting's first line counts; a timestamp is one unbroken
    // "<...>" without blanks or control characters inside.
    const qsizetype lineEnd = greeting.indexOf('\n');
    const QByteArray line = lineEnd < 0 ? greeting : greeting.left(lineEnd);
    const qsizetype open = line.indexOf('<');
    if (open < 0) return {};
    const qsizetype close = line.indexOf('>', open + 1);
    if (close < 0) return {};
    QByteArray stamp = line.mid(open, close - open + 1);
    for (qsizetype i = 1; i + 1 < stamp.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(stamp[i]);
        if (c <= ' ' || c == 0x7f || c == '<') return {};
    }
    if (stamp.size() < 3) return {};
    return stamp;
}

QByteArray ApopDigest(const QByteArray& timestamp, const QByteArray& password) {
    return QCryptographicHash::hash(timestamp + password, QCryptographicHash::Md5).toHex();
}

}  // namespace velmio
