#pragma once

#include <QWidget>

#include "platform/window_drag.h"

namespace velmio {

class CharacterShell;
class Form4;

// The speech balloon: a borderless window in the tooltip colours that sizes
// itself to each line and stands at the character's left.
class BalloonWindow : public QWidget {
    Q_OBJECT
public:
    explicit BalloonWindow(QWidget* parent = nullptr);

    void setPartner(Form4* picture) { picture_ = picture; }
    void setShell(CharacterShell* shell) { shell_ = shell; }

    // Shows the text; nothing happens while hidden or for an empty text.
    void SayText(const QString& text);
    const QString& LastSaidText() const { return lastSaidText_; }

    // Places the character beside the balloon (after the balloon was dragged).
    void SetCharFormPosition();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void applyRoundedShape();

    Form4* picture_ = nullptr;
    CharacterShell* shell_ = nullptr;
    QString lastSaidText_;
    WindowDrag drag_{this};
};

}  // namespace velmio
