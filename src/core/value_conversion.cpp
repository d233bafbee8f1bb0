#include "core/value_conversion.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace velmio {
namespace {

// The decimal number the text holds, as written.
std::optional<double> ToNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    if (!number.match(text).hasMatch()) return std::nullopt;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok) return std::nullopt;
    return v;
}

template <typename T>
std::optional<T> ToWhole(const QString& text) {
    const auto v = ToNumber(text);
    if (!v) return std::nullopt;
    const double whole = std::nearbyint(*v);  // halves to even
    if (whole < std::numeric_limits<T>::min() || whole > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(whole);
}

}  // namespace

std::optional<qint16> ToInt16(const QString& text) { return ToWhole<qint16>(text); }
std::optional<qint32> ToInt32(const QString& text) { return ToWhole<qint32>(text); }

std::optional<bool> ToFlag(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    const auto v = ToNumber(t);
    if (!v) return std::nullopt;
    return *v != 0.0;
}

}  // namespace velmio
