// The message list window: every announced message as a sortable row with a tick.
#include "windows/FMsgList.h"

#include "bar/FMain.h"
#include "core/UGlobal.h"
#include "core/UOptions.h"
#include "platform/MessageBox.h"
#include "windows/UIcons.h"
#include "windows/UPlacement.h"
#include "windows/WindowMessages.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

TfrmMsgList* frmMsgList = nullptr;

namespace {

enum TColumn { colSubject, colFrom, colTo, colDate, colAccount, ColumnCount };
constexpr int ColumnWidths[ColumnCount] = {150, 100, 100, 100, 100};

// The group of the user's settings that holds the list's columns and sort.
const char* const LayoutGroup = "MsgList";

} // namespace

TMsgItem::TMsgItem(const TMsgRow& row)
    : QTreeWidgetItem(QStringList{row.Subject, row.From, row.To, row.Date, row.Account}) {
    setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    setCheckState(colSubject, Qt::Unchecked);
    setTextAlignment(colDate, Qt::AlignRight | Qt::AlignVCenter);
    SetEntry(row.Entry);
    SetImage(row.Image);
    const QLocale locale;
    for (int column = 0; column < ColumnCount; ++column) {
        TKey& key = FKeys[column];
        if (column == colDate && row.DateValue.isValid()) {
            key.IsDate = true;
            key.Date = row.DateValue;
            continue;
        }
        const QString cell = text(column);
        // Only a cell that starts with a digit can read as a date or a number.
        if (cell.isEmpty() || !(cell[0].isDigit() || cell[0] == '-' || cell[0] == '+'))
            continue;
        for (const auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
            QDateTime value = locale.toDateTime(cell, locale.dateFormat(QLocale::ShortFormat) +
                                                          " " + locale.timeFormat(format));
            if (!value.isValid())
                value = QDateTime(locale.toDate(cell, QLocale::ShortFormat), QTime(0, 0));
            if (value.isValid()) {
                key.IsDate = true;
                key.Date = value;
                break;
            }
        }
        if (!key.IsDate)
            key.Number = locale.toDouble(cell, &key.IsNumber);
    }
}

int TMsgItem::Entry() const {
    return FEntry;
}

void TMsgItem::SetEntry(int entry) {
    // Not item data: a removal renumbers every later row, and item data would make
    // each of them a change the view and the tick handler must process.
    FEntry = entry;
}

int TMsgItem::Image() const {
    return FImage;
}

void TMsgItem::SetImage(int image) {
    FImage = image;
    // One shared icon per state: a list may hold thousands of rows.
    static const QIcon icons[3] = {QIcon(MessageImage(0)), QIcon(MessageImage(1)),
                                   QIcon(MessageImage(2))};
    setIcon(colSubject, icons[std::clamp(image, 0, 2)]);
}

bool TMsgItem::operator<(const QTreeWidgetItem& other) const {
    return Less(static_cast<const TMsgItem&>(other), treeWidget() ? treeWidget()->sortColumn() : 0);
}

bool TMsgItem::Less(const TMsgItem& that, int column) const {
    const QTreeWidgetItem& other = that;
    if (column < 0 || column >= ColumnCount)
        return false;
    const TKey &a = FKeys[column], &b = that.FKeys[column];
    if (a.IsDate && b.IsDate)
        return a.Date < b.Date;
    if (a.IsNumber && b.IsNumber)
        return a.Number < b.Number;
    return text(column).localeAwareCompare(other.text(column)) < 0;
}

