#pragma once

#include <QObject>

namespace velmio {

// True for the key codes of "0" to "9" and of backspace.
bool IsDigitKey(qint16 keyCode);

// Drops every typed character of a text field that IsDigitKey refuses.
// Keys that type nothing (arrows, Delete, Tab, Enter, shortcuts) pass, so the
// field and the dialog stay usable from the keyboard.
class DigitKeyFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace velmio
