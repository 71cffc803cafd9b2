// Drawing of the ticker bar off-screen, from the skin and the bar's layout.
#include "skin/BarPainter.h"

#include <QPainter>
#include <QPainterPath>

#include <vector>

namespace {

constexpr int MarkSize = 12;
constexpr int MarkShift = 16; // text moves this far right after a priority mark

// Copies columns [sourceX, sourceX + width) of the top `height` rows of source to (x, 0).
void Blit(QPainter& painter, int x, const QImage& source, int sourceX, int width, int height) {
    if (width > 0 && height > 0)
        painter.drawImage(QPoint(x, 0), source, QRect(sourceX, 0, width, height));
}

void BlitElement(QPainter& painter, const TBarElement& element, const QImage& source, int sourceX,
                 int height) {
    if (element.Shown)
        Blit(painter, element.Left, source, sourceX + element.State * element.Width, element.Width,
             height);
}

void ResizeImage(QImage& image, int width, int height) {
    if (image.width() != width || image.height() != height)
        image = QImage(width, height, QImage::Format_RGB32);
}

QString SingleLine(QString text) {
    for (QChar& c : text)
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
    return text;
}

} // namespace

TBarMetrics BarMetrics(const TSkinData& skin) {
    TBarMetrics m;
    m.BackgroundWidth = skin.Background.width();
    m.MoveBarWidth = skin.Arrows.MoveBarWidth;
    m.SizeBarWidth = skin.Arrows.SizeBarWidth;
    m.LeftArrowWidth = skin.Arrows.LeftArrowWidth;
    m.RightArrowWidth = skin.Arrows.RightArrowWidth;
    m.FirstArrowWidth = skin.Arrows.FirstArrowWidth;
    m.LastArrowWidth = skin.Arrows.LastArrowWidth;
    m.DropdownWidth = skin.Arrows.DropdownWidth;
    m.MenuButtonWidth = skin.MenuButton.Width;
    m.ErrorWidth = skin.Error.Width;
    return m;
}

QImage PriorityMark(int index) {
    QImage mark(MarkSize, MarkSize, QImage::Format_ARGB32_Premultiplied);
    mark.fill(Qt::transparent);
    QPainter p(&mark);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (index == 0) {
        // A red disc with a white exclamation mark.
        p.setBrush(QColor(0xD0, 0x20, 0x20));
        p.drawEllipse(QRectF(0.5, 0.5, 11, 11));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5, 2.5, 2, 5));
        p.drawRect(QRectF(5, 8.5, 2, 1.5));
    } else {
        // A blue arrow pointing down.
        p.setBrush(QColor(0x20, 0x60, 0xC0));
        QPainterPath arrow;
        arrow.moveTo(4, 1);
        arrow.lineTo(8, 1);
        arrow.lineTo(8, 6);
        arrow.lineTo(11, 6);
        arrow.lineTo(6, 11);
        arrow.lineTo(1, 6);
        arrow.lineTo(4, 6);
        arrow.closeSubpath();
        p.drawPath(arrow);
    }
    return mark;
}

TBarPainter::TBarPainter() : HighPriority(PriorityMark(0)), LowPriority(PriorityMark(1)) {}

