#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velmio {

// Filters are written as pairs of a description and a pattern, each part
// ended by NUL: "Waveﾌｧｲﾙ (*.wav)" NUL "*.wav".
using FileSelector =
    std::function<QString(QWidget* owner, const QString& filter, const QString& initialDir)>;

// The open-file dialog titled "ファイルの選択": only existing files can be
// chosen. Returns the full path, or empty text when the user cancels.
QString SelectFile(QWidget* owner, const QString& filter, const QString& initialDir);

// The filter in the form Qt's file dialog reads ("Description (*.a *.b);;...").
QString QtFileFilter(const QString& filter);

}  // namespace velmio
