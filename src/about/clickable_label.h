#pragma once

#include <QImage>
#include <QLabel>

namespace velmio {

// A label that acts on a click of the left button, as the about box's
// links do; it shows the hand cursor and its address as a tooltip.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text = QString(), QWidget* parent = nullptr);
    void setLink(const QString& address);
    QString link() const { return link_; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString link_;
    bool pressed_ = false;
};

// A picture stretched to its box with its proportions kept, drawn at the
// screen's full resolution.
class PictureLabel : public ClickableLabel {
    Q_OBJECT
public:
    using ClickableLabel::ClickableLabel;
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

}  // namespace velmio
