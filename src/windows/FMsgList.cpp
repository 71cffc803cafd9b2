// The message list window: every announced message as a sortable row with a tick.
#include "windows/FMsgList.h"

#include "core/Global.h"
#include "core/Settings.h"
#include "platform/MessageBox.h"
#include "store/MessageStore.h"
#include "windows/AccountMenu.h"
#include "windows/Click.h"
#include "windows/DeleteQuestion.h"
#include "windows/Icons.h"
#include "windows/MsgListModel.h"
#include "windows/ObjectNames.h"
#include "windows/Placement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int ColumnWidths[MsgColumnCount] = {150, 100, 100, 100, 100};

} // namespace

TfrmMsgList::TfrmMsgList(TMessageStore& store) : QMainWindow(nullptr), FStore(store) {
    setObjectName("frmMsgList");
    setWindowTitle("Message List");
    resize(578, 420);
    // The read window walks the rows in the order the user sees them.
    FStore.Reader().ListOrder = [this] {
        std::vector<int> order;
        for (int i = 0; i < RowCount(); ++i)
            order.push_back(EntryAt(i));
        return order;
    };

    tbToolbar = addToolBar("Toolbar");
    tbToolbar->setMovable(false);
    tbToolbar->setIconSize(QSize(24, 24));
    tbToolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto makeButton = [this](const QString& caption, const QString& hint, TToolIcon icon) {
        auto* button = new QToolButton(tbToolbar);
        button->setText(caption);
        // The captions are not shown, so their access keys must not act; the window's
        // own keys stand in for them.
        button->setShortcut(QKeySequence());
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
    lvMessages = new QTreeView(tsInbox);
    page->addWidget(lvMessages);
    layout->addWidget(pcBoxes, 1);
    setCentralWidget(central);

    FModel = new TMsgListModel(FStore, this);
    FProxy = new TMsgListProxy(FModel, this);
    lvMessages->setModel(FProxy);
    for (int column = 0; column < MsgColumnCount; ++column)
        lvMessages->header()->resizeSection(column, ColumnWidths[column]);
    lvMessages->header()->setSectionsMovable(true);
    lvMessages->header()->setSectionsClickable(true);
    lvMessages->header()->setStretchLastSection(false);
    lvMessages->setRootIsDecorated(false);
    lvMessages->setUniformRowHeights(true);
    lvMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The header's clicks sort through SortBy, which keeps the column's own direction.
    lvMessages->setSortingEnabled(false);
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
    connect(FModel, &TMsgListModel::TicksChanged, this, &TfrmMsgList::lvMessagesChange);
    connect(lvMessages, &QTreeView::doubleClicked, this, &TfrmMsgList::OpenSelected);
    connect(lvMessages->header(), &QHeaderView::sectionClicked, this, &TfrmMsgList::HeaderClicked);
    connect(lvMessages, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        mnuSelectSpam->setVisible(false);
        mnuAddressBook->setEnabled(lvMessages->selectionModel()->hasSelection());
        mnuPopup->popup(lvMessages->viewport()->mapToGlobal(pos));
    });
    connect(pcBoxes, &QTabWidget::currentChanged, this, &TfrmMsgList::pcBoxesChange);

    connect(&FStore, &TMessageStore::RemovalEnded, this, [this] { lvMessages->setEnabled(true); });
    connect(&FStore, &TMessageStore::CheckRequested, this, [this] {
        pcBoxes->setCurrentWidget(tsInbox);
        pcBoxesChange();
    });
    NameObjects({{tbToolbar, "tbToolbar"},
                 {tbCompose, "tbCompose"},
                 {tbMarkRead, "tbMarkRead"},
                 {tbShowAll, "tbShowAll"},
                 {tbDelete, "tbDelete"},
                 {tbAntiSpam, "tbAntiSpam"},
                 {tbCheckNow, "tbCheckNow"},
                 {pnlLocation, "pnlLocation"},
                 {lblLocation, "lblLocation"},
                 {imgLocation, "imgLocation"},
                 {pcBoxes, "pcBoxes"},
                 {tsInbox, "tsInbox"},
                 {lvMessages, "lvMessages"},
                 {mnuAccounts, "mnuAccounts"},
                 {mnuPopup, "mnuPopup"},
                 {mnuAddressBook, "mnuAddressBook"},
                 {mnuSelectAll, "mnuSelectAll"},
                 {mnuDeselectAll, "mnuDeselectAll"},
                 {mnuToggleSelection, "mnuToggleSelection"},
                 {mnuSelectSpam, "mnuSelectSpam"}});

    LoadLayout();
    TAccountActions::Of(FStore).Attach(mnuAccounts);
    pcBoxes->setCurrentWidget(tsInbox);
    pcBoxesChange();
}

