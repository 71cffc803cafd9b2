// The window messages the worker posts (download progress, end of a job) as Qt events.
#pragma once

#include "mail/QBThread.h"

#include <QEvent>

class TWindowMessage : public QEvent {
  public:
    TWindowMessage(int message, long long wParam, long long lParam)
        : QEvent(static_cast<QEvent::Type>(message)), WParam(wParam), LParam(lParam) {}
    long long WParam;
    long long LParam;
};

inline bool IsWindowMessage(const QEvent* e, int message) {
    return e->type() == static_cast<QEvent::Type>(message);
}
