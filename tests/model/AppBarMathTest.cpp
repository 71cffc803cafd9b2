// Docking arithmetic: the edge a drag proposes, auto-hide places, the slide, a move's end.
#include "model/AppBarMath.h"

#include <gtest/gtest.h>

namespace {

const TRect Screen{0, 0, 1280, 1024};
// A panel of 30 pixels at the bottom.
const TRect WorkArea{0, 0, 1280, 994};

int Propose(int x, int y, bool ctrl = false) {
    return ProposeEdge(x, y, ctrl, TickerEdges, abeFloat, Screen, WorkArea, 17, 17);
}

} // namespace

TEST(AppBarMath, DragDocksOnlyNearTheTopOrBottomOfTheWorkAreaAndCtrlKeepsItFloating) {
    EXPECT_EQ(Propose(640, 5), abeTop);
    EXPECT_EQ(Propose(640, 990), abeBottom); // within a scroll bar of the panel
    EXPECT_EQ(Propose(640, 100), abeFloat);
    EXPECT_EQ(Propose(640, 5, true), abeFloat);
    // The left and right edges are not allowed: the bar floats there.
    EXPECT_EQ(Propose(3, 512), abeFloat);
    EXPECT_EQ(Propose(1277, 512), abeFloat);
    // In the top left corner the diagonal decides: left of it floats, above it docks.
    EXPECT_EQ(Propose(5, 10), abeFloat);
    EXPECT_EQ(Propose(20, 3), abeTop);
}

TEST(AppBarMath, DockRectangleLeavesOtherPanelsTheirRoomUnlessHidden) {
    EXPECT_EQ(DockRect(abeTop, Screen, WorkArea, false, 24, 32), (TRect{0, 0, 1280, 24}));
    EXPECT_EQ(DockRect(abeBottom, Screen, WorkArea, false, 24, 32), (TRect{0, 970, 1280, 994}));
    EXPECT_EQ(DockRect(abeBottom, Screen, WorkArea, true, 24, 32), (TRect{0, 1000, 1280, 1024}));
}

TEST(AppBarMath, AutoHideLeavesTwoBordersAndTheSlideEndsOnItsTarget) {
    EXPECT_EQ(AutoHidePosition(abeTop, false, Screen, 1280, 24), (TPoint{0, -22}));
    EXPECT_EQ(AutoHidePosition(abeTop, true, Screen, 1280, 24), (TPoint{0, 0}));
    EXPECT_EQ(AutoHidePosition(abeBottom, false, Screen, 1280, 24), (TPoint{0, 1022}));
    EXPECT_EQ(AutoHidePosition(abeBottom, true, Screen, 1280, 24), (TPoint{0, 1000}));
    const TRect shown{0, 0, 1280, 24}, hidden{0, -22, 1280, 2};
    EXPECT_EQ(SlideFrame(shown, hidden, 0, 400), shown);
    EXPECT_EQ(SlideFrame(shown, hidden, 200, 400), (TRect{0, -11, 1280, 13}));
    EXPECT_EQ(SlideFrame(shown, hidden, 399, 400).Top, -21); // integer steps, towards 0
    EXPECT_EQ(SlideFrame(shown, hidden, 400, 400), hidden);
}

TEST(AppBarMath, DockedBarDraggedAwayFloatsUnderThePointerWithItsLastFloatingSize) {
    const TRect floatRect{100, 200, 700, 224};
    const TRect docked{0, 0, 1280, 24};
    const TRect moving = DragRect(abeFloat, abeTop, docked, floatRect, 640, 300, {});
    EXPECT_EQ(moving, (TRect{340, 300, 940, 324}));
    // Dragged back to the top it snaps to the dock rectangle.
    EXPECT_EQ(DragRect(abeTop, abeFloat, moving, floatRect, 640, 3, docked), docked);

    TMoveEnd end = EndMove(abeFloat, abeTop, moving, floatRect, WorkArea, 24);
    EXPECT_EQ(end.Edge, abeFloat);
    EXPECT_EQ(end.FloatRect, moving);
    // A floating bar left partly off the left comes back to 0.
    end = EndMove(abeFloat, abeFloat, TRect{-50, 10, 550, 34}, floatRect, WorkArea, 24);
    EXPECT_EQ(end.Window, (TRect{0, 10, 600, 34}));
    EXPECT_EQ(end.FloatRect, end.Window);
    // A window as wide as the work area keeps the previous floating size.
    end = EndMove(abeFloat, abeTop, TRect{0, 300, 1280, 324}, floatRect, WorkArea, 24);
    EXPECT_EQ(end.FloatRect, (TRect{0, 300, 600, 324}));
    // Staying docked takes the window's height as the dock size.
    EXPECT_EQ(EndMove(abeTop, abeTop, TRect{0, 0, 1280, 30}, floatRect, WorkArea, 24).HorzDockSize,
              30);
}
