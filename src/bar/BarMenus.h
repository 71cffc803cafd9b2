// TBarMenus: the bar's main menu and its message menu, built once, drawn in the skin's
// colours, with the commands that need no more of the bar than its window. "Check email
// now..." holds the account actions the message list shares.
#pragma once

#include "model/StoreRecords.h"

#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QPoint;
class QWidget;
class TMessageStore;
class TSkinMenuStyle;

class TBarMenus : public QObject {
    Q_OBJECT
  public:
    // bar: the window the menus belong to; it outlives them (they are its children).
    TBarMenus(QWidget& bar, TMessageStore& store);
    ~TBarMenus() override;

    // mnuMain, which the status icon shows too.
    QMenu* MainMenu() const { return mnuMain; }
    // Opens mnuMain at the bar's bottom-left corner.
    void PopupMainMenu();
    // Opens the message menu for the entry under the pointer; its commands act on that
    // entry by identity, so a check that takes it away meanwhile cannot misdirect them.
    void PopupEntryMenu(TEntryId entry, const QPoint& globalPos);

  signals:
    void MessageListWanted();
    void OptionsWanted();
    void AboutWanted();

  private:
    // Says which version runs and where its updates come from.
    void mnuMainUpdateClick();
    // Opens the tasks window where there is something to read: the errors, if any.
    void mnuMainTasksClick();
    void Markasread1Click();
    void Delete1Click();

    QWidget& FBar;
    TMessageStore& FStore;
    std::unique_ptr<TSkinMenuStyle> FMenuStyle;
    TEntryId FMenuEntry = TEntryId::None;

    QMenu* mnuMain;
    QAction* mnuMainCompose;
    QAction* mnuMainAddresses;
    QAction* mnuMainMsgList;
    QAction* mnuMainTasks;
    QMenu* mnuMainCheckNow;
    QAction* mnuMainOptions;
    QAction* mnuMainUpdate;
    QAction* mnuMainAbout;
    QAction* mnuMainHelp;
    QAction* mnuMainExit;
    QMenu* mnuButton;
    QAction* Markasread1;
    QAction* Markallread1;
    QAction* Delete1;
    QAction* AntiSpam1;
};
