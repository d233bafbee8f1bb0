#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace velmio {
namespace {

// TryExec holds a plain string: only backslashes are escaped.
QString TryExecValue(QString program) { return program.replace(QLatin1Char('\\'), QLatin1String("\\\\")); }

}  // namespace

Autostart::Autostart(const QProcessEnvironment& env) {
    QString base = env.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (!QDir::isAbsolutePath(base))
        base = env.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.config");
    entryPath_ = QDir::cleanPath(base) + QStringLiteral("/autostart/velmio-check.desktop");
}

bool Autostart::IsEnabled() const { return QFileInfo(entryPath_).isFile(); }

QString Autostart::ExecValue(const QString& program) {
    // Inside double quotes ", `, $ and \ take a backslash; a percent sign is
    // doubled as a field code; then the string value escapes backslashes
    // once more.
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString arg = program;
    arg.replace(QLatin1Char('%'), QLatin1String("%%"));
    bool quote = false;
    for (QChar c : arg) quote |= kReserved.contains(c);
    if (quote) {
        QString quoted;
        for (QChar c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        arg = '"' + quoted + '"';
    }
    return arg.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
}

bool Autostart::SetEnabled(bool enabled, const QString& program) const {
    if (!enabled) return !QFile::exists(entryPath_) || QFile::remove(entryPath_);
    QDir().mkpath(QFileInfo(entryPath_).path());
    QSaveFile file(entryPath_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // TryExec: once the program is gone, the desktop skips the entry.
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Velmio Check\n"
                             "Name[ja]=Velmioチェック\n"
                             "Comment=A desktop mascot who checks your POP3 and IMAP mailboxes\n"
                             "Comment[ja]=POP3 と IMAP のメールボックスを見てくれるデスクトップマスコット\n"
                             "TryExec=%1\n"
                             "Exec=%2\n"
                             "Icon=velmio-check\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(TryExecValue(program), ExecValue(program));
    file.write(text.toUtf8());
    return file.commit();
}

}  // namespace velmio
