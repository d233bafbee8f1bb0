#include "platform/message_box.h"

#include <QMessageBox>

namespace velmio {

int QtMessageBoxes::show(QWidget* parent, const QString& text, int style, const QString& caption) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style & 16) icon = QMessageBox::Critical;
    else if (style & 32) icon = QMessageBox::Question;
    const bool yesNo = (style & 7) == kYesNo;
    QMessageBox box(icon, caption, text, yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    if (yesNo) {
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);  // the character may be topmost
    box.exec();
    if (!yesNo) return kOk;
    return box.clickedButton() == box.button(QMessageBox::Yes) ? kYes : kNo;
}

}  // namespace velmio
