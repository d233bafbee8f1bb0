#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QUrl>

namespace velmio {

void OpenWithShell(const QString& target) {
    if (target.isEmpty()) return;
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

}  // namespace velmio
