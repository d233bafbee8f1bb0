#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

class QWidget;
class QMouseEvent;

namespace velmio {

// Moves a frameless window with the left mouse button, by hand: the window
// system's own move gives no reliable end-of-drag moment on X11. The partner
// window is placed once, when the button is released.
class WindowDrag {
public:
    explicit WindowDrag(QWidget* window) : window_(window) {}
    void press(QMouseEvent* e);
    void move(QMouseEvent* e);
    // True when a drag ended with this release.
    bool release(QMouseEvent* e);
    bool active() const { return active_; }

private:
    QWidget* window_;
    bool active_ = false;
    QPoint grabOffset_;
};

}  // namespace velmio