TfrmMsgList::TfrmMsgList(TfrmMain* main) : QMainWindow(nullptr), FMain(main) {
    frmMsgList = this;
    setWindowTitle("Message List");
    resize(578, 420);

    tbToolbar = addToolBar("Toolbar");
    tbToolbar->setMovable(false);
    tbToolbar->setIconSize(QSize(24, 24));
    tbToolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto makeButton = [this](const QString& caption, const QString& hint, TToolIcon icon) {
        auto* button = new QToolButton(tbToolbar);
        button->setText(caption);
        button->setToolTip(hint);
        button->setIcon(ToolIcon(icon));
        button->setAutoRaise(true);
        button->setMinimumSize(31, 30);
        tbToolbar->addWidget(button);
        return button;
    };
    tbCompose = makeButton("&Compose", "Compose a new message", TToolIcon::Compose);
    tbToolbar->addSeparator();
    tbMarkRead = makeButton("&Mark as read", "Mark selected messages as read", TToolIcon::MarkRead);
    tbShowAll = makeButton("&Show all", "Show emails which are marked as read", TToolIcon::ShowAll);
    tbShowAll->setCheckable(true);
    tbToolbar->addSeparator();
    tbDelete = makeButton("&Delete", "Delete selected messages", TToolIcon::Delete);
    tbAntiSpam = makeButton("Anti &Spam", "Use anti-spam tools on the selected message(s)",
                            TToolIcon::AntiSpam);
    tbToolbar->addSeparator();
    tbCheckNow = makeButton("&Check email", "Check for new messages", TToolIcon::CheckNow);
    mnuAccounts = new QMenu(this);
    tbCheckNow->setMenu(mnuAccounts);
    tbCheckNow->setPopupMode(QToolButton::MenuButtonPopup);
    tbMarkRead->setEnabled(false);
    tbDelete->setEnabled(false);
    tbAntiSpam->setEnabled(false);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    pnlLocation = new QWidget(central);
    pnlLocation->setFixedHeight(29);
    pnlLocation->setAutoFillBackground(true);
    QPalette workspace = pnlLocation->palette();
    workspace.setColor(QPalette::Window, QColor(128, 128, 128));
    workspace.setColor(QPalette::WindowText, Qt::white);
    pnlLocation->setPalette(workspace);
    auto* strip = new QHBoxLayout(pnlLocation);
    strip->setContentsMargins(6, 0, 6, 0);
    lblLocation = new QLabel("Inbox", pnlLocation);
    QFont tahoma("Tahoma");
    tahoma.setBold(true);
    tahoma.setPixelSize(16);
    lblLocation->setFont(tahoma);
    lblLocation->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    imgLocation = new QLabel(pnlLocation);
    imgLocation->setFixedSize(16, 16);
    strip->addWidget(lblLocation, 1);
    strip->addWidget(imgLocation);
    layout->addWidget(pnlLocation);

    pcBoxes = new QTabWidget(central);
    pcBoxes->setTabPosition(QTabWidget::South);
    tsInbox = new QWidget;
    pcBoxes->addTab(tsInbox, "Inbox");
    auto* page = new QVBoxLayout(tsInbox);
    page->setContentsMargins(0, 0, 0, 0);
    lvMessages = new QTreeWidget(tsInbox);
    page->addWidget(lvMessages);
    layout->addWidget(pcBoxes, 1);
    setCentralWidget(central);

    lvMessages->setColumnCount(ColumnCount);
    lvMessages->setHeaderLabels({"Subject", "From", "To", "Date", "Account"});
    lvMessages->headerItem()->setTextAlignment(colDate, Qt::AlignRight | Qt::AlignVCenter);
    for (int column = 0; column < ColumnCount; ++column)
        lvMessages->header()->resizeSection(column, ColumnWidths[column]);
    lvMessages->header()->setSectionsMovable(true);
    lvMessages->header()->setSectionsClickable(true);
    lvMessages->header()->setStretchLastSection(false);
    lvMessages->setRootIsDecorated(false);
    lvMessages->setUniformRowHeights(true);
    lvMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMessages->setSortingEnabled(false); // sorted by hand, so that arrivals cost little
    FFlushTimer = new QTimer(this);
    FFlushTimer->setSingleShot(true);
    FFlushTimer->setInterval(100);
    connect(FFlushTimer, &QTimer::timeout, this, &TfrmMsgList::FlushRows);
    lvMessages->setContextMenuPolicy(Qt::CustomContextMenu);
    lvMessages->installEventFilter(this);
    lvMessages->viewport()->installEventFilter(this);

    mnuPopup = new QMenu(this);
    mnuSelectAll = mnuPopup->addAction("Select &all", this, &TfrmMsgList::SelectAll);
    mnuSelectAll->setShortcut(QKeySequence("Ctrl+A"));
    mnuDeselectAll = mnuPopup->addAction("&Deselect all", this, &TfrmMsgList::DeselectAll);
    mnuDeselectAll->setShortcut(QKeySequence("Ctrl+D"));
    mnuToggleSelection =
        mnuPopup->addAction("&Toggle selection", this, &TfrmMsgList::ToggleSelection);
    mnuToggleSelection->setShortcut(QKeySequence("Ctrl+S"));
    mnuSelectSpam = mnuPopup->addAction("Select possible &spam");
    mnuSelectSpam->setShortcut(QKeySequence("Ctrl+X"));
    mnuPopup->addSeparator();
    mnuAddressBook = mnuPopup->addMenu("Add to Address &Book");
    // The menu only shows the shortcuts; the keys are handled in eventFilter.
    for (QAction* action : mnuPopup->actions())
        action->setShortcutContext(Qt::WidgetShortcut);

    connect(tbMarkRead, &QToolButton::clicked, this, &TfrmMsgList::tbMarkReadClick);
    connect(tbDelete, &QToolButton::clicked, this, &TfrmMsgList::tbDeleteClick);
    connect(tbShowAll, &QToolButton::clicked, this, &TfrmMsgList::tbShowAllClick);
    connect(tbCheckNow, &QToolButton::clicked, this, &TfrmMsgList::tbCheckNowClick);
    connect(lvMessages, &QTreeWidget::itemChanged, this, &TfrmMsgList::ItemChanged);
    connect(lvMessages, &QTreeWidget::itemDoubleClicked, this, &TfrmMsgList::OpenSelected);
    connect(lvMessages->header(), &QHeaderView::sectionClicked, this, &TfrmMsgList::HeaderClicked);
    connect(lvMessages, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        mnuSelectSpam->setVisible(false);
        mnuAddressBook->setEnabled(!lvMessages->selectedItems().isEmpty());
        mnuPopup->popup(lvMessages->viewport()->mapToGlobal(pos));
    });
    connect(pcBoxes, &QTabWidget::currentChanged, this, &TfrmMsgList::pcBoxesChange);

    LoadLayout();
    if (FMain)
        FMain->BuildAccountMenus();
    pcBoxes->setCurrentWidget(tsInbox);
    pcBoxesChange();
}

