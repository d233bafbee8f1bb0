#pragma once

#include <QString>
#include <QStringList>

namespace velmio {

// Starts other programs detached from ours, never through a shell.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // On failure returns false and says why in *error.
    virtual bool startDetached(const QString& program, const QStringList& args,
                               QString* error) = 0;
};

class QtProcessLauncher : public ProcessLauncher {
public:
    bool startDetached(const QString& program, const QStringList& args, QString* error) override;
};

// A command text: an existing file is the program itself (its path may hold
// blanks); otherwise the text is split as a command line with quoting.
bool SplitCommand(const QString& command, QString* program, QStringList* args);

}  // namespace velmio
