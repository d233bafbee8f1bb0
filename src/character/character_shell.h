#pragma once

class QPoint;

namespace velmio {

// What the character's two windows ask of the program around them.
class CharacterShell {
public:
    virtual ~CharacterShell() = default;
    virtual void ShowPopupMenu(const QPoint& globalPos) = 0;
    // The double-click action; the balloon's is refused while a check runs,
    // the character's is not.
    virtual void RunClickAction(bool fromCharacter) = 0;
};

}  // namespace velmio
