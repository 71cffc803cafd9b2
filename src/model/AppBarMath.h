// Docking arithmetic of the bar: dock rectangles, the edge a move proposes, auto-hide
// positions, the slide and the end-of-move rules. Plain numbers, no window system.
#pragma once

#include "core/AppBarEdge.h"

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    TRect Moved(int left, int top) const { return {left, top, left + Width(), top + Height()}; }
    bool operator==(const TRect&) const = default;
};

// The edges a bar may take, as bits 1 << edge (abeFloat included).
enum : unsigned {
    abfAllowLeft = 1u << abeLeft,
    abfAllowTop = 1u << abeTop,
    abfAllowRight = 1u << abeRight,
    abfAllowBottom = 1u << abeBottom,
    abfAllowFloat = 1u << abeFloat,
};
// The ticker docks at the top or the bottom, or floats.
constexpr unsigned TickerEdges = abfAllowTop | abfAllowBottom | abfAllowFloat;

inline bool IsDockedEdge(int edge) {
    return edge == abeLeft || edge == abeTop || edge == abeRight || edge == abeBottom;
}

// The rectangle of a bar docked at edge: the work area (the whole screen when the bar
// hides itself, since it reserves nothing), cut to the dock size at that edge.
TRect DockRect(int edge, const TRect& screen, const TRect& workArea, bool autoHide,
               int horzDockSize, int vertDockSize);

// The edge proposed while the bar is dragged with the pointer at (x, y): floating with
// Ctrl or inside the work area shrunk by a scroll bar's width and height; else the edge
// nearest by the screen's diagonals, when allowed.
int ProposeEdge(int x, int y, bool ctrl, unsigned flags, int currentEdge, const TRect& screen,
                const TRect& workArea, int scrollWidth, int scrollHeight);

// Top left of an auto-hidden bar of size w x h, shown or hidden so that two border
// widths stay on screen.
struct TPoint {
    int X = 0, Y = 0;
    bool operator==(const TPoint&) const = default;
};
TPoint AutoHidePosition(int edge, bool shown, const TRect& screen, int w, int h, int border = 1);

// One frame of a slide from current to target, elapsed of slideTime ms gone; the
// target itself once the time is up.
TRect SlideFrame(const TRect& current, const TRect& target, int elapsed, int slideTime);

// The moving rectangle for a proposal: a docked proposal snaps to its dock rectangle; a
// floating proposal when the drag began docked takes the floating size with its top
// centre under the pointer.
TRect DragRect(int proposal, int dragEdge, const TRect& moving, const TRect& floatRect, int x,
               int y, const TRect& dockRect);

// What a move leaves behind: the new edge, floating rectangle and dock size.
struct TMoveEnd {
    int Edge = abeFloat;
    TRect Window;    // the window, with a left below 0 put back to 0
    TRect FloatRect; // the floating rectangle to keep
    int HorzDockSize = 0;
};
TMoveEnd EndMove(int proposal, int edgeBefore, const TRect& window, const TRect& floatRect,
                 const TRect& workArea, int horzDockSize);
