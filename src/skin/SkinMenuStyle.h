// The bar's popup menus drawn from the skin's menu colours and fonts, not the desktop's.
#pragma once

#include <QProxyStyle>

class TSkinData;

class TSkinMenuStyle : public QProxyStyle {
  public:
    // skin is read at every paint, so a skin loaded into it later takes effect at once.
    explicit TSkinMenuStyle(const TSkinData& skin);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;

  private:
    const TSkinData& FSkin;
};