TfrmMsgList::~TfrmMsgList() {
    FStore.Reader().ListOrder = nullptr;
    // A window never shown has no placement of its own; the stored one stays.
    if (FWasShown)
        SavePlacement(this, "MsgList");
    SaveLayout();
}

int TfrmMsgList::RowCount() {
    FModel->FlushRows();
    return FProxy->rowCount();
}

int TfrmMsgList::EntryOf(const QModelIndex& index) const {
    return FProxy->mapToSource(index).row();
}

int TfrmMsgList::EntryAt(int position) {
    return position >= 0 && position < RowCount() ? EntryOf(FProxy->index(position, 0)) : -1;
}

bool TfrmMsgList::Ticked(int position) {
    return FModel->Ticked(EntryAt(position));
}

void TfrmMsgList::SetTicked(int position, bool ticked) {
    FModel->SetTicked(EntryAt(position), ticked);
}

bool TfrmMsgList::ShowAllDown() const {
    return tbShowAll->isChecked();
}

void TfrmMsgList::lvMessagesChange() {
    const bool any = FModel->TickedCount() > 0;
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
    if (!tbMarkRead->isEnabled())
        return;
    std::vector<int> entries;
    for (int i = RowCount() - 1; i >= 0; --i) {
        if (!Ticked(i))
            continue;
        entries.push_back(EntryAt(i));
        FModel->SetTicked(entries.back(), false);
    }
    FStore.MarkSeveralRead(entries);
}

void TfrmMsgList::tbDeleteClick() {
    if (!tbDelete->isEnabled())
        return;
    if (!ConfirmDelete(this, true))
        return;
    lvMessages->setEnabled(false);
    for (int account = static_cast<int>(Settings().Accounts().size()) - 1; account >= 0;
         --account) {
        std::vector<TEntryId> entries;
        for (int i = RowCount() - 1; i >= 0; --i) {
            const int entry = EntryAt(i);
            if (!Ticked(i) || FStore.Entries()[static_cast<size_t>(entry)].Account != account)
                continue;
            entries.push_back(FStore.Entries()[static_cast<size_t>(entry)].Id);
            FModel->SetTicked(entry, false);
        }
        if (!entries.empty())
            FStore.DeleteMessages(entries, account);
    }
}

void TfrmMsgList::tbShowAllClick() {
    FModel->SetShowAll(tbShowAll->isChecked());
    lvMessagesChange();
}

void TfrmMsgList::tbCheckNowClick() {
    FStore.CheckNow(-1);
}

void TfrmMsgList::SelectAll() {
    for (int i = 0; i < RowCount(); ++i)
        SetTicked(i, true);
}

void TfrmMsgList::DeselectAll() {
    for (int i = 0; i < RowCount(); ++i)
        SetTicked(i, false);
}

void TfrmMsgList::ToggleSelection() {
    for (const QModelIndex& index : lvMessages->selectionModel()->selectedRows()) {
        const int entry = EntryOf(index);
        FModel->SetTicked(entry, !FModel->Ticked(entry));
    }
}

void TfrmMsgList::OpenSelected() {
    QModelIndex current = lvMessages->currentIndex();
    const QItemSelectionModel* selection = lvMessages->selectionModel();
    if (!current.isValid() || !selection->isRowSelected(current.row(), {})) {
        const auto selected = selection->selectedRows();
        current = selected.isEmpty() ? QModelIndex() : selected.first();
    }
    if (current.isValid())
        FStore.Reader().Open(FStore.Entries()[static_cast<size_t>(EntryOf(current))].Id);
}

