#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace velmio {

// Where every file of the program lives. A program folder keeps everything
// beside the executable; an installed program reads its data from
// ../share/velmio-check and keeps the user's files in the XDG folders.
class AppPaths {
public:
    AppPaths() = default;
    // Everything in one folder.
    static AppPaths ProgramFolder(const QString& dir);
    // Decides from what lies beside the executable.
    static AppPaths Locate(const QString& exeDir,
                           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

    bool Installed() const { return installed_; }
    QString ProgramDir() const { return programDir_; }  // the executable's folder
    QString DataDir() const { return dataDir_; }        // the installed or bundled data
    QString ConfigDir() const { return configDir_; }    // velmio.ini and the user's own data
    QString LogDir() const { return logDir_; }
    // Her README: beside the program, or in the package's documentation.
    QString DocDir() const { return docDir_; }
    // The folder the sound file dialog opens in.
    QString SoundDir() const;

    // A data file; the user's copy in the config folder wins for the files
    // that give her her lines and her look.
    QString DataFile(const QString& name) const;
    QString ConfigFile(const QString& name) const { return configDir_ + '/' + name; }
    QString LogFile(const QString& name) const { return logDir_ + '/' + name; }
    QString IniPath() const { return ConfigFile(QStringLiteral("velmio.ini")); }

    // Makes the config folder (private to the user) and the log folder when
    // installed; a program folder already exists.
    void MakeUserDirs() const;

private:
    bool installed_ = false;
    QString programDir_, dataDir_, configDir_, logDir_, docDir_;
};

}  // namespace velmio
