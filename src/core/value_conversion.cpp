#include "core/value_conversion.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace velmio {
namespace {

std::optional<double> ToNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    if (!number.match(text).hasMatch()) return std::nullopt;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok) return std::nullopt;
    return std::nearbyint(v);  // halves to even
}

template <typename T>
std::optional<T> ToWhole(const QString& text) {
    const auto v = ToNumber(text);
    if (!v || *v < std::numeric_limits<T>::min() || *v > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(*v);
}

}  // namespace

std::optional<qint16> ToInt16(const QString& text) { return ToWhole<qint16>(text); }
std::optional<qint32> ToInt32(const QString& text) { return ToWhole<qint32>(text); }

std::optional<bool> ToFlag(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$"));
    if (!number.match(t).hasMatch()) return std::nullopt;
    return t.toDouble() != 0.0;
}

}  // namespace velmio
