#include "character/partner_window.h"

#include <QMouseEvent>

#include "character/character_shell.h"

namespace velmio {

PartnerWindow::PartnerWindow(bool isCharacter, QWidget* parent)
    // Her balloon is a dialog of hers: window managers keep it above her, and
    // KWin would hide a tool window's transient whenever another program is
    // active.
    : QWidget(parent, (isCharacter ? Qt::Tool : Qt::Dialog) | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      isCharacter_(isCharacter) {}

void PartnerWindow::mousePressEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) drag_.press(e);
    if (e->button() == Qt::RightButton && e->buttons() == Qt::RightButton && shell_)
        shell_->ShowPopupMenu(e->globalPosition().toPoint());
}

void PartnerWindow::mouseMoveEvent(QMouseEvent* e) { drag_.move(e); }

void PartnerWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (drag_.release(e)) PlacePartner();
}

void PartnerWindow::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && shell_) shell_->RunClickAction(isCharacter_);
}

}  // namespace velmio
