#include "platform/window_drag.h"

#include <QMouseEvent>
#include <QWidget>

namespace velmio {

void WindowDrag::press(QMouseEvent* e) {
    active_ = true;
    grabOffset_ = e->globalPosition().toPoint() - window_->pos();
}

void WindowDrag::move(QMouseEvent* e) {
    if (!active_ || !(e->buttons() & Qt::LeftButton)) return;
    window_->move(e->globalPosition().toPoint() - grabOffset_);
}

bool WindowDrag::release(QMouseEvent* e) {
    if (!active_ || e->button() != Qt::LeftButton) return false;
    active_ = false;
    return true;
}

}  // namespace velmio
