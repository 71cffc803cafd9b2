// The ticker bar window: the program's controller, owning the message store and the worker.
#pragma once

#include "bar/UEntryText.h"
#include "bar/UPaint.h"
#include "bar/UStore.h"
#include "mail/QBThread.h"

#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QMenu;
class QTimer;
class TfrmTasks;
class THotKey;
struct TMsgRow;

class TfrmMain : public QWidget {
    Q_OBJECT
  public:
    TfrmMain();
    ~TfrmMain() override;

    // The message store, the job queue and the errors (FMainStore.cpp).
    TButtonArray Buttons;
    TTaskArray Tasks;
    TErrorArray Errors;
    std::unique_ptr<TQBThread> Worker;
    bool NewMail = false;
    TfrmTasks* frmTasks = nullptr;
    QTimer* tmrCheck;
    QTimer* tmrScrollDelay;
    QTimer* tmrScroll;
    // The bar's "Check email now..." submenu, once the bar has its menus.
    QMenu* mnuMainCheckNow = nullptr;

    bool ListShown = false;
    // What the bar shows and where the pointer is (client pixels, -1 away).
    int FirstVisible = 0;
    int HotItem = -1;
    int MouseX = -1, MouseY = -1;
    bool MouseDown = false;
    // The hover text, set by every paint: the Hint of the message under the pointer.
    std::string Hint;
    TBarPainter Painter;
    // Docking state: while Stick is set the bar does not hide itself.
    bool Stick = false;
    bool Shown = true;
    void SlideBar(bool shown);

    void AddTask(const TQBTaskInfo& task);
    void NextTask();
    void MarkRead(int index, bool save);
    void MarkAllRead();
    // Removes one entry with its list row. renumber: the message left the server in this
    // session, so the account's later numbers drop by one.
    void RemoveButton(int index, bool renumber = true);
    // After Accounts lost the account at index account.
    void RemoveAccountButtons(int account);
    void AddError(const std::string& text);
    void ClearErrors();
    void CancelTask();
    // tag: an account index, or -1 for all active accounts.
    void CheckNow(int tag);
    void ApplyWorkerLimits();
    void BuildAccountMenus();
    void tmrCheckTimer();

    void OpenButton(int index);
    void DeleteMessages(const std::vector<int>& indices, QObject* notify, int account);

    // The list row of an entry.
    TMsgRow EntryRow(int index, TRecipientForm form) const;
    // Asks for a repaint of the bar; repaints come at most every few milliseconds, so
    // that a check announcing thousands of messages does not paint thousands of times.
    void RepaintBar();

    // The read window, for hiding it when the list empties.
    QWidget* ReadWindow() const;

    // A handle the worker can post window messages to; posts to a destroyed window
    // are dropped.
    static intptr_t WindowHandle(QObject* window);
    // Posts a window message to the window behind handle, if it still exists.
    static void PostWindowMessage(int message, intptr_t handle, int64_t wParam, int64_t lParam);

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

  private:
    // What the painter and the hit test need of the bar at this moment.
    TBarState BarState() const;
    void CreateStore();
    void DestroyStore();
    void CreateWorker();
    void StopWorker();
    void CleanCache();
    void SetHint(const std::string& hint);

    TQBTaskInfo CheckTask(int account) const;
    // A job that leaves the queue without the worker running it still tells its
    // window that it has ended, as the worker does at the end of every job.
    static void NotifyDropped(const TQBTaskInfo& task);
    void FillAccountMenu(QMenu* menu, bool clear);

    void WorkerGetTask(bool& hasTask);
    void WorkerMessage(const TStringList* lines, int number, const std::string& uid);
    void CheckMessage(const TStringList* lines, int number, const std::string& uid);
    void WorkerRenumber(const std::string& uid, int number);
    void WorkerCheckDone();
    void WorkerError(int fatal, const std::string& text);
    void WorkerStatus(const std::string& text);
    void WorkerSizeWarning(int size, uint8_t& answer);
    bool ValidAccount(int account) const;

    THotKey* FHotKey = nullptr;
    bool FClosing = false;
    // Account of the job last handed to the worker; kept valid when accounts go.
    int FRunningAccount = -1;
    TUIDSet FReadSet;
    int FRenumberHint = 0;
    QTimer* FRepaintTimer;
    QElapsedTimer FLastRepaint;
    int FNewInstanceCount = 0;
};

extern TfrmMain* frmMain;
