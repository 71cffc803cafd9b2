// Application-wide hint hide pause.
#include "platform/HintPause.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

bool THintPause::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->toolTip().isEmpty() || widget->toolTipDuration() > 0)
        return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), HintHidePause);
    return true;
}
