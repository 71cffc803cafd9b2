// Bringing a window to the front.
#include "platform/ForceForeground.h"

#include <QCoreApplication>
#include <QWidget>

bool ForceForeground(QWidget* window) {
    if (!window)
        return false;
    if (window->isMinimized())
        window->showNormal();
    if (window->isActiveWindow())
        return true;
    window->show();
    window->raise();
    window->activateWindow();
    // Let the activation request and its answer pass without waiting for input.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return window->isActiveWindow();
}
