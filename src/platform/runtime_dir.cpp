#include "platform/runtime_dir.h"

#include <QDir>
#include <QFile>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmio {

QString ProvideRuntimeDir() {
    QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!given.isEmpty()) return given;
    const passwd* user = getpwuid(getuid());
    const QString name = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(getuid());
    // The same folder Qt picks by itself, so the single-instance lock stays where it was.
    QString dir = QDir::tempPath() + QStringLiteral("/runtime-") + name;
    const QByteArray path = QFile::encodeName(dir);
    mkdir(path.constData(), 0700);
    struct stat st {};
    // In a shared temporary folder only a real folder of our own will do.
    if (lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return {};
    if ((st.st_mode & 07777) != 0700 && chmod(path.constData(), 0700) != 0) return {};
    qputenv("XDG_RUNTIME_DIR", path);
    return dir;
}

}  // namespace velmio
