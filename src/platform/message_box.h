#pragma once

#include <QString>

class QWidget;

namespace velmio {

// Modal message boxes; tests replace them with a recorder that returns at once.
// style follows the stored constants: 16 is the stop icon with one OK button,
// 0 an OK button without an icon; 4 (kYesNo) gives Yes and No, No the
// default, and 32 a question mark.
class MessageBoxes {
public:
    enum : int { kYesNo = 4, kQuestion = 32 };
    enum : int { kOk = 1, kYes = 6, kNo = 7 };  // what show() returns
    virtual ~MessageBoxes() = default;
    virtual int show(QWidget* parent, const QString& text, int style, const QString& caption) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    int show(QWidget* parent, const QString& text, int style, const QString& caption) override;
};

}  // namespace velmio
