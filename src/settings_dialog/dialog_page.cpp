#include "settings_dialog/dialog_page.h"

#include <QPainter>
#include <QStyleOptionFrame>
#include <QTabWidget>

#include "platform/twips_rect.h"

namespace velmio {

void PlaceInTwips(QWidget* w, QWidget* container, int left, int top, int width, int height) {
    if (w->parentWidget() != container) w->setParent(container);
    w->setGeometry(TwipsRect(container, left, top, width, height));
}

FrameBox::FrameBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm(font());
    const int pad = fm.averageCharWidth() / 2;
    int gapLeft = 0;
    int gapRight = 0;
    if (!title().isEmpty()) {
        gapLeft = fm.averageCharWidth();
        gapRight = gapLeft + fm.horizontalAdvance(title()) + 2 * pad;
        style()->drawItemText(&p, QRect(gapLeft, 0, gapRight - gapLeft, fm.height()),
                              Qt::AlignCenter | Qt::TextHideMnemonic, palette(), isEnabled(), title(),
                              foregroundRole());
    } else if (titleWidget_ && titleWidget_->isVisible()) {
        gapLeft = titleWidget_->x();
        gapRight = gapLeft + qMin(titleWidget_->width(), titleWidget_->sizeHint().width());
    }
    const int top = fm.height() / 2;
    auto etch = [&](const QRect& r, const QColor& colour) {
        p.setPen(colour);
        if (gapRight > gapLeft) {
            p.drawLine(r.left(), r.top(), gapLeft, r.top());
            p.drawLine(gapRight, r.top(), r.right(), r.top());
        } else {
            p.drawLine(r.topLeft(), r.topRight());
        }
        p.drawLine(r.topRight(), r.bottomRight());
        p.drawLine(r.bottomRight(), r.bottomLeft());
        p.drawLine(r.bottomLeft(), r.topLeft());
    };
    const QRect outer(0, top, width() - 1, height() - top - 1);
    etch(outer.adjusted(1, 1, 0, 0), palette().color(QPalette::Light));
    etch(outer.adjusted(0, 0, -1, -1), palette().color(QPalette::Dark));
}

void FitToCaption(QWidget* w, int right) {
    const int wanted = qMin(w->sizeHint().width(), right - w->x());
    if (wanted > w->width()) w->resize(wanted, w->height());
}

void DialogPage::PlaceOnTabs(QWidget* w, int left, int top, int width, int height) {
    if (w->parentWidget() != this) w->setParent(this);
    w->setGeometry(TwipsRect(this, left, top, width, height));
    placed_.append({w, QPoint(left, top)});
    PlaceControls();
}

void DialogPage::PlaceControls() {
    QWidget* tabs = parentWidget();
    while (tabs && !qobject_cast<QTabWidget*>(tabs)) tabs = tabs->parentWidget();
    const QPoint offset = tabs ? mapTo(tabs, QPoint(0, 0)) : QPoint(0, 0);
    // Only the position depends on where the page lies; sizes stay as set.
    for (const Placed& p : placed_) {
        if (p.widget) p.widget->move(TwipsRect(this, p.twips.x(), p.twips.y(), 0, 0).topLeft() - offset);
    }
}

void DialogPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceControls();
}

void DialogPage::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    PlaceControls();
}

}  // namespace velmio
