// Drawing of the ticker bar off-screen, from the skin and the bar's layout.
#pragma once

#include "core/Options.h" // NoAccountColor: the account colour that means none
#include "model/BarLayout.h"
#include "skin/Skin.h"

#include <QImage>
#include <QString>

#include <functional>

// What a message button shows of its entry.
struct TBarEntry {
    QString Caption;
    int Priority = 0;           // 0 none, else 1 (highest) to 5 (lowest)
    int Color = NoAccountColor; // the account's text colour
};

class TBarPainter {
  public:
    TBarPainter();

    // Draws the whole bar into BarImage (client width by skin height) and
    // returns its layout with HotItem and the normalised FirstVisible; the
    // window's hint is that of entry HotItem - HotFirstMessage when HotItem
    // names a message. entry(k) is asked only for the entries shown. The
    // caller copies BarImage to the window. When state.IsRead or entry throws,
    // the exception passes on and BarImage keeps its previous picture.
    TBarLayout PaintBar(const TSkinData& skin, const TBarState& state,
                        const std::function<TBarEntry(int)>& entry);

    QImage BarImage;
    QImage ButtonImage;
    // 12 x 12 marks for priorities 1-2 and 4-5; replaceable by the window's own.
    QImage HighPriority, LowPriority;

  private:
    void DrawMessageButton(const TSkinData& skin, int width, int state, const TBarEntry& entry);
};

// The skin's widths in the form the layout takes.
TBarMetrics BarMetrics(const TSkinData& skin);

// The built-in 12 x 12 priority marks: index 0 high, 1 low.
QImage PriorityMark(int index);
