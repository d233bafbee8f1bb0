#pragma once

#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QVector>

namespace velmio {

// Places w inside container at a rectangle given in twips from the
// container's top-left corner.
void PlaceInTwips(QWidget* w, QWidget* container, int left, int top, int width, int height);

// A group frame drawn the classic way: an etched rectangle whose top line
// runs through the middle of the first text line and breaks for the title,
// either the frame's own text or a control set on the top edge (a check box
// that switches what the frame holds).
class FrameBox : public QGroupBox {
    Q_OBJECT
public:
    explicit FrameBox(const QString& title, QWidget* parent = nullptr);
    void setTitleWidget(QWidget* w) { titleWidget_ = w; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QWidget> titleWidget_;
};

// Widens w to its caption when the caption is wider, keeping its left edge
// and its right edge at most at right (in its container's coordinates).
void FitToCaption(QWidget* w, int right);

// Qt centres a field's text by the font's whole line. Our Japanese font's
// line is taller than the 18-pixel fields and has more room above the
// glyphs than below, so the text sat low with its descenders on the frame.
// This keeps the ink of the text centred in the field, at any size the
// field gets, by a top text margin that may reach into the frame.
class CentredFieldText : public QObject {
    Q_OBJECT
public:
    explicit CentredFieldText(QLineEdit* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Centre();
    QLineEdit* field_;
};

// The row, in the field, of the baseline of its text.
int TextBaseline(const QLineEdit* field);

// A page of the settings tabs. Its own controls are given in twips from the
// corner of the whole tab control, tab row included, so they are placed only
// once the tab control has put the page below its tab row.
class DialogPage : public QWidget {
    Q_OBJECT
public:
    explicit DialogPage(QWidget* parent = nullptr) : QWidget(parent) {}
    void PlaceOnTabs(QWidget* w, int left, int top, int width, int height);
    void PlaceControls();
    // Moves a control placed on the page by whole pixels, for good.
    void MoveDown(QWidget* w, int dy);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    struct Placed {
        QPointer<QWidget> widget;
        QPoint twips;
        int dy;  // pixels beyond the twips place
    };
    QVector<Placed> placed_;
};

}  // namespace velmio
