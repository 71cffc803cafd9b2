// The message list window: every announced message as a sortable row with a tick.
#pragma once

#include <QMainWindow>

class QLabel;
class QMenu;
class QModelIndex;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class TMessageStore;
class TMsgListModel;
class TMsgListProxy;

class TfrmMsgList : public QMainWindow {
    Q_OBJECT
  public:
    explicit TfrmMsgList(TMessageStore& store);
    ~TfrmMsgList() override;

    // Rows by their position in the current order (sorted and filtered).
    int RowCount();
    int EntryAt(int position);
    bool Ticked(int position);
    void SetTicked(int position, bool ticked);
    bool ShowAllDown() const;

    // Sort column (-1 none) and direction, as the header shows them.
    int SortColumn() const { return FSortColumn; }
    bool SortAscending() const { return FAscending; }
    void SortBy(int column, bool ascending);

  signals:
    // The window went out of view, however it was closed.
    void Hidden();

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    // Recomputes the enabled state of the tick-driven buttons (the change handler).
    void lvMessagesChange();
    // Makes the Inbox tab the active one (the page-change handler).
    void pcBoxesChange();
    void tbMarkReadClick();
    void tbDeleteClick();
    void tbShowAllClick();
    void tbCheckNowClick();
    void SelectAll();
    void DeselectAll();
    void ToggleSelection();
    void OpenSelected();
    bool WindowKey(QKeyEvent* e);
    bool ListKey(QKeyEvent* e);
    void HeaderClicked(int column);
    // The source row (the entry) of a proxy row.
    int EntryOf(const QModelIndex& index) const;
    void LoadLayout();
    void SaveLayout() const;
    // Widens each column to its title and rows, and the window to the columns, as far as the
    // screen allows.
    void FitColumnsToContents();

    QToolBar* tbToolbar;
    QToolButton* tbCompose;
    QToolButton* tbMarkRead;
    QToolButton* tbShowAll;
    QToolButton* tbDelete;
    QToolButton* tbAntiSpam;
    QToolButton* tbCheckNow;
    QWidget* pnlLocation;
    QLabel* lblLocation;
    QLabel* imgLocation;
    QTabWidget* pcBoxes;
    QWidget* tsInbox;
    QTreeView* lvMessages;
    QMenu* mnuAccounts;
    QMenu* mnuPopup;
    QMenu* mnuAddressBook;
    QAction* mnuSelectAll;
    QAction* mnuDeselectAll;
    QAction* mnuToggleSelection;
    QAction* mnuSelectSpam;

    TMessageStore& FStore;
    TMsgListModel* FModel;
    TMsgListProxy* FProxy;
    int FSortColumn = -1;
    bool FAscending = true;
    bool FWasShown = false;
    // No widths stored yet: the first show takes them from the contents.
    bool FFitColumns = false;
};
