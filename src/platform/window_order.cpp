#include "platform/window_order.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

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

void KeepOutOfWindowLists(QWidget* window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return;
    xcb_connection_t* c = x11->connection();
    const auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    };
    // Qt adds its own states to these when it maps the window.
    const xcb_atom_t states[] = {atom("_NET_WM_STATE_SKIP_TASKBAR"), atom("_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, xcb_window_t(window->winId()), atom("_NET_WM_STATE"), XCB_ATOM_ATOM,
                        32, 2, states);
}

}  // namespace velmio
