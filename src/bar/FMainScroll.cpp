// The bar's automatic scrolling: a pause, then one message a step, then back to the first.
#include "bar/FMain.h"

#include "store/MessageStore.h"

#include <QTimer>

bool TfrmMain::CanScroll() const {
    if (!Settings().Options().Scroll)
        return false;
    // Only unread entries have buttons: scrolling is needed when they do not all fit.
    const TBarLayout layout = CurrentLayout();
    return layout.MoreLeft || layout.MoreRight;
}

void TfrmMain::RestartScrollDelay() {
    tmrScroll->stop();
    // An idle bar with nothing to scroll runs no timer at all.
    if (CanScroll())
        tmrScrollDelay->start();
    else
        tmrScrollDelay->stop();
}

void TfrmMain::tmrScrollDelayTimer() {
    tmrScrollDelay->stop();
    if (!CanScroll())
        return;
    tmrScroll->start();
    tmrScrollTimer();
}

void TfrmMain::tmrScrollTimer() {
    if (!CanScroll()) {
        tmrScroll->stop();
        return;
    }
    if (FScrollPrev == -1)
        FirstVisible = -1;
    FScrollPrev = FirstVisible;
    ++FirstVisible;
    // The layout moves FirstVisible on to an unread entry, and back at the end.
    FirstVisible = CurrentLayout().FirstVisible;
    update();
    if (FirstVisible == FScrollPrev)
        FScrollPrev = -1;
    else
        FScrollPrev = FirstVisible;
}
