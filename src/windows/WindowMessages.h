// The two window messages the worker posts: download progress and end of a job.
#pragma once

#include <QEvent>

// Progress of a retrieval, to the tasks window: WParam bytes so far, LParam the size.
constexpr QEvent::Type WM_QB_PROGRESS = static_cast<QEvent::Type>(9273);
// A job has ended, to the window the job names; no parameters.
constexpr QEvent::Type WM_QB_TASKDONE = static_cast<QEvent::Type>(9280);

class TWindowMessage : public QEvent {
  public:
    TWindowMessage(Type type, long long wParam, long long lParam)
        : QEvent(type), WParam(wParam), LParam(lParam) {}
    long long WParam;
    long long LParam;
};
