#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace velmio {

// One running program per user: a lock file in the user's runtime folder.
// A lock left by a killed process is taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = DefaultLockPath());
    // True when another instance holds the lock.
    bool IsPrevInstance();
    static QString DefaultLockPath();

private:
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace velmio
