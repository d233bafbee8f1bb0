#pragma once

#include <QString>

class QWidget;

namespace velmio {

// Modal message boxes; tests replace them with a recorder that returns at once.
// style follows the stored constants: 16 is the stop icon with one OK button,
// 0 an OK button without an icon.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual int show(QWidget* parent, const QString& text, int style, const QString& caption) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    int show(QWidget* parent, const QString& text, int style, const QString& caption) override;
};

}  // namespace velmio
