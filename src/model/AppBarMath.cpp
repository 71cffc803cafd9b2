// Docking arithmetic of the bar: dock rectangles, the edge a move proposes, auto-hide
// positions, the slide and the end-of-move rules.
#include "model/AppBarMath.h"

#include <cstdlib>

TRect DockRect(int edge, const TRect& screen, const TRect& workArea, bool autoHide,
               int horzDockSize, int vertDockSize) {
    TRect rect = autoHide ? screen : workArea;
    switch (edge) {
    case abeTop:
        rect.Bottom = rect.Top + horzDockSize;
        break;
    case abeBottom:
        rect.Top = rect.Bottom - horzDockSize;
        break;
    case abeLeft:
        rect.Right = rect.Left + vertDockSize;
        break;
    case abeRight:
        rect.Left = rect.Right - vertDockSize;
        break;
    default:
        break;
    }
    return rect;
}

int ProposeEdge(int x, int y, bool ctrl, unsigned flags, int currentEdge, const TRect& screen,
                const TRect& workArea, int scrollWidth, int scrollHeight) {
    const bool mayFloat = flags & abfAllowFloat;
    if (ctrl && mayFloat)
        return abeFloat;
    if (mayFloat) {
        const TRect inner{workArea.Left + scrollWidth, workArea.Top + scrollHeight,
                          workArea.Right - scrollWidth, workArea.Bottom - scrollHeight};
        const unsigned edges = abfAllowLeft | abfAllowTop | abfAllowRight | abfAllowBottom;
        if (inner.Contains(x, y) || !(flags & edges))
            return abeFloat;
    }
    const long long dx = x - screen.Width() / 2, dy = y - screen.Height() / 2;
    int edge;
    if (static_cast<long long>(screen.Height()) * std::llabs(dx) <
        static_cast<long long>(screen.Width()) * std::llabs(dy))
        edge = dy < 0 ? abeTop : abeBottom;
    else
        edge = dx < 0 ? abeLeft : abeRight;
    if (flags & (1u << edge))
        return edge;
    return mayFloat ? abeFloat : currentEdge;
}

TPoint AutoHidePosition(int edge, bool shown, const TRect& screen, int w, int h, int border) {
    switch (edge) {
    case abeTop:
        return {0, shown ? 0 : 2 * border - h};
    case abeBottom:
        return {0, shown ? screen.Height() - h : screen.Height() - 2 * border};
    case abeLeft:
        return {shown ? 0 : 2 * border - w, 0};
    case abeRight:
        return {shown ? screen.Width() - w : screen.Width() - 2 * border, 0};
    default:
        return {};
    }
}

TRect SlideFrame(const TRect& current, const TRect& target, int elapsed, int slideTime) {
    if (slideTime <= 0 || elapsed >= slideTime)
        return target;
    auto step = [&](int from, int to) { return from - elapsed * (from - to) / slideTime; };
    const int left = step(current.Left, target.Left), top = step(current.Top, target.Top);
    const int width = step(current.Width(), target.Width());
    const int height = step(current.Height(), target.Height());
    return {left, top, left + width, top + height};
}

TRect DragRect(int proposal, int dragEdge, const TRect& moving, const TRect& floatRect, int x,
               int y, const TRect& dockRect) {
    if (IsDockedEdge(proposal))
        return dockRect;
    if (proposal == abeFloat && dragEdge != abeFloat)
        return floatRect.Moved(x - floatRect.Width() / 2, y);
    return moving;
}

TMoveEnd EndMove(int proposal, int edgeBefore, const TRect& window, const TRect& floatRect,
                 const TRect& workArea, int horzDockSize) {
    TMoveEnd end;
    end.Edge = proposal;
    end.Window = window.Left < 0 ? window.Moved(0, window.Top) : window;
    end.FloatRect = floatRect;
    end.HorzDockSize = horzDockSize;
    if (proposal == edgeBefore && (proposal == abeTop || proposal == abeBottom))
        end.HorzDockSize = end.Window.Height();
    if (proposal == abeFloat) {
        if (edgeBefore == abeFloat)
            end.FloatRect = end.Window;
        else if (end.Window.Width() >= workArea.Width() || end.Window.Height() >= workArea.Height())
            end.FloatRect = floatRect.Moved(end.Window.Left, end.Window.Top);
        else
            end.FloatRect = end.Window;
    }
    return end;
}
