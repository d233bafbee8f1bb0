#pragma once

#include <QWidget>

#include "platform/window_drag.h"

namespace velmio {

class CharacterShell;

// One of the character's two borderless windows: the left button drags it and
// places its partner when the drag ends, the right button opens the menu, a
// double click runs the double-click action.
class PartnerWindow : public QWidget {
    Q_OBJECT
public:
    void setShell(CharacterShell* shell) { shell_ = shell; }

protected:
    PartnerWindow(bool isCharacter, QWidget* parent);
    // Moves the other window beside this one, after a drop.
    virtual void PlacePartner() = 0;
    bool dragging() const { return drag_.active(); }

    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    const bool isCharacter_;
    CharacterShell* shell_ = nullptr;
    WindowDrag drag_{this};
};

}  // namespace velmio
