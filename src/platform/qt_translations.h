#pragma once

class QCoreApplication;

namespace velmio {

// Qt's own texts (the file dialog, standard buttons, socket errors) in
// Japanese like everything else the program says. False when the
// translations are not installed: those texts then stay in English.
bool LoadQtJapanese(QCoreApplication& app);

}  // namespace velmio
