// The bar's popup menus drawn from the skin's menu colours and fonts, not the desktop's.
#include "skin/SkinMenuStyle.h"

#include "skin/Skin.h"

#include <QPainter>
#include <QStyleOptionMenuItem>

namespace {

constexpr int ExtraItemWidth = 25; // room the skin's fonts may need beyond the system's
constexpr int CaptionIndent = 12;
constexpr int FrameWidth = 3; // the skin's border and two frames in the item colour

} // namespace

TSkinMenuStyle::TSkinMenuStyle(const TSkinData& skin) : QProxyStyle(), FSkin(skin) {}

void TSkinMenuStyle::drawControl(ControlElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item || !FSkin.Loaded()) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const auto& menu = FSkin.Menu;
    const QRect rect = item->rect;
    const bool selected = item->state & State_Selected;
    const bool enabled = item->state & State_Enabled;
    painter->save();
    painter->setPen(SkinQColor(selected ? menu.SelectedBorderColor : menu.NormalBorderColor));
    painter->setBrush(SkinQColor(selected ? menu.SelectedColor : menu.NormalColor));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    if (item->menuItemType == QStyleOptionMenuItem::Separator) {
        const int middle = rect.top() + rect.height() / 2;
        painter->setPen(SkinQColor(menu.SeparatorColor));
        painter->drawLine(rect.left(), middle, rect.right(), middle);
    } else {
        const TSkinFont& font =
            !enabled ? menu.DisabledFont : (selected ? menu.SelectedFont : menu.NormalFont);
        painter->setFont(font.Font);
        painter->setPen(SkinQColor(font.Color));
        QString caption = item->text;
        caption = caption.left(caption.indexOf('\t') < 0 ? caption.size() : caption.indexOf('\t'));
        const QRect text = rect.adjusted(CaptionIndent, 0, 0, 0);
        painter->drawText(
            text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine,
            caption);
        if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
            // A small triangle at the right end marks the submenu.
            const int y = rect.center().y(), x = rect.right() - 8;
            const QPoint arrow[3] = {{x, y - 4}, {x + 4, y}, {x, y + 4}};
            painter->setBrush(SkinQColor(font.Color));
            painter->setPen(Qt::NoPen);
            painter->drawPolygon(arrow, 3);
        }
    }
    painter->restore();
}

void TSkinMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
    if ((element != PE_FrameMenu && element != PE_PanelMenu) || !FSkin.Loaded()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // The menu's own border: one frame in the skin's border colour, two in the item colour.
    const QRect rect = option->rect;
    painter->save();
    if (element == PE_PanelMenu)
        painter->fillRect(rect, SkinQColor(FSkin.Menu.NormalColor));
    painter->setBrush(Qt::NoBrush);
    painter->setPen(SkinQColor(FSkin.Menu.BorderColor));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->setPen(SkinQColor(FSkin.Menu.NormalColor));
    painter->drawRect(rect.adjusted(1, 1, -2, -2));
    painter->drawRect(rect.adjusted(2, 2, -3, -3));
    painter->restore();
}

QSize TSkinMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                       const QSize& size, const QWidget* widget) const {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type == CT_MenuItem && item && item->menuItemType != QStyleOptionMenuItem::Separator)
        result.rwidth() += ExtraItemWidth;
    return result;
}

int TSkinMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                const QWidget* widget) const {
    if (metric == PM_MenuPanelWidth)
        return FrameWidth;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
