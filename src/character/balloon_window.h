#pragma once

#include <QStringList>
#include <QTimer>

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
    // What she says is the balloon's accessible name, for screen readers.
    void SayText(const QString& text);
    // Says the lines one after another, each long enough to read, and then
    // the line she said before them again. Anything said meanwhile ends it.
    void SayInTurn(const QStringList& lines);
    static constexpr int kLineMs = 4000;
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
    void showEvent(QShowEvent*) override;
    void PlacePartner() override;

private:
    void applyRoundedShape();

    void SayNextInTurn();

    Form4* picture_ = nullptr;
    QStringList inTurn_;
    QTimer* turn_ = nullptr;
    QString lastSaidText_;
    bool atRight_ = false;
};

}  // namespace velmio
