// Bringing a window to the front and giving it the focus.
#pragma once

class QWidget;

// Restores a minimised window, raises and activates it; true when it is the active
// window afterwards (a window manager may refuse or grant this later).
bool ForceForeground(QWidget* window);
