#pragma once

#include <QByteArray>
#include <QString>

namespace velmio {

// Code page 932 both ways; undecodable bytes become U+FFFD instead of failing.
QString DecodeCp932(const QByteArray& bytes);
QByteArray EncodeCp932(const QString& text);

// At most max bytes, never splitting a double-byte character.
QByteArray CutCp932(const QByteArray& bytes, int max);

}  // namespace velmio
