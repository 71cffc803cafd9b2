// The options dialog's picture of a skin: its menu button and two message buttons.
#include "dialogs/SkinPreview.h"

#include "core/IniFile.h"

#include <QFontMetrics>
#include <QPainter>

QImage DrawSkinPreview(const std::string& folder, int width) {
    const TIniFile ini(folder + "skin.ini");
    const int left = ini.ReadInteger("Button", "Border.Left", 12);
    const int right = ini.ReadInteger("Button", "Border.Right", 12);
    const int top = ini.ReadInteger("Button", "Border.Top", 5);
    const int bottom = ini.ReadInteger("Button", "Border.Bottom", 8);
    const QImage menu(QString::fromStdString(folder + "menubutton.bmp"));
    const QImage button(QString::fromStdString(folder + "button.bmp"));
    if (menu.isNull() || button.isNull() || width <= 0)
        return {};
    const int height = button.height();
    QImage preview(width, height, QImage::Format_ARGB32_Premultiplied);
    preview.fill(Qt::transparent);
    QPainter p(&preview);
    const int menuWidth = menu.width() / 3;
    p.drawImage(0, 0, menu, 0, 0, menuWidth, menu.height());
    const int half = (width - menuWidth) / 2;
    const int third = button.width() / 3;
    const int mid = third - left - right;
    for (const int x : {menuWidth, menuWidth + half}) {
        p.drawImage(x, 0, button, 0, 0, left, height);
        // A button without a middle piece has nothing to tile.
        if (mid > 0)
            for (int k = 0; k <= half / mid + 1; ++k)
                p.drawImage(x + left + k * mid, 0, button, left, 0, mid, height);
        p.drawImage(x + half - right, 0, button, third - right, 0, right, height);
        const QRect text(QPoint(x + left, top), QPoint(x + half - right, height - bottom));
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   p.fontMetrics().elidedText("Preview", Qt::ElideRight, text.width()));
    }
    return preview;
}
