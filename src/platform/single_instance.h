#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace velmio {

// One running program per user: a lock file in the user's runtime folder.
// A lock left by a killed process is taken over. The running one listens on a
// socket beside the lock, so a second start can call it out of the tray.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& lockPath = DefaultLockPath(), QObject* parent = nullptr);
    ~SingleInstance() override;
    // True when another instance holds the lock; that one is then asked to
    // come forward.
    bool IsPrevInstance();
    static QString DefaultLockPath();

signals:
    // A second start asked this instance to come forward.
    void comeForwardRequested();

private:
    void Listen();
    void WakeRunningOne() const;

    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace velmio
