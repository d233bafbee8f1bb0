#pragma once

#include "character/partner_window.h"

namespace velmio {

class Form4;

// The speech balloon: a borderless window in the tooltip colours that sizes
// itself to each line and stands at the character's left.
class BalloonWindow : public PartnerWindow {
    Q_OBJECT
public:
    explicit BalloonWindow(QWidget* parent = nullptr);

    void setPartner(Form4* picture) { picture_ = picture; }

    // Shows the text; nothing happens while hidden or for an empty text.
    void SayText(const QString& text);
    const QString& LastSaidText() const { return lastSaidText_; }

    // Places the character beside the balloon (after the balloon was dragged),
    // on whichever side of her the balloon stands.
    void SetCharFormPosition();
    // Stands beside the character at this top (pixels), at her left where
    // the screen has room, else at her right.
    void StandBesideCharacter(int top);
    bool AtRight() const { return atRight_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void PlacePartner() override { SetCharFormPosition(); }

private:
    void applyRoundedShape();

    Form4* picture_ = nullptr;
    QString lastSaidText_;
    bool atRight_ = false;
};

}  // namespace velmio