TfrmMsgList::~TfrmMsgList() {
    // Rows still waiting for the next batch belong to no view yet.
    for (const TPendingRow& row : FPending)
        delete row.Item;
    // A window never shown has no placement of its own; the stored one stays.
    if (FWasShown)
        SavePlacement(this, "MsgList");
    SaveLayout();
    if (frmMsgList == this)
        frmMsgList = nullptr;
}

TMsgItem* TfrmMsgList::AddRow(const TMsgRow& row, int position) {
    // One row per entry: a second would keep a data value nothing updates.
    if (TMsgItem* old = FindRow(row.Entry))
        DeleteRow(old);
    auto* item = new TMsgItem(row);
    // Rows reach the view in batches: a view laid out anew for every arrival would
    // make a check of thousands of messages cost the square of their number.
    FPending.push_back({item, position});
    if (row.Entry >= 0) {
        if (row.Entry >= static_cast<int>(FRows.size()))
            FRows.resize(static_cast<size_t>(row.Entry) + 1, nullptr);
        FRows[static_cast<size_t>(row.Entry)] = item;
    }
    if (!FFlushTimer->isActive())
        FFlushTimer->start();
    return item;
}

void TfrmMsgList::FlushRows() {
    if (FPending.empty())
        return;
    const std::vector<TPendingRow> pending = std::move(FPending);
    FPending.clear();
    lvMessages->setUpdatesEnabled(false);
    QList<QTreeWidgetItem*> appended;
    auto appendNow = [&] {
        lvMessages->addTopLevelItems(appended);
        appended.clear();
    };
    for (const TPendingRow& row : pending) {
        if (FSortColumn < 0 && row.Position < 0) {
            appended.append(row.Item);
            continue;
        }
        appendNow();
        const int count = lvMessages->topLevelItemCount();
        int position = FSortColumn >= 0 ? SortedPosition(row.Item) : row.Position;
        if (position < 0 || position > count)
            position = count;
        lvMessages->insertTopLevelItem(position, row.Item);
    }
    appendNow();
    lvMessages->setUpdatesEnabled(true);
}

