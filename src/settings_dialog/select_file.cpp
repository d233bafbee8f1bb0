#include "settings_dialog/select_file.h"

#include <QFileDialog>
#include <QStringList>

namespace velmio {

QString QtFileFilter(const QString& filter) {
    QStringList parts = filter.split(QChar(0));
    while (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt takes the patterns from the last parentheses of an entry, so a
        // description that already shows them is used as it is.
        if (description.endsWith(QLatin1Char(')')) &&
            description.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
            entries << description;
        else
            entries << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString SelectFile(QWidget* owner, const QString& filter, const QString& initialDir) {
    // getOpenFileName accepts existing files only.
    return QFileDialog::getOpenFileName(owner, QStringLiteral("ファイルの選択"), initialDir,
                                        QtFileFilter(filter));
}

}  // namespace velmio
