#include "platform/process_launcher.h"

#include <QFileInfo>
#include <QProcess>

namespace velmio {

bool QtProcessLauncher::startDetached(const QString& program, const QStringList& args,
                                      QString* error) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached()) return true;
    if (error) *error = process.errorString();
    return false;
}

bool SplitCommand(const QString& command, QString* program, QStringList* args) {
    args->clear();
    if (QFileInfo(command).isFile()) {
        *program = command;
        return true;
    }
    QStringList parts = QProcess::splitCommand(command);
    if (parts.isEmpty()) return false;
    *program = parts.takeFirst();
    *args = parts;
    return true;
}

}  // namespace velmio
