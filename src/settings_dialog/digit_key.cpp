#include "settings_dialog/digit_key.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace velmio {
namespace {

// A typed character is refused when it is printable and no digit; control
// characters (backspace, Tab, Enter) are left to the field and the dialog.
bool Refused(const QString& typed) {
    for (const QChar c : typed) {
        if (!c.isPrint()) continue;
        const int code = c.unicode();
        if (code > 0x7fff || !IsDigitKey(static_cast<qint16>(code))) return true;
    }
    return false;
}

}  // namespace

bool IsDigitKey(qint16 keyCode) { return (keyCode >= '0' && keyCode <= '9') || keyCode == 8; }

bool DigitKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (!shortcut && Refused(key->text())) return true;
    } else if (event->type() == QEvent::InputMethod) {
        // Input methods commit text without key presses (full-width digits, kana).
        const auto* input = static_cast<QInputMethodEvent*>(event);
        if (Refused(input->commitString())) return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace velmio
