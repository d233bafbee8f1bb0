#pragma once

#include <QString>

namespace velmio {

// Opens a web address or a file with the desktop's default handler; what
// happens when nothing can open it is the desktop's business.
void OpenWithShell(const QString& target);

}  // namespace velmio