TBarLayout TBarPainter::PaintBar(const TSkinData& skin, const TBarState& state,
                                 const std::function<TBarEntry(int)>& entry) {
    const TBarMetrics m = BarMetrics(skin);
    const TBarLayout layout = LayoutBar(m, state);
    const int w = state.ClientWidth;
    const int h = skin.Height;
    if (w <= 0 || h <= 0)
        return layout;
    // Everything asked of the caller is asked before the first pixel changes,
    // so a failing call leaves the previous picture whole.
    std::vector<TBarEntry> entries;
    entries.reserve(layout.Buttons.size());
    for (const TBarButton& button : layout.Buttons)
        entries.push_back(entry(button.Entry));

    ResizeImage(BarImage, w, h);
    // Pieces narrower than the bar or bitmaps shorter than it leave no stale pixels.
    BarImage.fill(Qt::black);
    QPainter bar(&BarImage);
    bar.setCompositionMode(QPainter::CompositionMode_Source);

    const QImage& arrows = skin.Arrows.Bitmap;
    const int arrowsBase = m.MoveBarWidth + m.SizeBarWidth;
    const int dropdownBase = arrowsBase + 3 * (m.LeftArrowWidth + m.RightArrowWidth +
                                               m.FirstArrowWidth + m.LastArrowWidth);

    BlitElement(bar, layout.MoveBar, arrows, 0, h);
    BlitElement(bar, layout.MenuButton, skin.MenuButton.Bitmap, 0, h);
    BlitElement(bar, layout.ErrorButton, skin.Error.Bitmap, 0, h);

    const int tile = m.BackgroundWidth;
    if (tile > 0) {
        const int tiles = (w - layout.BackgroundLeft) / tile + 2;
        for (int i = 0; i < tiles; ++i)
            bar.drawImage(QPoint(layout.BackgroundLeft + i * tile, 0), skin.Background);
    }

    BlitElement(bar, layout.LeftDropdown, arrows, dropdownBase, h);
    BlitElement(bar, layout.RightDropdown, arrows, dropdownBase, h);
    BlitElement(bar, layout.FirstArrow, arrows,
                arrowsBase + 3 * (m.LeftArrowWidth + m.RightArrowWidth), h);
    BlitElement(bar, layout.LeftArrow, arrows, arrowsBase, h);
    BlitElement(bar, layout.LastArrow, arrows,
                arrowsBase + 3 * (m.LeftArrowWidth + m.RightArrowWidth + m.FirstArrowWidth), h);
    BlitElement(bar, layout.RightArrow, arrows, arrowsBase + 3 * m.LeftArrowWidth, h);

    if (!layout.Buttons.empty()) {
        ResizeImage(ButtonImage, layout.ButtonWidth, h);
        for (size_t i = 0; i < layout.Buttons.size(); ++i) {
            DrawMessageButton(skin, layout.ButtonWidth, layout.Buttons[i].State, entries[i]);
            bar.drawImage(QPoint(layout.Buttons[i].Left, 0), ButtonImage);
        }
    }

    BlitElement(bar, layout.SizeBar, arrows, m.MoveBarWidth, h);
    return layout;
}

void TBarPainter::DrawMessageButton(const TSkinData& skin, int width, int state,
                                    const TBarEntry& entry) {
    const auto& look = skin.Button;
    const int h = skin.Height;
    const int offset = state * look.Width;
    const int middle = look.Width - look.BorderLeft - look.BorderRight;

    QPainter p(&ButtonImage);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    ButtonImage.fill(Qt::black);
    Blit(p, 0, look.Bitmap, offset, look.BorderLeft, h);
    if (middle > 0) {
        const int tiles = width / middle + 2;
        for (int i = 0; i < tiles; ++i)
            Blit(p, look.BorderLeft + i * middle, look.Bitmap, offset + look.BorderLeft, middle, h);
    }
    Blit(p, width - look.BorderRight, look.Bitmap, offset + look.Width - look.BorderRight,
         look.BorderRight, h);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    // Right and bottom are exclusive, as the insets count from the edges.
    QRect text(look.BorderLeft, look.BorderTop, width - look.BorderRight - look.BorderLeft,
               h - look.BorderBottom - look.BorderTop);
    if (state == StatePressed)
        text.translate(1, 1);

    const QImage* mark = nullptr;
    if (entry.Priority == 1 || entry.Priority == 2)
        mark = &HighPriority;
    else if (entry.Priority == 4 || entry.Priority == 5)
        mark = &LowPriority;
    if (mark) {
        p.drawImage(QPoint(text.left(), text.top() + (text.height() - MarkSize) / 2), *mark);
        text.setLeft(text.left() + MarkShift);
    }

    if (text.width() <= 0 || text.height() <= 0 || entry.Caption.isEmpty())
        return;
    p.setFont(look.Font.Font);
    p.setPen(SkinQColor(entry.Color != NoAccountColor ? entry.Color : look.Font.Color));
    const QString caption =
        p.fontMetrics().elidedText(SingleLine(entry.Caption), Qt::ElideRight, text.width());
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
}
