#include "character/balloon_window.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

#include "character/balloon_geometry.h"
#include "character/device_frame.h"
#include "character/form4.h"
#include "character/window_shape.h"
#include "platform/twips.h"
#include "platform/window_order.h"
#include "platform/window_screen.h"

namespace velmio {

BalloonWindow::BalloonWindow(QWidget* parent)
    : PartnerWindow(false, parent) {
    setObjectName(QStringLiteral("Form1"));
    // Her words need no keyboard; asking for it would only make window
    // managers flag the balloon as wanting attention.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setPalette(QToolTip::palette());
    setAutoFillBackground(false);
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPointSizeF(10.0);
    setFont(f);
    turn_ = new QTimer(this);
    turn_->setSingleShot(true);
    connect(turn_, &QTimer::timeout, this, &BalloonWindow::SayNextInTurn);
}

void BalloonWindow::SayText(const QString& text) {
    if (!isVisible() || text.isEmpty()) return;
    inTurn_.clear();
    turn_->stop();
    if (text != accessibleName()) setAccessibleName(text);  // announced as a name change
    const BalloonSize size = BalloonSizeFor(text, font().pointSizeF());
    const int w = TwipsToPixels(static_cast<double>(size.widthTwips), TwipsPerPixelX(this));
    const int h = TwipsToPixels(size.heightTwips, TwipsPerPixelY(this));
    lastSaidText_ = text;
    setFixedSize(w, h);
    StandBesideCharacter(y());
    applyRoundedShape();
    update();
}

void BalloonWindow::SayInTurn(const QStringList& lines) {
    if (!isVisible() || lines.isEmpty()) return;
    QStringList queue = lines;
    if (!lastSaidText_.isEmpty()) queue << lastSaidText_;
    SayText(queue.takeFirst());
    inTurn_ = queue;
    turn_->start(kLineMs);
}

void BalloonWindow::SayNextInTurn() {
    if (inTurn_.isEmpty()) return;
    QStringList rest = inTurn_;
    SayText(rest.takeFirst());
    inTurn_ = rest;
    if (!inTurn_.isEmpty()) turn_->start(kLineMs);
}

void BalloonWindow::applyRoundedShape() {
    // Corners (1, 1) and (width, height), rounded by an 8 x 8 ellipse, drawn
    // in device pixels so the corners stay round on a scaled screen.
    const qreal ratio = devicePixelRatioF();
    QBitmap mask(DeviceSize(size(), ratio));
    mask.fill(Qt::color0);
    QPainter p(&mask);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::color1);
    if (ratio == 1) {
        p.drawRoundedRect(QRect(1, 1, width() - 1, height() - 1), 4, 4);
    } else {
        p.scale(ratio, ratio);
        p.drawRoundedRect(QRectF(1, 1, width() - 1, height() - 1), 4, 4);
    }
    p.end();
    SetWindowShape(this, QRegion(mask), ratio);
}

void BalloonWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::ToolTipBase));
    p.setRenderHint(QPainter::Antialiasing);
    QColor edge = pal.color(QPalette::ToolTipText);
    edge.setAlpha(90);
    p.setPen(QPen(edge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 1.5, width() - 2.0, height() - 2.0), 3.5, 3.5);
    p.setPen(pal.color(QPalette::ToolTipText));
    // The balloon gives each character a square of the font's size; printing
    // a little smaller keeps the glyphs off the rounded edge. Centred on one
    // line; a line wider than the balloon is clipped at both ends.
    QFont printed = font();
    printed.setPointSizeF(font().pointSizeF() * 0.9);
    p.setFont(printed);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, lastSaidText_);
}

void BalloonWindow::showEvent(QShowEvent*) {
    // Before the window is mapped: a dialog, it would otherwise be listed
    // among the windows while she is hidden.
    KeepOutOfWindowLists(this);
}

void BalloonWindow::StandBesideCharacter(int top) {
    if (!picture_) return;
    const QRect character(picture_->pos(), picture_->size());
    QScreen* screen = QGuiApplication::screenAt(character.center());
    if (!screen) screen = picture_->screen();
    const BalloonPlace place = BalloonBeside(character, size(), top, screen->availableGeometry());
    atRight_ = place.atRight;
    move(place.topLeft);
}

void BalloonWindow::SetCharFormPosition() {
    if (!picture_) return;
    const int left = atRight_ ? x() - picture_->width() : x() + width();
    picture_->StandBesideBalloon(QPoint(left, y() - picture_->height() / 2));
}

void BalloonWindow::PlacePartner() {
    KeepWhollyOnScreen(this);
    SetCharFormPosition();
    // Put beside the balloon she may stand off the screen: she comes back and
    // the balloon goes beside her again.
    if (picture_ && KeepWhollyOnScreen(picture_)) picture_->SetTextFormPosition();
}

}  // namespace velmio
