// The ticker bar window: draws the message store's entries and answers the pointer.
#pragma once

#include "bar/UPaint.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <string>

class QTimer;
class TMessageStore;
class THotKey;

class TfrmMain : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmMain(TMessageStore& store);
    ~TfrmMain() override;

    TMessageStore& Store;
    // The window the drop-down button shows and hides.
    void SetMessageList(QWidget* list);

    bool ListShown = false;
    // What the bar shows and where the pointer is (client pixels, -1 away).
    int FirstVisible = 0;
    int HotItem = -1;
    int MouseX = -1, MouseY = -1;
    bool MouseDown = false;
    // The hover text, set by every paint: the Hint of the message under the pointer.
    std::string Hint;
    TBarPainter Painter;

    // Asks for a repaint of the bar; repaints come at most every few milliseconds, so
    // that a check announcing thousands of messages does not paint thousands of times.
    void RepaintBar();
    // Grabs the global hot key that brings the bar into view.
    void RegisterHotKey();

    // How often a later copy of the program signalled this one.
    int NewInstanceCount() const { return FNewInstanceCount; }

  public slots:
    // A later copy was started: bring the bar into view.
    void NewInstance();

  protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    // What the painter and the hit test need of the bar at this moment.
    TBarState BarState() const;
    void SetHint(const std::string& hint);
    void ToggleList();
    void NewMailArrived();

    QPointer<QWidget> FList;
    THotKey* FHotKey = nullptr;
    QTimer* FRepaintTimer;
    QElapsedTimer FLastRepaint;
    int FNewInstanceCount = 0;
};