void TfrmMsgList::HeaderClicked(int column) {
    SortBy(column, column == FSortColumn ? !FAscending : true);
}

void TfrmMsgList::SortBy(int column, bool ascending) {
    if (column < 0 || column >= MsgColumnCount)
        return;
    FSortColumn = column;
    FAscending = ascending;
    const Qt::SortOrder order = ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    FProxy->sort(column, order);
    lvMessages->header()->setSortIndicatorShown(true);
    lvMessages->header()->setSortIndicator(column, order);
}

bool TfrmMsgList::WindowKey(QKeyEvent* e) {
    auto click = [](QToolButton* button) {
        ClickIfEnabled(button);
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
    if (e->type() == QEvent::KeyPress && WindowKey(static_cast<QKeyEvent*>(e)))
        return true;
    return QMainWindow::event(e);
}

void TfrmMsgList::showEvent(QShowEvent* e) {
    if (!e->spontaneous()) {
        if (FFitColumns)
            FitColumnsToContents();
        FFitColumns = false;
        // Without a stored placement the window manager could put it anywhere, even
        // partly off the screen.
        if (!LoadPlacement(this, "MsgList") && !FWasShown)
            CentreOnScreen(this);
        else
            KeepOnScreen(this);
        FWasShown = true;
    }
    QMainWindow::showEvent(e);
}

void TfrmMsgList::hideEvent(QHideEvent* e) {
    QMainWindow::hideEvent(e);
    emit Hidden();
}

void TfrmMsgList::closeEvent(QCloseEvent* e) {
    PullIntoScreenOrigin(this);
    if (FWasShown)
        SavePlacement(this, "MsgList");
    e->accept();
    hide();
}

void TfrmMsgList::LoadLayout() {
    const TColumnLayout stored = Settings().ListLayout();
    QHeaderView* header = lvMessages->header();
    if (static_cast<int>(stored.Order.size()) == MsgColumnCount) {
        for (int visual = 0; visual < MsgColumnCount; ++visual) {
            const int logical = stored.Order[visual];
            if (logical >= 0 && logical < MsgColumnCount)
                header->moveSection(header->visualIndex(logical), visual);
        }
    }
    FFitColumns = static_cast<int>(stored.Sizes.size()) != MsgColumnCount;
    if (!FFitColumns) {
        for (int column = 0; column < MsgColumnCount; ++column) {
            const int width = stored.Sizes[column];
            if (width > 0 && width < 10000)
                header->resizeSection(column, width);
        }
    }
    if (stored.SortColumn >= 0 && stored.SortColumn < MsgColumnCount)
        SortBy(stored.SortColumn, stored.Ascending);
}

void TfrmMsgList::FitColumnsToContents() {
    FModel->FlushRows();
    QScreen* screen = QGuiApplication::primaryScreen();
    const int widest = screen ? AvailableArea(screen).width() / 2 : QWIDGETSIZE_MAX;
    QHeaderView* header = lvMessages->header();
    // The tree view keeps its override protected; the base's is public.
    const QAbstractItemView* view = lvMessages;
    int total = 0;
    for (int column = 0; column < MsgColumnCount; ++column) {
        // A long subject must not push the other columns out of sight.
        const int width = std::min(
            widest, std::max(header->sectionSizeHint(column), view->sizeHintForColumn(column)));
        header->resizeSection(column, width);
        total += width;
    }
    const int chrome = 2 * lvMessages->frameWidth() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lvMessages) +
                       2 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    resize(std::max(width(), total + chrome), height());
}

void TfrmMsgList::SaveLayout() const {
    TColumnLayout layout;
    const QHeaderView* header = lvMessages->header();
    for (int visual = 0; visual < MsgColumnCount; ++visual)
        layout.Order.push_back(header->logicalIndex(visual));
    for (int column = 0; column < MsgColumnCount; ++column)
        layout.Sizes.push_back(header->sectionSize(column));
    layout.SortColumn = FSortColumn;
    layout.Ascending = FAscending;
    Settings().SetListLayout(layout);
}
