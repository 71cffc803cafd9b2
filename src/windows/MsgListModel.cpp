// The message list's model and its sorting, filtering proxy.
#include "windows/MsgListModel.h"

#include "mime/Charset.h"
#include "mime/DateTimeValue.h"
#include "mime/DisplayText.h"
#include "mime/Message.h"
#include "store/MessageStore.h"
#include "windows/Icons.h"

#include <QIcon>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>

namespace {

constexpr int FlushInterval = 100; // ms an arrival may wait for the view

// The date's wall-clock values, as they are shown and sorted. Held as UTC only so that no
// row asks the system's time zone rules: thousands of rows would read them thousands of times.
QDateTime DateTimeOf(double days) {
    const TDateTimeParts parts = DecodeDateTime(days);
    return QDateTime(QDate(parts.Year, parts.Month, parts.Day),
                     QTime(parts.Hour, parts.Minute, parts.Second, parts.Millisecond), Qt::UTC);
}

// The locale's long time format without the zone, which is not part of a mail date as
// shown. Made once per locale, not once per row.
const QString& TimeFormat(const QLocale& locale) {
    static QLocale madeFor(QLocale::C);
    static QString format;
    if (format.isEmpty() || locale != madeFor) {
        madeFor = locale;
        format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QRegularExpression("\\s*t+\\s*$"));
    }
    return format;
}

// Short date, a blank and the long time; the time is left out at exactly midnight.
QString DateText(const QDateTime& value) {
    const QLocale locale;
    QString text = locale.toString(value.date(), QLocale::ShortFormat);
    if (value.time() != QTime(0, 0))
        text += " " + locale.toString(value.time(), TimeFormat(locale));
    return text;
}

const QIcon& RowIcon(bool read) {
    // One shared icon per state: a list may hold thousands of rows.
    static const QIcon unread(MessageImage(0)), done(MessageImage(2));
    return read ? done : unread;
}

} // namespace

TMsgListModel::TMsgListModel(TMessageStore& store, QObject* parent)
    : QAbstractTableModel(parent), FStore(store) {
    FFlushTimer = new QTimer(this);
    FFlushTimer->setSingleShot(true);
    FFlushTimer->setInterval(FlushInterval);
    connect(FFlushTimer, &QTimer::timeout, this, &TMsgListModel::FlushRows);
    connect(&store, &TMessageStore::EntryAdded, this, &TMsgListModel::EntryAdded);
    connect(&store, &TMessageStore::EntryAboutToBeRemoved, this,
            &TMsgListModel::EntryAboutToBeRemoved);
    connect(&store, &TMessageStore::EntryRemoved, this, &TMsgListModel::EntryRemoved);
    connect(&store, &TMessageStore::EntryChanged, this, &TMsgListModel::EntryChanged);
    FlushRows();
}

QString TMsgListModel::CellText(int entry, int column) const {
    const TEntry& button = FStore.Entries()[static_cast<size_t>(entry)];
    const TEntryFields& fields = button.Fields;
    switch (column) {
    case colSubject:
        return QString::fromStdString(fields.Subject);
    case colFrom:
        return QString::fromStdString(fields.From);
    case colTo:
        return QString::fromStdString(
            RecipientsText(fields, FRows[static_cast<size_t>(entry)].BlankSeparated
                                       ? TRecipientForm::BlankSeparated
                                       : TRecipientForm::CommaSeparated));
    case colDate:
        return DateText(Date(entry));
    case colAccount:
        return QString::fromStdString(
            SingleLine(UndeclaredToUtf8(FStore.AccountName(button.Account))));
    default:
        return {};
    }
}

QDateTime TMsgListModel::Date(int entry) const {
    return DateTimeOf(FStore.Entries()[static_cast<size_t>(entry)].Fields.Date);
}

void TMsgListModel::FlushRows() {
    FFlushTimer->stop();
    const int first = static_cast<int>(FRows.size());
    const int last = static_cast<int>(FStore.Entries().size()) - 1;
    if (last < first)
        return;
    beginInsertRows({}, first, last);
    FRows.resize(static_cast<size_t>(last) + 1);
    endInsertRows();
}

void TMsgListModel::EntryAdded() {
    if (!FFlushTimer->isActive())
        FFlushTimer->start();
}

