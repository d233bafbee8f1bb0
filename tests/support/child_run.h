#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <memory>

namespace velmio::test {

// Runs one test function of this program again in a child process with one
// variable changed, for what a process settles once (its session bus, its
// sound backend). The child passes marker=1, so it knows it is the child.
// Returns the ended child: a normal exit with code 0 is a pass.
inline std::unique_ptr<QProcess> RunInChild(const QString& function, const QString& variable, const QString& value,
                                            const QString& marker) {
    auto child = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(variable, value);
    env.insert(marker, QStringLiteral("1"));
    child->setProcessEnvironment(env);
    child->start(QCoreApplication::applicationFilePath(), {function});
    if (!child->waitForFinished(20000)) {
        child->kill();  // a child that hangs ends as a crash, never as a pass
        child->waitForFinished(5000);
    }
    return child;
}

}  // namespace velmio::test
