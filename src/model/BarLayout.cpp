// Layout of the ticker bar: element places and states, message buttons, hot item, scroll place.
#include "model/BarLayout.h"

#include <algorithm>

namespace {

// Fixed elements are hot only strictly inside their edges.
int ElementState(const TBarState& state, int left, int width) {
    if (state.MouseY >= 0 && left < state.MouseX && state.MouseX < left + width)
        return state.MouseDown ? StatePressed : StateHot;
    return StateNormal;
}

TBarElement Place(const TBarState& state, int left, int width, int code, int& hotItem) {
    TBarElement element{true, left, width, ElementState(state, left, width)};
    if (element.State != StateNormal)
        hotItem = code;
    return element;
}

} // namespace

TButtonFit FitButtons(int room, int unread, int minWidth) {
    if (unread <= 0 || room <= 0)
        return {};
    minWidth = std::max(minWidth, 1);
    // The largest count whose buttons are still minWidth wide: what counting
    // down from `unread` one at a time would reach.
    const int count = std::min(unread, room / minWidth);
    if (count == 0)
        return {1, room};
    return {count, room / count};
}

TScrollWindow NormaliseFirstVisible(int firstVisible, int shown, int entryCount,
                                    const std::function<bool(int)>& isRead) {
    TScrollWindow result;
    int first = std::max(firstVisible, 0);
    int counted = 0;
    for (int j = first; j < entryCount; ++j) {
        if (!isRead(j)) {
            if (counted < shown) {
                ++counted;
            } else {
                result.MoreRight = true;
                break;
            }
        } else if (j == first) {
            ++first; // step over a run of read entries at the start
        }
    }
    if (counted < shown)
        first = entryCount;
    if (first > entryCount - 1) {
        // Show the last `shown` unread entries (all of them when there are fewer).
        first = 0;
        int found = 0;
        for (int j = entryCount - 1; j >= 0 && found < shown; --j) {
            if (!isRead(j)) {
                ++found;
                first = j;
            }
        }
    }
    for (int j = 0; j < first && !result.MoreLeft; ++j)
        result.MoreLeft = !isRead(j);
    result.FirstVisible = first;
    return result;
}

TBarLayout LayoutBar(const TBarMetrics& m, const TBarState& state) {
    TBarLayout layout;
    layout.FirstVisible = state.FirstVisible;
    const int w = state.ClientWidth;
    int& hot = layout.HotItem;
    int x = 0;

    layout.MoveBar = {true, x, m.MoveBarWidth, StateNormal};
    x += m.MoveBarWidth;
    layout.MenuButton = Place(state, x, m.MenuButtonWidth, HotMenuButton, hot);
    x += m.MenuButtonWidth;
    if (state.HasErrors) {
        layout.ErrorButton = Place(state, x, m.ErrorWidth, HotErrorButton, hot);
        x += m.ErrorWidth;
    }
    layout.BackgroundLeft = x;

    layout.LeftDropdown = Place(state, x, m.DropdownWidth, HotDropdown, hot);
    x += m.DropdownWidth;
    layout.RightDropdown =
        Place(state, w - m.SizeBarWidth - m.DropdownWidth, m.DropdownWidth, HotDropdown, hot);
    if (state.ListShown)
        layout.LeftDropdown.State = layout.RightDropdown.State = StatePressed;
    layout.SizeBar = {true, w - m.SizeBarWidth, m.SizeBarWidth, StateNormal};

    int unread = 0;
    for (int k = 0; k < state.EntryCount; ++k)
        unread += state.IsRead(k) ? 0 : 1;
    if (unread == 0)
        return layout;

    // The right dropdown is counted twice: a gap of one dropdown width stays
    // between the last message button and the right arrow.
    const int room = w - x - m.SizeBarWidth - m.LeftArrowWidth - m.RightArrowWidth -
                     m.FirstArrowWidth - m.LastArrowWidth - 2 * m.DropdownWidth;
    const TButtonFit fit = FitButtons(room, unread, state.ButtonWidth);
    // Without room for a button the scroll position is still kept in range.
    const TScrollWindow window = NormaliseFirstVisible(state.FirstVisible, std::max(fit.Count, 1),
                                                       state.EntryCount, state.IsRead);
    layout.FirstVisible = window.FirstVisible;
    if (fit.Count == 0)
        return layout;
    layout.MoreLeft = window.MoreLeft;
    layout.MoreRight = window.MoreRight;
    layout.ButtonWidth = fit.Width;

    if (window.MoreLeft) {
        layout.FirstArrow = Place(state, x, m.FirstArrowWidth, HotFirstArrow, hot);
        layout.LeftArrow = Place(state, x + m.FirstArrowWidth, m.LeftArrowWidth, HotLeftArrow, hot);
    }
    x += m.FirstArrowWidth + m.LeftArrowWidth;
    if (window.MoreRight) {
        const int lastLeft = w - m.SizeBarWidth - m.DropdownWidth - m.LastArrowWidth;
        layout.LastArrow = Place(state, lastLeft, m.LastArrowWidth, HotLastArrow, hot);
        layout.RightArrow =
            Place(state, lastLeft - m.RightArrowWidth, m.RightArrowWidth, HotRightArrow, hot);
    }

    layout.Buttons.reserve(static_cast<size_t>(fit.Count));
    for (int j = window.FirstVisible;
         j < state.EntryCount && int(layout.Buttons.size()) < fit.Count; ++j) {
        if (state.IsRead(j))
            continue;
        TBarButton button{j, x, StateNormal};
        // Message buttons count their left edge column, so no pixel between
        // two neighbours belongs to neither.
        if (state.MouseY >= 0 && x <= state.MouseX && state.MouseX < x + fit.Width) {
            button.State = state.MouseDown ? StatePressed : StateHot;
            hot = HotFirstMessage + j;
        }
        layout.Buttons.push_back(button);
        x += fit.Width;
    }
    return layout;
}
