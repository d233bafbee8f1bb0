#include "platform/window_order.h"

#include <QWidget>
#include <QWindow>

namespace velmio {

int SetTopMost(QWidget* window, int mode) {
    if (!window || mode < 0 || mode > 2) return 0;
    if (mode != 2) {
        const bool onTop = mode == 1;
        // Through the native window: QWidget::setWindowFlags would hide it.
        window->winId();  // creates the native window of a window not yet shown
        QWindow* handle = window->windowHandle();
        if (handle) handle->setFlag(Qt::WindowStaysOnTopHint, onTop);
        // Keep the widget's own flags in step, so a later re-creation agrees.
        const Qt::WindowFlags flags = window->windowFlags();
        if (flags.testFlag(Qt::WindowStaysOnTopHint) != onTop)
            window->overrideWindowFlags(flags ^ Qt::WindowStaysOnTopHint);
    }
    window->show();
    window->raise();
    return 1;
}

void KeepAbove(QWidget* upper, QWidget* lower) {
    upper->winId();
    lower->winId();
    upper->windowHandle()->setTransientParent(lower->windowHandle());
}

}  // namespace velmio
