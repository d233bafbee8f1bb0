#include "platform/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace velmio {

SingleInstance::SingleInstance(const QString& lockPath, QObject* parent)
    : QObject(parent), socketPath_(lockPath + QStringLiteral(".socket")), lock_(new QLockFile(lockPath)) {
    lock_->setStaleLockTime(0);  // only a dead owner makes a lock stale
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::IsPrevInstance() {
    if (lock_->isLocked()) return false;
    if (lock_->tryLock(0)) {
        Listen();
        return false;
    }
    WakeRunningOne();
    return true;
}

void SingleInstance::Listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, a socket file still there is a killed instance's.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_)) return;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            s->deleteLater();
            emit comeForwardRequested();
        }
    });
}

void SingleInstance::WakeRunningOne() const {
    // The connection itself is the request; a running one that does not
    // answer within a moment is left alone.
    QLocalSocket s;
    s.connectToServer(socketPath_);
    if (s.waitForConnected(1000)) s.disconnectFromServer();
}

QString SingleInstance::DefaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + "/velmio-check.lock";
}

}  // namespace velmio
