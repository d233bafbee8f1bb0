#include "settings_dialog/dialog_page.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <algorithm>
#include <climits>
#include <cstdlib>

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

namespace {

// The rows that text in this font inks, from the baseline (negative: above).
QPair<int, int> InkRows(const QFont& font) {
    const QString sample = QStringLiteral("漢あAgj");
    const QFontMetrics fm(font);
    QImage image(fm.horizontalAdvance(sample) + 4, 2 * fm.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(2, fm.height(), sample);
    p.end();
    int first = 0, last = 0;
    bool any = false;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (std::none_of(row, row + image.width(), [](QRgb c) { return qGray(c) < 128; })) continue;
        if (!any) first = y;
        any = true;
        last = y;
    }
    return any ? qMakePair(first - fm.height(), last - fm.height()) : qMakePair(-fm.ascent(), 0);
}

// The row of a field's text baseline for a top text margin of -k: the line
// edit centres the font's line in its text rectangle.
int FieldBaseline(const QLineEdit* field, int k) {
    const QFontMetrics fm(field->font());
    const int frame = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field) : 0;
    const int inside = field->height() - 2 * frame;
    return frame - k + (inside + k - fm.height() + 1) / 2 + fm.ascent();
}

}  // namespace

int TextBaseline(const QLineEdit* field) { return FieldBaseline(field, -field->textMargins().top()); }

CentredFieldText::CentredFieldText(QLineEdit* field) : QObject(field), field_(field) {
    field->installEventFilter(this);
    Centre();
}

bool CentredFieldText::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::FontChange) Centre();
    return false;
}

void CentredFieldText::Centre() {
    const QFontMetrics fm(field_->font());
    const QPair<int, int> ink = InkRows(field_->font());
    const int frame = field_->hasFrame() ? field_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field_) : 0;
    const int inside = field_->height() - 2 * frame;
    int best = 0;
    int bestSkew = INT_MAX;
    for (int k = 0; k <= fm.height(); ++k) {
        const int baseline = FieldBaseline(field_, k);
        const int above = baseline + ink.first - frame;
        const int below = frame + inside - 1 - (baseline + ink.second);
        if (above < 0) break;
        if (std::abs(above - below) < bestSkew) {
            bestSkew = std::abs(above - below);
            best = k;
        }
    }
    const QMargins m = field_->textMargins();
    if (m.top() != -best) field_->setTextMargins(m.left(), -best, m.right(), m.bottom());
}

void DialogPage::PlaceOnTabs(QWidget* w, int left, int top, int width, int height) {
    if (w->parentWidget() != this) w->setParent(this);
    w->setGeometry(TwipsRect(this, left, top, width, height));
    placed_.append({w, QPoint(left, top), 0});
    PlaceControls();
}

void DialogPage::PlaceControls() {
    QWidget* tabs = parentWidget();
    while (tabs && !qobject_cast<QTabWidget*>(tabs)) tabs = tabs->parentWidget();
    const QPoint offset = tabs ? mapTo(tabs, QPoint(0, 0)) : QPoint(0, 0);
    // Only the position depends on where the page lies; sizes stay as set.
    for (const Placed& p : placed_) {
        if (p.widget)
            p.widget->move(TwipsRect(this, p.twips.x(), p.twips.y(), 0, 0).topLeft() - offset + QPoint(0, p.dy));
    }
}

void DialogPage::MoveDown(QWidget* w, int dy) {
    for (Placed& p : placed_)
        if (p.widget == w) p.dy += dy;
    PlaceControls();
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
