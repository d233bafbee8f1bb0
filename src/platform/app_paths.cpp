#include "platform/app_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmio {
namespace {

const QString kAppFolder = QStringLiteral("velmio-check");

// An XDG base folder: the variable when it holds an absolute path, the
// default under the home folder otherwise.
QString BaseDir(const QProcessEnvironment& env, const QString& var, const QString& fallback) {
    const QString value = env.value(var);
    if (QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return QDir::cleanPath(env.value(QStringLiteral("HOME"), QDir::homePath()) + '/' + fallback);
}

}  // namespace

AppPaths AppPaths::ProgramFolder(const QString& dir) {
    AppPaths p;
    p.programDir_ = p.dataDir_ = p.configDir_ = p.logDir_ = p.docDir_ = dir;
    return p;
}

AppPaths AppPaths::Locate(const QString& exeDir, const QProcessEnvironment& env) {
    const QString dir = QDir::cleanPath(exeDir);
    if (QFile::exists(dir + QStringLiteral("/velmio.dat")) ||
        QFile::exists(dir + QStringLiteral("/velmio.tbl")))
        return ProgramFolder(dir);
    AppPaths p;
    p.installed_ = true;
    p.programDir_ = dir;
    p.dataDir_ = QDir::cleanPath(dir + QStringLiteral("/../share/") + kAppFolder);
    p.docDir_ = QDir::cleanPath(dir + QStringLiteral("/../share/doc/") + kAppFolder);
    p.configDir_ =
        BaseDir(env, QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral(".config")) + '/' + kAppFolder;
    p.logDir_ = BaseDir(env, QStringLiteral("XDG_STATE_HOME"), QStringLiteral(".local/state")) + '/' +
                kAppFolder;
    return p;
}

QString AppPaths::SoundDir() const {
    return installed_ ? dataDir_ + QStringLiteral("/sounds") : dataDir_;
}

QString AppPaths::DataFile(const QString& name) const {
    static const QStringList kOwnCopies = {QStringLiteral("velmio.tbl"), QStringLiteral("velmio.dat"),
                                           QStringLiteral("velmio_s.dat")};
    if (installed_ && kOwnCopies.contains(name) && QFileInfo(ConfigFile(name)).isFile())
        return ConfigFile(name);
    return dataDir_ + '/' + name;
}

void AppPaths::MakeUserDirs() const {
    if (!installed_) return;
    if (!QFileInfo::exists(configDir_)) {
        QDir().mkpath(configDir_);
        QFile::setPermissions(configDir_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QDir().mkpath(logDir_);
}

}  // namespace velmio
