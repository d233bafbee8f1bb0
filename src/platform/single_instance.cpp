#include "platform/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace velmio {

SingleInstance::SingleInstance(const QString& lockPath) : lock_(new QLockFile(lockPath)) {
    lock_->setStaleLockTime(0);  // only a dead owner makes a lock stale
}

bool SingleInstance::IsPrevInstance() {
    if (lock_->isLocked()) return false;
    return !lock_->tryLock(0);
}

QString SingleInstance::DefaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + "/velmio-check.lock";
}

}  // namespace velmio