// Binary search over the rows in their present order.
int TfrmMsgList::SortedPosition(const TMsgItem* item) const {
    int low = 0, high = lvMessages->topLevelItemCount();
    while (low < high) {
        const int middle = (low + high) / 2;
        const auto* other = static_cast<const TMsgItem*>(lvMessages->topLevelItem(middle));
        const bool before =
            FAscending ? item->Less(*other, FSortColumn) : other->Less(*item, FSortColumn);
        if (before)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

TMsgItem* TfrmMsgList::FindRow(int entry) const {
    return entry >= 0 && entry < static_cast<int>(FRows.size()) ? FRows[static_cast<size_t>(entry)]
                                                                : nullptr;
}

TMsgItem* TfrmMsgList::Row(int position) {
    FlushRows();
    return static_cast<TMsgItem*>(lvMessages->topLevelItem(position));
}

int TfrmMsgList::RowCount() {
    FlushRows();
    return lvMessages->topLevelItemCount();
}

void TfrmMsgList::DeleteRow(TMsgItem* item) {
    std::erase_if(FPending, [item](const TPendingRow& row) { return row.Item == item; });
    if (FindRow(item->Entry()) == item)
        FRows[static_cast<size_t>(item->Entry())] = nullptr;
    FTicked.erase(item);
    delete item;
}

void TfrmMsgList::EntryRemoved(int index) {
    if (index < 0 || index >= static_cast<int>(FRows.size()))
        return;
    if (TMsgItem* item = FRows[static_cast<size_t>(index)])
        DeleteRow(item);
    FRows.erase(FRows.begin() + index);
    for (size_t entry = static_cast<size_t>(index); entry < FRows.size(); ++entry)
        if (FRows[entry])
            FRows[entry]->SetEntry(static_cast<int>(entry));
}

bool TfrmMsgList::ShowAllDown() const {
    return tbShowAll->isChecked();
}

bool TfrmMsgList::Ticked(TMsgItem* item) const {
    return item->checkState(colSubject) == Qt::Checked;
}

void TfrmMsgList::SetTicked(TMsgItem* item, bool ticked) {
    item->setCheckState(colSubject, ticked ? Qt::Checked : Qt::Unchecked);
}

void TfrmMsgList::ItemChanged(QTreeWidgetItem* item, int column) {
    if (column != colSubject)
        return;
    // A count of ticked rows, so that a change costs nothing in a long list.
    if (item->checkState(colSubject) == Qt::Checked)
        FTicked.insert(item);
    else
        FTicked.erase(item);
    lvMessagesChange();
}

void TfrmMsgList::lvMessagesChange() {
    const bool any = !FTicked.empty();
    tbMarkRead->setEnabled(any);
    tbDelete->setEnabled(any);
    tbAntiSpam->setEnabled(any);
}

void TfrmMsgList::pcBoxesChange() {
    lblLocation->setText("Inbox");
    imgLocation->setPixmap(InboxImage());
    tbShowAll->setEnabled(pcBoxes->currentWidget() == tsInbox);
    lvMessagesChange();
}

void TfrmMsgList::tbMarkReadClick() {
    if (!tbMarkRead->isEnabled() || !FMain)
        return;
    for (int i = RowCount() - 1; i >= 0; --i) {
        TMsgItem* item = Row(i);
        if (!item || !Ticked(item))
            continue;
        SetTicked(item, false);
        if (item->Image() < 2)
            FMain->MarkRead(item->Entry(), false);
    }
    FMain->RepaintBar();
    SaveOptions();
}

void TfrmMsgList::tbDeleteClick() {
    if (!tbDelete->isEnabled() || !FMain)
        return;
    if (Options.DeleteConfirm &&
        ShowMessageBox(this,
                       "Are you sure you want to delete the selected messages?\r\n\r\n"
                       "Note: The message will be removed from the server, \r\n"
                       "this action can not be reversed!",
                       "Delete message", QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    lvMessages->setEnabled(false);
    for (int account = static_cast<int>(Accounts.size()) - 1; account >= 0; --account) {
        std::vector<int> indices;
        for (int i = RowCount() - 1; i >= 0; --i) {
            TMsgItem* item = Row(i);
            const int entry = item->Entry();
            if (!Ticked(item) || entry < 0 || entry >= static_cast<int>(FMain->Buttons.size()) ||
                FMain->Buttons[entry].Account != account)
                continue;
            indices.push_back(entry);
            SetTicked(item, false);
        }
        if (indices.empty())
            continue;
        SortIntegers(indices, static_cast<int>(indices.size()) - 1);
        FMain->DeleteMessages(indices, this, account);
    }
}

void TfrmMsgList::tbShowAllClick() {
    if (!FMain)
        return;
    const auto& buttons = FMain->Buttons;
    if (tbShowAll->isChecked()) {
        // The rows keep the order they were inserted in; a sorted list sorts them in.
        for (int i = 0; i < static_cast<int>(buttons.size()); ++i)
            if (buttons[i].Read)
                AddRow(FMain->EntryRow(i, TRecipientForm::BlankSeparated), i);
    } else {
        for (int i = RowCount() - 1; i >= 0; --i) {
            TMsgItem* item = Row(i);
            const int entry = item->Entry();
            if (entry >= 0 && entry < static_cast<int>(buttons.size()) && buttons[entry].Read)
                DeleteRow(item);
        }
    }
    lvMessagesChange();
}

void TfrmMsgList::tbCheckNowClick() {
    if (FMain)
        FMain->CheckNow(-1);
}

void TfrmMsgList::SelectAll() {
    for (int i = 0; i < RowCount(); ++i)
        SetTicked(Row(i), true);
}

void TfrmMsgList::DeselectAll() {
    for (int i = 0; i < RowCount(); ++i)
        SetTicked(Row(i), false);
}

void TfrmMsgList::ToggleSelection() {
    for (QTreeWidgetItem* item : lvMessages->selectedItems()) {
        auto* row = static_cast<TMsgItem*>(item);
        SetTicked(row, !Ticked(row));
    }
}

void TfrmMsgList::OpenSelected() {
    QTreeWidgetItem* current = lvMessages->currentItem();
    if (!current || !current->isSelected()) {
        const auto selected = lvMessages->selectedItems();
        current = selected.isEmpty() ? nullptr : selected.first();
    }
    if (current && FMain)
        FMain->OpenButton(static_cast<TMsgItem*>(current)->Entry());
}

void TfrmMsgList::HeaderClicked(int column) {
    SortBy(column, column == FSortColumn ? !FAscending : true);
}

void TfrmMsgList::SortBy(int column, bool ascending) {
    if (column < 0 || column >= ColumnCount)
        return;
    FlushRows();
    FSortColumn = column;
    FAscending = ascending;
    const Qt::SortOrder order = ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    lvMessages->sortItems(column, order);
    lvMessages->header()->setSortIndicatorShown(true);
    lvMessages->header()->setSortIndicator(column, order);
}

bool TfrmMsgList::WindowKey(QKeyEvent* e) {
    auto click = [](QToolButton* button) {
        if (button->isEnabled())
            button->click();
        return true;
    };
    switch (e->key()) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_B:
        return click(tbAntiSpam);
    case Qt::Key_H:
        return click(tbShowAll);
    case Qt::Key_N:
        return click(tbCompose);
    case Qt::Key_R:
        return click(tbMarkRead);
    case Qt::Key_M:
        tbCheckNow->showMenu();
        return true;
    default:
        return false;
    }
}

bool TfrmMsgList::ListKey(QKeyEvent* e) {
    const auto modifiers = e->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier) {
        switch (e->key()) {
        case Qt::Key_A:
            SelectAll();
            return true;
        case Qt::Key_D:
        case Qt::Key_Z:
            DeselectAll();
            return true;
        case Qt::Key_S:
            ToggleSelection();
            return true;
        case Qt::Key_X:
            return true; // "Select possible spam" does nothing
        case Qt::Key_M:
            tbCheckNowClick();
            return true;
        }
    } else if (modifiers == Qt::NoModifier) {
        switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OpenSelected();
            return true;
        case Qt::Key_Delete:
            if (tbDelete->isEnabled())
                tbDelete->click();
            return true;
        }
    }
    return false;
}

bool TfrmMsgList::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && watched == lvMessages) {
        auto* key = static_cast<QKeyEvent*>(e);
        // The window sees every key first, then the list.
        const bool window = WindowKey(key);
        const bool list = ListKey(key);
        return window || list;
    }
    if (e->type() == QEvent::ToolTip && watched == lvMessages->viewport()) {
        // Hints only for cells whose text is cut off.
        auto* help = static_cast<QHelpEvent*>(e);
        const QModelIndex index = lvMessages->indexAt(help->pos());
        if (index.isValid()) {
            const QString text = index.data().toString();
            const QRect cell = lvMessages->visualRect(index);
            if (lvMessages->fontMetrics().horizontalAdvance(text) > cell.width() - 24) {
                QToolTip::showText(help->globalPos(), text, lvMessages->viewport(), cell);
                return true;
            }
        }
        QToolTip::hideText();
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

bool TfrmMsgList::event(QEvent* e) {
    if (IsWindowMessage(e, WM_QB_TASKENDED)) {
        lvMessages->setEnabled(true);
        return true;
    }
    if (e->type() == QEvent::KeyPress && WindowKey(static_cast<QKeyEvent*>(e)))
        return true;
    return QMainWindow::event(e);
}

void TfrmMsgList::showEvent(QShowEvent* e) {
    if (!e->spontaneous()) {
        // Without a stored placement the window manager could put it anywhere, even
        // partly off the screen.
        if (!LoadPlacement(this, "MsgList") && !FWasShown)
            CentreOnScreen(this);
        FWasShown = true;
    }
    QMainWindow::showEvent(e);
}

void TfrmMsgList::hideEvent(QHideEvent* e) {
    QMainWindow::hideEvent(e);
    if (FMain && FMain->ListShown) {
        FMain->ListShown = false;
        FMain->RepaintBar();
    }
}

void TfrmMsgList::closeEvent(QCloseEvent* e) {
    // A window left partly off the top or left of the screen comes back to 0.
    QRect frame = frameGeometry();
    if (frame.left() < 0 || frame.top() < 0)
        move(std::max(0, frame.left()), std::max(0, frame.top()));
    if (FWasShown)
        SavePlacement(this, "MsgList");
    e->accept();
    hide();
}

void TfrmMsgList::LoadLayout() {
    QSettings settings("Norvane", "Quillbar");
    settings.beginGroup(LayoutGroup);
    QHeaderView* header = lvMessages->header();
    const QStringList order = settings.value("Columns/Order").toString().split(',');
    const QStringList sizes = settings.value("Columns/Sizes").toString().split(',');
    if (order.size() == ColumnCount) {
        for (int visual = 0; visual < ColumnCount; ++visual) {
            bool ok = false;
            const int logical = order[visual].toInt(&ok);
            if (ok && logical >= 0 && logical < ColumnCount)
                header->moveSection(header->visualIndex(logical), visual);
        }
    }
    if (sizes.size() == ColumnCount) {
        for (int column = 0; column < ColumnCount; ++column) {
            bool ok = false;
            const int width = sizes[column].toInt(&ok);
            if (ok && width > 0 && width < 10000)
                header->resizeSection(column, width);
        }
    }
    const int sortColumn = settings.value("Sort/SortCol", -1).toInt();
    if (sortColumn >= 0 && sortColumn < ColumnCount)
        SortBy(sortColumn, settings.value("Sort/Ascending", true).toBool());
    settings.endGroup();
}

void TfrmMsgList::SaveLayout() const {
    QSettings settings("Norvane", "Quillbar");
    settings.beginGroup(LayoutGroup);
    QStringList order, sizes;
    const QHeaderView* header = lvMessages->header();
    for (int visual = 0; visual < ColumnCount; ++visual)
        order << QString::number(header->logicalIndex(visual));
    for (int column = 0; column < ColumnCount; ++column)
        sizes << QString::number(header->sectionSize(column));
    settings.setValue("Columns/Order", order.join(','));
    settings.setValue("Columns/Sizes", sizes.join(','));
    settings.setValue("Sort/Ascending", FAscending);
    settings.setValue("Sort/SortCol", FSortColumn);
    settings.endGroup();
}
