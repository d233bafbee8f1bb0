#include "core/value_conversion.h"

#include <cmath>
#include <limits>

namespace velmio {
namespace {

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r')); }
bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The decimal number the text holds, as written: ASCII blanks, a sign,
// digits with at most one point and at least one digit. Scanned by hand, as
// a regular expression would load PCRE at start-up for this alone.
std::optional<double> ToNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto skip = [&](auto which) {
        const qsizetype from = i;
        while (i < n && which(text[i])) ++i;
        return i - from;
    };
    skip(IsBlank);
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    qsizetype digits = skip(IsDigit);
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        digits += skip(IsDigit);
    }
    skip(IsBlank);
    if (digits == 0 || i != n) return std::nullopt;
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
