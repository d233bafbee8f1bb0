#pragma once

class QWidget;

namespace velmio {

// Stays-on-top as the three stored modes: 0 not on top (raised above the
// others), 1 on top, 2 raised within its group; any other mode does nothing
// and gives 0. Every call also shows the window.
int SetTopMost(QWidget* window, int mode);

// The window manager keeps upper directly above lower, whatever raises
// either (upper becomes lower's transient). Takes effect when upper is next
// shown while lower is shown.
void KeepAbove(QWidget* upper, QWidget* lower);

// Keeps a window about to be shown out of the taskbar and the window
// switcher, which list a dialog whose own window is not shown. Call it before
// every show: window managers forget it when the window is hidden.
void KeepOutOfWindowLists(QWidget* window);

}  // namespace velmio
