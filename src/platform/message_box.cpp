#include "platform/message_box.h"

#include <QMessageBox>

namespace velmio {

int QtMessageBoxes::show(QWidget* parent, const QString& text, int style, const QString& caption) {
    const QMessageBox::Icon icon = (style & 16) ? QMessageBox::Critical : QMessageBox::NoIcon;
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);  // the character may be topmost
    box.exec();
    return 1;  // IDOK
}

}  // namespace velmio
