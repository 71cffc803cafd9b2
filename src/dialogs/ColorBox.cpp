// The account colour drop-down: "Skin Default", sixteen colours and "Custom...".
#include "dialogs/ColorBox.h"

#include "core/Options.h"
#include "skin/Skin.h"

#include <QAbstractItemView>
#include <QColorDialog>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include <array>

namespace {

struct TNamedColor {
    const char* Name;
    int Value;
};

const std::array<TNamedColor, 17> FixedColors{{
    {"Skin Default", NoAccountColor},
    {"Black", 0x000000},
    {"Maroon", 0x000080},
    {"Green", 0x008000},
    {"Olive", 0x008080},
    {"Navy", 0x800000},
    {"Purple", 0x800080},
    {"Teal", 0x808000},
    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0},
    {"Red", 0x0000FF},
    {"Lime", 0x00FF00},
    {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},
    {"Fuchsia", 0xFF00FF},
    {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF},
}};

constexpr int ItemHeight = 16;

// A swatch 20 pixels wide before the entry's text; "Skin Default" has none.
void DrawEntry(QPainter& painter, const QRect& rect, const QString& text, int color, bool selected,
               const QPalette& palette) {
    painter.fillRect(rect, selected ? palette.highlight() : palette.base());
    if (color != NoAccountColor) {
        painter.setPen(Qt::black);
        painter.setBrush(SkinQColor(color));
        painter.drawRect(QRect(QPoint(rect.left() + 1, rect.top() + 1),
                               QPoint(rect.left() + 20, rect.bottom() - 1)));
    }
    painter.setPen(selected ? palette.highlightedText().color() : palette.text().color());
    const QRect textRect = rect.adjusted(24, 0, 0, 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
}

class TColorDelegate : public QStyledItemDelegate {
  public:
    TColorDelegate(TColorBox* box) : QStyledItemDelegate(box), FBox(box) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        DrawEntry(*painter, option.rect, index.data().toString(), FBox->EntryColor(index.row()),
                  option.state & QStyle::State_Selected, option.palette);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // At least the fixed entry height; more when the font is larger.
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        return {size.width() + 24, std::max(ItemHeight, option.fontMetrics.height())};
    }

  private:
    TColorBox* FBox;
};

} // namespace

std::function<int(QWidget*, int)> TColorBox::ChooseColor = [](QWidget* owner, int current) {
    const QColor chosen = QColorDialog::getColor(SkinQColor(current), owner);
    if (!chosen.isValid())
        return -1;
    return chosen.red() + 256 * chosen.green() + 65536 * chosen.blue();
};

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
    setObjectName("cmbColor");
    for (const TNamedColor& color : FixedColors)
        addItem(color.Name);
    addItem("Custom...");
    setItemDelegate(new TColorDelegate(this));
    connect(this, &QComboBox::activated, this, &TColorBox::EntryChosen);
}

void TColorBox::SelectColor(int value) {
    for (int i = 0; i < static_cast<int>(FixedColors.size()); ++i)
        if (FixedColors[i].Value == value) {
            setCurrentIndex(i);
            return;
        }
    CustomColor = value;
    setCurrentIndex(CustomEntry);
    update();
}

int TColorBox::SelectedColor() const {
    return EntryColor(currentIndex());
}

int TColorBox::EntryColor(int index) const {
    if (index >= 0 && index < static_cast<int>(FixedColors.size()))
        return FixedColors[index].Value;
    return CustomColor;
}

void TColorBox::EntryChosen(int index) {
    if (index != CustomEntry)
        return;
    const int chosen = ChooseColor(this, CustomColor);
    if (chosen >= 0)
        CustomColor = chosen;
    update();
}

void TColorBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    DrawEntry(painter, field, currentText(), SelectedColor(), false, palette());
}
