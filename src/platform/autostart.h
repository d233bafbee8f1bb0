#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace velmio {

// The user's XDG autostart entry that starts the program at login.
class Autostart {
public:
    explicit Autostart(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

    QString EntryPath() const { return entryPath_; }
    bool IsEnabled() const;
    // Writes an entry that starts program, or removes it. True on success.
    bool SetEnabled(bool enabled, const QString& program) const;

    // An Exec value that runs program with no arguments, quoted as the
    // Desktop Entry format asks.
    static QString ExecValue(const QString& program);

private:
    QString entryPath_;
};

}  // namespace velmio
