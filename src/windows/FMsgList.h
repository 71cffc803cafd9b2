// The message list window: every announced message as a sortable row with a tick.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <QTreeWidgetItem>

#include <unordered_set>
#include <vector>

class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;
class QTimer;
class QToolButton;
class QTreeWidget;
class TfrmMain;

// The texts of one row, as the store makes them from an entry.
struct TMsgRow {
    QString Subject, From, To, Date, Account;
    QDateTime DateValue; // the Date cell's value, so sorting needs no parsing
    int Entry = 0;       // index in Buttons: the row's data value
    int Image = 0;       // 0 unread, 2 read
};

// A row of lvMessages. Cells compare as date-times, else as numbers, else as text.
class TMsgItem : public QTreeWidgetItem {
  public:
    explicit TMsgItem(const TMsgRow& row);
    int Entry() const;
    void SetEntry(int entry);
    int Image() const;
    void SetImage(int image);
    bool operator<(const QTreeWidgetItem& other) const override;
    // Whether this row comes before that one when sorted ascending by column.
    bool Less(const TMsgItem& that, int column) const;

  private:
    struct TKey {
        bool IsDate = false, IsNumber = false;
        QDateTime Date;
        double Number = 0;
    };
    TKey FKeys[5];
    int FEntry = 0;
    int FImage = 0;
};

class TfrmMsgList : public QMainWindow {
    Q_OBJECT
  public:
    explicit TfrmMsgList(TfrmMain* main);
    ~TfrmMsgList() override;

    // Adds a row, at its place in the current sort order (at position when not sorted;
    // -1 appends).
    TMsgItem* AddRow(const TMsgRow& row, int position = -1);
    // The row whose data value is entry, or nullptr.
    TMsgItem* FindRow(int entry) const;
    // The row at a position of the current order, or nullptr.
    TMsgItem* Row(int position);
    int RowCount();
    // Puts rows that are still waiting into the view.
    void FlushRows();
    void DeleteRow(TMsgItem* item);
    // An entry left the store: its row goes, later data values drop by one.
    void EntryRemoved(int index);
    bool ShowAllDown() const;
    bool Ticked(TMsgItem* item) const;
    void SetTicked(TMsgItem* item, bool ticked);

    // Recomputes the enabled state of the tick-driven buttons (the change handler).
    void lvMessagesChange();
    // Makes the Inbox tab the active one (the page-change handler).
    void pcBoxesChange();

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
    QTreeWidget* lvMessages;
    QMenu* mnuAccounts;
    QMenu* mnuPopup;
    QMenu* mnuAddressBook;
    QAction* mnuSelectAll;
    QAction* mnuDeselectAll;
    QAction* mnuToggleSelection;
    QAction* mnuSelectSpam;

    void tbMarkReadClick();
    void tbDeleteClick();
    void tbShowAllClick();
    void tbCheckNowClick();
    void SelectAll();
    void DeselectAll();
    void ToggleSelection();
    void OpenSelected();

    // Sort column (-1 none) and direction, as the header shows them.
    int SortColumn() const { return FSortColumn; }
    bool SortAscending() const { return FAscending; }
    void SortBy(int column, bool ascending);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    bool WindowKey(QKeyEvent* e);
    bool ListKey(QKeyEvent* e);
    void HeaderClicked(int column);
    void ItemChanged(QTreeWidgetItem* item, int column);
    int SortedPosition(const TMsgItem* item) const;
    void LoadLayout();
    void SaveLayout() const;

    // The bar may go first at the end of the run.
    QPointer<TfrmMain> FMain;
    std::unordered_set<QTreeWidgetItem*> FTicked;
    struct TPendingRow {
        TMsgItem* Item;
        int Position;
    };
    std::vector<TPendingRow> FPending;
    // The row of each data value (nullptr for entries without one), waiting rows included.
    std::vector<TMsgItem*> FRows;
    QTimer* FFlushTimer;
    int FSortColumn = -1;
    bool FAscending = true;
    bool FWasShown = false;
};

extern TfrmMsgList* frmMsgList;
