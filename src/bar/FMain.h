// The ticker bar window: draws the message store's entries, answers the pointer and the
// keyboard, scrolls, and docks to the top or bottom of the desktop or floats.
#pragma once

#include "core/Settings.h"

#include "model/AppBarMath.h"
#include "model/StoreRecords.h"
#include "skin/BarPainter.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QDialog;
class QMenu;
class QPainter;
class QTimer;
class TBarDock;
class TBarMenus;
class TfrmMsgList;
class THotKey;
class TMessageStore;
class TNewMailNotice;
class TTrayIcon;

class TfrmMain : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmMain(TMessageStore& store);
    ~TfrmMain() override;

    // The window the drop-down button and "Message List" show and hide.
    void SetMessageList(TfrmMsgList* list);
    // Grabs the global hot key that brings the bar into view with its main menu.
    void RegisterHotKey();
    // The options dialog, one at a time, destroyed when it closes (FMainOptions.cpp).
    // addAccount: on the accounts tab with the account dialog open for a new account.
    void OpenOptions(bool addAccount = false);
    // The options dialog with the account dialog of account open at its sign-in.
    void OpenSignIn(const std::string& account);
    void OpenAbout();
    // Where the first-run prompt stands while there is no account; empty otherwise.
    QRect PromptRect(const TBarLayout& layout) const;
    // The bar element under the pointer (a Hot... code of model/BarLayout.h) and the first
    // message shown, as the last paint or pointer event left them.
    int HotElement() const { return HotItem; }
    int FirstShown() const { return FirstVisible; }

  public slots:
    // A later copy was started: bring the bar into view and keep it there.
    void NewInstance();
    // The hot key: the bar to the front with its main menu.
    void HotKeyPressed();

  protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;

  private:
    // Asks for a repaint of the bar; repaints come at most every few milliseconds, so
    // that a check announcing thousands of messages does not paint thousands of times.
    void RepaintBar();
    // One step of the automatic scrolling.
    void tmrScrollTimer();
    // "Message List": shows the list and keeps the bar in view meanwhile.
    void mnuMainMsgListClick();
    // Puts changed settings into effect on the bar: a new skin, scrolling, auto-hide,
    // the accounts' colours and the first-run prompt.
    void SettingsChanged(const TSettingsChange& change);
    void ApplyOptions(bool skinLoaded);
    // Shows the status icon as the options say.
    void ApplyTrayIcon();
    // What the painter and the hit test need of the bar at this moment.
    TBarState BarState() const;
    TBarLayout CurrentLayout() const;
    void SetHint(const std::string& hint);
    void ShowHint(const QPoint& globalPos);
    void ToggleList();
    // Sound and notification, unless in quiet hours; the bar shows itself in any case.
    void NewMailArrived(const std::vector<TEntryId>& arrived);
    void ButtonClick(int hot, Qt::MouseButton button, const QPoint& globalPos);
    // Starts the pause before scrolling, when there is something to scroll.
    void RestartScrollDelay();
    void tmrScrollDelayTimer();
    bool CanScroll() const;
    void PaintPrompt(QPainter& painter, const TBarLayout& layout);
    // Grip under client x: -1 move grip, 1 size grip, 0 neither.
    int GripAt(int x) const;

    TMessageStore& FStore;
    bool ListShown = false;
    // What the bar shows and where the pointer is (client pixels, -1 away).
    int FirstVisible = 0;
    int HotItem = -1;
    int MouseX = -1, MouseY = -1;
    bool MouseDown = false;
    // The position before the last scroll step; -1: the next step starts from the first.
    int FScrollPrev = 0;
    // The hover text, set by every paint: the Hint of the message under the pointer.
    std::string FHint;
    // The hover text last shown: the same text is not shown twice in a row.
    std::string FLastHint;
    TBarPainter FPainter;

    QTimer* tmrScrollDelay;
    QTimer* tmrScroll;
    // The main and message menus.
    TBarMenus* FMenus;
    // Where the bar stands: docked, auto-hidden, sliding or floating.
    TBarDock* FDock;
    QPointer<QDialog> FOptionsDialog;
    QPointer<QDialog> FAboutDialog;

    QPointer<TfrmMsgList> FList;
    THotKey* FHotKey = nullptr;
    TNewMailNotice* FNotice;
    TTrayIcon* FTrayIcon;
    QTimer* FRepaintTimer;
    QElapsedTimer FLastRepaint;

    TSettings::TSubscription FSettingsWatch;
};
