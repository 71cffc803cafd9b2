// Bar layout: positions and widths, the scroll position's normalisation, arrows and hot items.
#include "model/BarLayout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A typical bar: move grip 8, menu button 30, dropdown 14, arrows 12, size grip 8.
TBarMetrics ExampleMetrics() {
    TBarMetrics m;
    m.BackgroundWidth = 10;
    m.MoveBarWidth = 8;
    m.SizeBarWidth = 8;
    m.LeftArrowWidth = m.RightArrowWidth = m.FirstArrowWidth = m.LastArrowWidth = 12;
    m.DropdownWidth = 14;
    m.MenuButtonWidth = 30;
    m.ErrorWidth = 20;
    return m;
}

// Entries from a pattern: 'u' unread, 'r' read.
TBarState StateFor(const std::string& pattern, int firstVisible = 0, int width = 600) {
    TBarState state;
    state.ClientWidth = width;
    state.ButtonWidth = 100;
    state.FirstVisible = firstVisible;
    state.EntryCount = int(pattern.size());
    state.IsRead = [pattern](int k) { return pattern[size_t(k)] == 'r'; };
    return state;
}

std::vector<int> Lefts(const TBarLayout& layout) {
    std::vector<int> lefts;
    for (const TBarButton& b : layout.Buttons)
        lefts.push_back(b.Left);
    return lefts;
}

std::vector<int> Entries(const TBarLayout& layout) {
    std::vector<int> entries;
    for (const TBarButton& b : layout.Buttons)
        entries.push_back(b.Entry);
    return entries;
}

TBarLayout Hover(TBarState state, int x, bool down = false) {
    state.MouseX = x;
    state.MouseY = 5;
    state.MouseDown = down;
    return LayoutBar(ExampleMetrics(), state);
}

} // namespace

