// Layout of the ticker bar: element places and states, message buttons, hot item, scroll place.
#pragma once

#include <functional>
#include <vector>

// Codes of the bar element under the pointer (HotItem); a message button is
// HotFirstMessage + its entry index.
enum : int {
    HotNone = -1,
    HotMenuButton = 0,
    HotErrorButton = 1,
    HotLeftArrow = 2,
    HotRightArrow = 3,
    HotFirstArrow = -2,
    HotLastArrow = -3,
    HotDropdown = -4,
    HotFirstMessage = 4,
};

// Element states, in the order they lie side by side in a skin bitmap.
enum : int { StateNormal = 0, StateHot = 1, StatePressed = 2 };

// The skin's widths and height, all the layout needs of it.
struct TBarMetrics {
    int BackgroundWidth = 0;
    int MoveBarWidth = 0, SizeBarWidth = 0;
    int LeftArrowWidth = 0, RightArrowWidth = 0, FirstArrowWidth = 0, LastArrowWidth = 0;
    int DropdownWidth = 0;
    int MenuButtonWidth = 0;
    int ErrorWidth = 0;
};

// What the bar window knows at the moment of a paint.
struct TBarState {
    int ClientWidth = 0;
    int ButtonWidth = 100;        // smallest width of a message button (the option)
    int MouseX = -1, MouseY = -1; // client pixels; MouseY < 0 while the pointer is away
    bool MouseDown = false;
    bool ListShown = false;
    bool HasErrors = false;
    int FirstVisible = 0;
    int EntryCount = 0;
    std::function<bool(int)> IsRead; // read flag of entry k, 0 <= k < EntryCount
};

struct TBarElement {
    bool Shown = false;
    int Left = 0;
    int Width = 0;
    int State = StateNormal;
};

struct TBarButton {
    int Entry = 0;
    int Left = 0;
    int State = StateNormal;
};

struct TBarLayout {
    TBarElement MoveBar, MenuButton, ErrorButton, LeftDropdown, RightDropdown;
    TBarElement FirstArrow, LeftArrow, RightArrow, LastArrow, SizeBar;
    int BackgroundLeft = 0; // tiles run from here to the right edge
    int ButtonWidth = 0;    // width of every message button (B)
    std::vector<TBarButton> Buttons;
    bool MoreLeft = false, MoreRight = false;
    int HotItem = HotNone;
    int FirstVisible = 0;
};

// Lays the bar out from left to right as it is drawn, testing each element
// against the pointer; later elements win where elements overlap.
TBarLayout LayoutBar(const TBarMetrics& metrics, const TBarState& state);

// Number of message buttons shown (N) and their width (B) for room pixels and
// unread entries. When not even one button of the minimum width fits, one
// button takes all the room; with no room at all there are no buttons.
struct TButtonFit {
    int Count = 0;
    int Width = 0;
};
TButtonFit FitButtons(int room, int unread, int minWidth);

// Moves firstVisible to the first unread entry at or after it, or back so that
// the last shown unread entries fill the bar; reports unread entries beyond
// either end of the shown ones.
struct TScrollWindow {
    int FirstVisible = 0;
    bool MoreLeft = false, MoreRight = false;
};
TScrollWindow NormaliseFirstVisible(int firstVisible, int shown, int entryCount,
                                    const std::function<bool(int)>& isRead);
