#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace velmio {

// The answers given before the application object exists: --help and
// --version need no display and take no lock, and without any display she
// says so in one line instead of Qt's abort. Returns the exit status when the
// program must end here.
std::optional<int> HandleCommandLine(const QStringList& args, const QProcessEnvironment& env,
                                     QTextStream& out, QTextStream& err);

}  // namespace velmio
