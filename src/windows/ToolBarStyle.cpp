#include "windows/ToolBarStyle.h"
#include "windows/Icons.h"

#include <QApplication>
#include <QStyleFactory>

TToolBarStyle::TToolBarStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

QIcon TToolBarStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                  const QWidget* widget) const {
    if (icon == SP_ToolBarHorizontalExtensionButton || icon == SP_ToolBarVerticalExtensionButton)
        return ExtensionArrowIcon(icon == SP_ToolBarVerticalExtensionButton);
    return QProxyStyle::standardIcon(icon, option, widget);
}