TEST(BarLayout, SixUnreadOn600PixelsGiveFourButtonsOf116) {
    const TBarLayout layout = LayoutBar(ExampleMetrics(), StateFor("uuuuuu"));
    EXPECT_EQ(layout.MenuButton.Left, 8);
    EXPECT_EQ(layout.LeftDropdown.Left, 38);
    EXPECT_EQ(layout.BackgroundLeft, 38);
    EXPECT_EQ(layout.ButtonWidth, 116);
    EXPECT_EQ(Lefts(layout), (std::vector<int>{76, 192, 308, 424}));
    EXPECT_EQ(Entries(layout), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_FALSE(layout.MoreLeft);
    EXPECT_TRUE(layout.MoreRight);
    EXPECT_FALSE(layout.FirstArrow.Shown);
    EXPECT_FALSE(layout.LeftArrow.Shown);
    EXPECT_TRUE(layout.RightArrow.Shown);
    EXPECT_EQ(layout.RightArrow.Left, 554);
    EXPECT_EQ(layout.LastArrow.Left, 566);
    EXPECT_EQ(layout.RightDropdown.Left, 578);
    EXPECT_EQ(layout.SizeBar.Left, 592);
    EXPECT_EQ(layout.HotItem, HotNone);
    EXPECT_EQ(layout.FirstVisible, 0);
}

TEST(BarLayout, ErrorButtonShiftsEverythingAfterIt) {
    TBarState state = StateFor("uuuuuu");
    state.HasErrors = true;
    const TBarLayout layout = LayoutBar(ExampleMetrics(), state);
    EXPECT_TRUE(layout.ErrorButton.Shown);
    EXPECT_EQ(layout.ErrorButton.Left, 38);
    EXPECT_EQ(layout.LeftDropdown.Left, 58);
    // 444 pixels: four buttons of 111.
    EXPECT_EQ(layout.ButtonWidth, 111);
    EXPECT_EQ(Lefts(layout), (std::vector<int>{96, 207, 318, 429}));
}

TEST(BarLayout, NoUnreadEntriesShowNoButtonsNorArrows) {
    TBarState state = StateFor("rrr", 2);
    state.MouseX = 300;
    state.MouseY = 5;
    const TBarLayout layout = LayoutBar(ExampleMetrics(), state);
    EXPECT_TRUE(layout.Buttons.empty());
    EXPECT_FALSE(layout.FirstArrow.Shown || layout.LeftArrow.Shown || layout.RightArrow.Shown ||
                 layout.LastArrow.Shown);
    EXPECT_TRUE(layout.LeftDropdown.Shown && layout.RightDropdown.Shown && layout.SizeBar.Shown);
    EXPECT_EQ(layout.HotItem, HotNone);
    EXPECT_EQ(layout.FirstVisible, 2);
}

TEST(BarLayout, FiveUnreadRoomForThreeShowsFirstThreeAndRightArrows) {
    const TBarLayout layout = LayoutBar(ExampleMetrics(), StateFor("uuuuu", 0, 500));
    EXPECT_EQ(Entries(layout), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(layout.MoreRight);
    EXPECT_FALSE(layout.MoreLeft);
    EXPECT_TRUE(layout.RightArrow.Shown && layout.LastArrow.Shown);
    EXPECT_FALSE(layout.FirstArrow.Shown || layout.LeftArrow.Shown);
}

TEST(BarLayout, FirstVisibleNearTheEndShowsTheLastBarFull) {
    // Unread: 0, 2, 3, 5, 6; four fit. From 5 only two follow.
    const TBarLayout layout = LayoutBar(ExampleMetrics(), StateFor("uruuruu", 5));
    EXPECT_EQ(layout.FirstVisible, 2);
    EXPECT_EQ(Entries(layout), (std::vector<int>{2, 3, 5, 6}));
    EXPECT_TRUE(layout.MoreLeft);
    EXPECT_FALSE(layout.MoreRight);
    EXPECT_TRUE(layout.FirstArrow.Shown && layout.LeftArrow.Shown);
    EXPECT_EQ(layout.FirstArrow.Left, 52);
    EXPECT_EQ(layout.LeftArrow.Left, 64);

    // The last arrow's index and one scroll step past the end land in the same place.
    EXPECT_EQ(LayoutBar(ExampleMetrics(), StateFor("uruuruu", 6)).FirstVisible, 2);
    EXPECT_EQ(LayoutBar(ExampleMetrics(), StateFor("uruuruu", 7)).FirstVisible, 2);
    EXPECT_EQ(LayoutBar(ExampleMetrics(), StateFor("uruuruu", 2)).FirstVisible, 2);
}

TEST(BarLayout, FirstVisibleOnReadEntryMovesToNextUnread) {
    const TBarLayout layout = LayoutBar(ExampleMetrics(), StateFor("uurruuuuuu", 2));
    EXPECT_EQ(layout.FirstVisible, 4);
    EXPECT_EQ(Entries(layout), (std::vector<int>{4, 5, 6, 7}));
    EXPECT_TRUE(layout.MoreLeft);
    EXPECT_TRUE(layout.MoreRight);
}

TEST(BarLayout, NegativeFirstVisibleStartsAtTheFirstEntry) {
    EXPECT_EQ(LayoutBar(ExampleMetrics(), StateFor("ruu", -1)).FirstVisible, 1);
}

TEST(BarLayout, FixedElementsAreHotOnlyInsideTheirEdges) {
    const TBarState state = StateFor("uuuuuu");
    EXPECT_EQ(Hover(state, 8).HotItem, HotNone); // left edge column of the menu button
    EXPECT_EQ(Hover(state, 9).HotItem, HotMenuButton);
    EXPECT_EQ(Hover(state, 37).HotItem, HotMenuButton);
    EXPECT_EQ(Hover(state, 38).HotItem, HotNone); // the next element's left edge
    EXPECT_EQ(Hover(state, 40).HotItem, HotDropdown);
    EXPECT_EQ(Hover(state, 560).HotItem, HotRightArrow);
    EXPECT_EQ(Hover(state, 570).HotItem, HotLastArrow);
    EXPECT_EQ(Hover(state, 580).HotItem, HotDropdown);
    EXPECT_EQ(Hover(state, 595).HotItem, HotNone); // the size grip is never hot
    EXPECT_EQ(Hover(state, 5).HotItem, HotNone);   // nor the move grip
    EXPECT_EQ(Hover(state, 545).HotItem, HotNone); // the gap of background

    const TBarLayout down = Hover(state, 20, true);
    EXPECT_EQ(down.MenuButton.State, StatePressed);
    EXPECT_EQ(down.HotItem, HotMenuButton);
    EXPECT_EQ(Hover(state, 20).MenuButton.State, StateHot);
}

TEST(BarLayout, MessageButtonsCountTheirLeftEdge) {
    const TBarState state = StateFor("uuuuuu");
    EXPECT_EQ(Hover(state, 75).HotItem, HotNone);
    EXPECT_EQ(Hover(state, 76).HotItem, HotFirstMessage + 0);
    EXPECT_EQ(Hover(state, 191).HotItem, HotFirstMessage + 0);
    EXPECT_EQ(Hover(state, 192).HotItem, HotFirstMessage + 1);
    EXPECT_EQ(Hover(state, 539).HotItem, HotFirstMessage + 3);
    EXPECT_EQ(Hover(state, 540).HotItem, HotNone);

    const TBarLayout layout = Hover(state, 200, true);
    EXPECT_EQ(layout.Buttons[1].State, StatePressed);
    EXPECT_EQ(layout.Buttons[0].State, StateNormal);

    // The code names the entry, not the position on the bar.
    EXPECT_EQ(Hover(StateFor("rruuuu"), 76).HotItem, HotFirstMessage + 2);
}

TEST(BarLayout, PointerAboveTheBarIsNowhere) {
    TBarState state = StateFor("uuuuuu");
    state.MouseX = 200;
    state.MouseY = -1;
    EXPECT_EQ(LayoutBar(ExampleMetrics(), state).HotItem, HotNone);
}

TEST(BarLayout, OpenListPressesBothDropdownsWithoutThePointer) {
    TBarState state = StateFor("uu");
    state.ListShown = true;
    const TBarLayout layout = LayoutBar(ExampleMetrics(), state);
    EXPECT_EQ(layout.LeftDropdown.State, StatePressed);
    EXPECT_EQ(layout.RightDropdown.State, StatePressed);
    EXPECT_EQ(layout.HotItem, HotNone);
    EXPECT_EQ(Hover(state, 580).HotItem, HotDropdown);
}

TEST(BarLayout, NarrowBarKeepsOneButtonOrNone) {
    // 200 pixels leave 64 for buttons: one narrower button rather than none.
    const TBarLayout narrow = LayoutBar(ExampleMetrics(), StateFor("uuu", 0, 200));
    EXPECT_EQ(Entries(narrow), (std::vector<int>{0}));
    EXPECT_EQ(narrow.ButtonWidth, 64);
    EXPECT_TRUE(narrow.MoreRight);

    // No room at all: no buttons, no arrows, but the scroll position stays in range.
    const TBarLayout none = LayoutBar(ExampleMetrics(), StateFor("uuru", 9, 100));
    EXPECT_TRUE(none.Buttons.empty());
    EXPECT_FALSE(none.RightArrow.Shown || none.LeftArrow.Shown);
    EXPECT_EQ(none.FirstVisible, 3);
}

TEST(FitButtons, MatchesCountingDownOneAtATime) {
    for (int room = 1; room < 700; room += 7)
        for (int unread = 1; unread < 12; ++unread)
            for (int minWidth : {50, 100, 300}) {
                int n = unread;
                while (n > 0 && room / n < minWidth)
                    --n;
                const TButtonFit fit = FitButtons(room, unread, minWidth);
                if (n == 0) {
                    EXPECT_EQ(fit.Count, 1);
                    EXPECT_EQ(fit.Width, room);
                } else {
                    EXPECT_EQ(fit.Count, n);
                    EXPECT_EQ(fit.Width, room / n);
                }
            }
    EXPECT_EQ(FitButtons(0, 5, 100).Count, 0);
    EXPECT_EQ(FitButtons(-20, 5, 100).Count, 0);
    EXPECT_EQ(FitButtons(300, 0, 100).Count, 0);
    EXPECT_EQ(FitButtons(3, 10, 0).Width, 1); // a zero minimum never gives empty buttons
}