void TMsgListModel::EntryAboutToBeRemoved(int index) {
    if (index >= static_cast<int>(FRows.size()))
        return;
    FRemoving = true;
    beginRemoveRows({}, index, index);
    if (FRows[static_cast<size_t>(index)].Ticked) {
        --FTickedCount;
        emit TicksChanged();
    }
}

void TMsgListModel::EntryRemoved(int index) {
    if (!FRemoving)
        return;
    FRemoving = false;
    FRows.erase(FRows.begin() + index);
    endRemoveRows();
}

void TMsgListModel::EntryChanged(int index) {
    if (index >= static_cast<int>(FRows.size()))
        return;
    if (!FShowAll && IsRead(index))
        SetTicked(index, false);
    RowChanged(index);
}

void TMsgListModel::RowChanged(int entry) {
    emit dataChanged(index(entry, 0), index(entry, MsgColumnCount - 1));
}

void TMsgListModel::SetShowAll(bool showAll) {
    if (showAll == FShowAll)
        return;
    FShowAll = showAll;
    for (int entry = 0; entry < static_cast<int>(FRows.size()); ++entry) {
        if (!IsRead(entry))
            continue;
        if (showAll) {
            FRows[static_cast<size_t>(entry)].BlankSeparated = true;
            RowChanged(entry);
        } else {
            SetTicked(entry, false);
        }
    }
    emit ShowAllChanged();
}

bool TMsgListModel::IsRead(int entry) const {
    return FStore.Entries()[static_cast<size_t>(entry)].Read;
}

bool TMsgListModel::Ticked(int entry) const {
    return entry >= 0 && entry < static_cast<int>(FRows.size()) &&
           FRows[static_cast<size_t>(entry)].Ticked;
}

void TMsgListModel::SetTicked(int entry, bool ticked) {
    if (entry < 0 || entry >= static_cast<int>(FRows.size()))
        return;
    TRow& row = FRows[static_cast<size_t>(entry)];
    if (row.Ticked == ticked)
        return;
    row.Ticked = ticked;
    FTickedCount += ticked ? 1 : -1;
    const QModelIndex cell = index(entry, colSubject);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
    emit TicksChanged();
}

int TMsgListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TMsgListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : MsgColumnCount;
}

QVariant TMsgListModel::data(const QModelIndex& index, int role) const {
    // While a row is being removed the store has one entry fewer than the rows.
    if (!index.isValid() || index.row() >= static_cast<int>(FRows.size()) ||
        index.row() >= static_cast<int>(FStore.Entries().size()))
        return {};
    const TRow& row = FRows[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return CellText(index.row(), column);
    case SortRole:
        return column == colDate ? QVariant(Date(index.row()))
                                 : QVariant(CellText(index.row(), column));
    case Qt::CheckStateRole:
        return column == colSubject ? QVariant(row.Ticked ? Qt::Checked : Qt::Unchecked)
                                    : QVariant();
    case Qt::DecorationRole:
        return column == colSubject ? QVariant(RowIcon(IsRead(index.row()))) : QVariant();
    case ReadRole:
        return IsRead(index.row());
    case Qt::TextAlignmentRole:
        return column == colDate ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

bool TMsgListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != colSubject || role != Qt::CheckStateRole)
        return false;
    SetTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TMsgListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == colSubject)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant TMsgListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const Titles[MsgColumnCount] = {"Subject", "From", "To", "Date", "Account"};
    if (orientation != Qt::Horizontal || section < 0 || section >= MsgColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString(Titles[section]);
    if (role == Qt::TextAlignmentRole && section == colDate)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

TMsgListProxy::TMsgListProxy(TMsgListModel* model, QObject* parent)
    : QSortFilterProxyModel(parent), FModel(model) {
    FCollator.setCaseSensitivity(Qt::CaseInsensitive);
    setSourceModel(model);
    setSortRole(TMsgListModel::SortRole);
    setDynamicSortFilter(true);
    connect(model, &TMsgListModel::ShowAllChanged, this, [this] { invalidateFilter(); });
}

bool TMsgListProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return FModel->ShowAll() || !FModel->IsRead(sourceRow);
}

bool TMsgListProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(TMsgListModel::SortRole), b = right.data(TMsgListModel::SortRole);
    if (left.column() == colDate)
        return a.toDateTime() < b.toDateTime();
    return FCollator.compare(a.toString(), b.toString()) < 0;
}
