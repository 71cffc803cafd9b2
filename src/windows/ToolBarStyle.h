// The program's style: the one chosen, with the tool bars' extension arrow drawn in code.
#pragma once

#include <QProxyStyle>

// Qt's own arrow is a file whose format Qt finds by loading every image format plugin, and
// every tool bar asks for it when made; that cost each start time and memory for nothing.
class TToolBarStyle : public QProxyStyle {
  public:
    // Wraps the style the application has now.
    TToolBarStyle();
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override;
};
