#pragma once

#include <QByteArray>

namespace velmio {

// The "<...>" part of a server greeting, angle brackets included; empty when
// the greeting carries none (the server then offers no APOP).
QByteArray ApopTimestamp(const QByteArray& greeting);

// MD5 of the timestamp followed by the password, as 32 lowercase hex digits.
QByteArray ApopDigest(const QByteArray& timestamp, const QByteArray& password);

}  // namespace velmio
