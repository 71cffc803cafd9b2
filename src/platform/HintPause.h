// Hints (tool tips) stay up to 15 seconds in every widget of the application.
#pragma once

#include <QObject>

constexpr int HintHidePause = 15000;

// Qt has no application-wide tool tip duration; this filter shows each widget's tool
// tip with HintHidePause unless the widget sets a duration of its own.
class THintPause : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
