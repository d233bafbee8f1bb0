#include "platform/relative_path.h"

#include <QDir>

namespace velmio {

QString ResolveRelativeTo(const QString& base, const QString& path) {
    if (base.isEmpty() || path.isEmpty() || QDir::isAbsolutePath(path)) return path;
    return QDir::cleanPath(base + QLatin1Char('/') + path);
}

QString RelativeIfInside(const QString& base, const QString& path) {
    if (base.isEmpty() || !QDir::isAbsolutePath(path)) return path;
    const QString folder = QDir::cleanPath(base) + QLatin1Char('/');
    const QString clean = QDir::cleanPath(path);
    return clean.startsWith(folder) ? clean.mid(folder.size()) : path;
}

}  // namespace velmio
