#pragma once

#include <QList>
#include <QRect>

class QWidget;

namespace velmio {

// The available areas of the screens (without panels and docks), the
// primary screen's first.
QList<QRect> AvailableAreas();

// The place nearest to window that lies wholly inside one area: the one that
// holds most of the window, or the first (the primary screen) when it is on
// none, as after a screen was unplugged. A window larger than the area keeps
// its top left corner inside.
QRect WhollyInside(const QRect& window, const QList<QRect>& areas);

// Moves the window wholly onto a screen; true when it had to move.
bool KeepWhollyOnScreen(QWidget* window);

}  // namespace velmio
