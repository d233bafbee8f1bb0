#pragma once

#include <QImage>

#include "character/partner_window.h"

namespace velmio {

struct AppState;
class BalloonWindow;
class MessageBoxes;

// The character: a borderless window of one 94 x 138 frame of the strip.
class Form4 : public PartnerWindow {
    Q_OBJECT
public:
    static constexpr int kFrameWidth = 94;
    static constexpr int kFrameHeight = 138;

    Form4(const AppState& state, MessageBoxes& messages, QWidget* parent = nullptr);

    void setPartner(BalloonWindow* balloon) { balloon_ = balloon; }

    // Loads the strip chosen by Clearness, at the scale that suits the
    // screen's device pixel ratio, and shows frame 0.
    void Load();
    // Shows frame n, or hides the window while CharHide is on. A frame whose
    // offset does not fit 16 bits throws std::overflow_error.
    void ShowPicture(int n);
    // Places the balloon beside the character (after the character was dragged).
    void SetTextFormPosition();
    // Stands at topLeft, beside the balloon where it was put.
    void StandBesideBalloon(const QPoint& topLeft) {
        balloonPlacedFrom_ = topLeft;
        move(topLeft);
    }

    const QImage& strip() const { return strip_; }
    int stripScale() const { return stripScale_; }
    // The frame shown, in device pixels (its devicePixelRatio says how many).
    const QImage& frame() const { return frame_; }
    int shownFrame() const { return shownFrame_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void PlacePartner() override;
    void moveEvent(QMoveEvent* e) override;
    bool event(QEvent* e) override;

private:
    void ShapeWindowFromPicture(int n);
    // Draws her again from the strip that suits a new device pixel ratio.
    void FollowRatio();
    void RaiseBalloon();

    const AppState& state_;
    MessageBoxes& messages_;
    BalloonWindow* balloon_ = nullptr;
    QImage strip_;
    int stripScale_ = 1;
    qreal loadedRatio_ = 1;  // the device pixel ratio the strip was chosen for
    bool keyedStrip_ = false;
    bool followsScreen_ = false;  // the strip drawn on the key colour is loaded
    QImage frame_;
    int shownFrame_ = -1;
    quint64 pictureGeneration_ = 0;
    // Where she stood when the balloon was last put beside her.
    QPoint balloonPlacedFrom_;
};

// Reads a picture by its content, whatever its file name says.
QImage LoadPictureFile(const QString& path);

}  // namespace velmio
