#pragma once

#include <QString>

namespace velmio {

// Sound files of the program are named relative to the program folder, so
// the folder can move. base is that folder.

// A relative path taken from base; an absolute or empty path, or any path
// when no base is known, as it is.
QString ResolveRelativeTo(const QString& base, const QString& path);

// A path inside base made relative to it; any other path as it is.
QString RelativeIfInside(const QString& base, const QString& path);

}  // namespace velmio
