// The message list's model: one row per entry of the store, typed columns, ticks; and
// the proxy that sorts it and hides read messages unless "Show all" is down.
#pragma once

#include "model/EntryText.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QDateTime>
#include <QSortFilterProxyModel>

#include <vector>

class QTimer;
class TMessageStore;

enum TMsgColumn { colSubject, colFrom, colTo, colDate, colAccount, MsgColumnCount };

class TMsgListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // The value a column sorts by: a QDateTime for the date, the shown text otherwise.
    static constexpr int SortRole = Qt::UserRole;
    // Whether the row's message is read (its icon shows it).
    static constexpr int ReadRole = Qt::UserRole + 1;

    TMsgListModel(TMessageStore& store, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Entries arrive in batches: a view laid out anew for every arrival would make a
    // check of thousands of messages cost the square of their number. Puts the
    // entries still waiting into the model.
    void FlushRows();

    bool ShowAll() const { return FShowAll; }
    // Read rows shown again get the recipients in the blank-separated form; read
    // rows hidden lose their tick.
    void SetShowAll(bool showAll);
    bool Ticked(int entry) const;
    void SetTicked(int entry, bool ticked);
    int TickedCount() const { return FTickedCount; }
    bool IsRead(int entry) const;

  signals:
    void TicksChanged();
    void ShowAllChanged();

  private:
    // The texts are made from the store's entry when a view asks: a list of 100,000 rows
    // must not keep a second copy of every entry, and a view asks only for the rows shown.
    struct TRow {
        bool BlankSeparated = false; // the recipients' form, TRecipientForm
        bool Ticked = false;
    };
    QString CellText(int entry, int column) const;
    QDateTime Date(int entry) const;
    void EntryAdded();
    void EntryAboutToBeRemoved(int index);
    void EntryRemoved(int index);
    void EntryChanged(int index);
    void RowChanged(int entry);

    TMessageStore& FStore;
    // One per entry the views know: the first FRows.size() entries of the store.
    std::vector<TRow> FRows;
    QTimer* FFlushTimer;
    bool FShowAll = false;
    bool FRemoving = false;
    int FTickedCount = 0;
};

class TMsgListProxy : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    TMsgListProxy(TMsgListModel* model, QObject* parent);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    TMsgListModel* FModel;
    // Texts sort as people expect: case-insensitive, in the user's locale.
    QCollator FCollator;
};
