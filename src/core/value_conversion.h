#pragma once

#include <QString>
#include <optional>

namespace velmio {

// A decimal number, optionally signed, possibly with a fraction; the
// fraction goes to the nearest whole number with halves to the even one.
// Nothing when the text is not such a number or the result is out of range.
std::optional<qint16> ToInt16(const QString& text);
std::optional<qint32> ToInt32(const QString& text);

// Empty text is off; numbers are on when non-zero; True and False in any
// case. Nothing for any other text.
std::optional<bool> ToFlag(const QString& text);

inline QString FlagText(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace velmio
