// The options dialog's accounts tab: the list with colour swatches, Add, Edit and Remove.
#include "dialogs/FOptions.h"

#include "core/UOptions.h"
#include "dialogs/FAccount.h"
#include "platform/MessageBox.h"
#include "skin/USkin.h"
#include "store/MessageStore.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QIcon Swatch(int color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(SkinQColor(color));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

TStringList NamesBut(int row) {
    TStringList names;
    for (int i = 0; i < static_cast<int>(Accounts.size()); ++i)
        if (i != row)
            names.push_back(Accounts[i].AccountName);
    return names;
}

} // namespace

QWidget* TfrmOptions::CreateAccountsTab() {
    auto* page = new QWidget;
    page->setObjectName("tsAccounts");
    lvAccounts = new QTreeWidget;
    lvAccounts->setObjectName("lvAccounts");
    lvAccounts->setHeaderLabels({"Name", "Host"});
    lvAccounts->setRootIsDecorated(false);
    lvAccounts->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvAccounts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvAccounts->header()->setSectionsClickable(false);
    lvAccounts->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvAccounts->setIconSize(QSize(16, 16));
    lvAccounts->installEventFilter(this);
    cmdAccAdd = new QPushButton("&Add");
    cmdAccAdd->setObjectName("cmdAccAdd");
    cmdAccEdit = new QPushButton("&Edit");
    cmdAccEdit->setObjectName("cmdAccEdit");
    cmdAccRemove = new QPushButton("&Remove");
    cmdAccRemove->setObjectName("cmdAccRemove");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAccAdd);
    buttons->addWidget(cmdAccEdit);
    buttons->addWidget(cmdAccRemove);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(lvAccounts, 1);
    layout->addLayout(buttons);

    connect(cmdAccAdd, &QPushButton::clicked, this, &TfrmOptions::cmdAccAddClick);
    connect(cmdAccEdit, &QPushButton::clicked, this, &TfrmOptions::cmdAccEditClick);
    connect(cmdAccRemove, &QPushButton::clicked, this, &TfrmOptions::cmdAccRemoveClick);
    connect(lvAccounts, &QTreeWidget::itemDoubleClicked, this, &TfrmOptions::cmdAccEditClick);
    return page;
}

bool TfrmOptions::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lvAccounts && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmdAccEditClick();
            return true;
        }
        if (key == Qt::Key_Delete) {
            cmdAccRemoveClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TfrmOptions::FillAccounts() {
    lvAccounts->clear();
    for (size_t i = 0; i < Accounts.size(); ++i) {
        lvAccounts->addTopLevelItem(new QTreeWidgetItem);
        SetAccountRow(static_cast<int>(i));
    }
}

void TfrmOptions::SetAccountRow(int row) {
    QTreeWidgetItem* item = lvAccounts->topLevelItem(row);
    const TAccount& account = Accounts[row];
    item->setText(0, QString::fromStdString(account.AccountName));
    item->setText(1, QString::fromStdString(account.POPHost));
    item->setIcon(0, Swatch(account.Color));
}

TfrmAccount* TfrmOptions::AccountDialog() const {
    for (auto* dialog : findChildren<TfrmAccount*>())
        if (dialog->isVisible())
            return dialog;
    return nullptr;
}

void TfrmOptions::StartAddingAccount() {
    pcOptions->setCurrentWidget(tsAccounts);
    cmdAccAddClick();
}

void TfrmOptions::cmdAccAddClick() {
    auto* dialog = new TfrmAccount(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->SelectColor(NoAccountColor);
    dialog->TakenNames = NamesBut(-1);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { AccountAdded(dialog); });
    dialog->open();
}

void TfrmOptions::AccountAdded(TfrmAccount* dialog) {
    TAccount account;
    dialog->GetFields(account, true);
    AddAccount(account, true);
    Store.BuildAccountMenus();
    const int row = static_cast<int>(Accounts.size()) - 1;
    lvAccounts->addTopLevelItem(new QTreeWidgetItem);
    SetAccountRow(row);
    emit AccountsChanged();
    FAddedAccounts.push_back(account.AccountName);
}

void TfrmOptions::CheckAddedAccounts() {
    // The new accounts show their mail at once rather than at the next round; one
    // removed again meanwhile is not looked for.
    for (const std::string& name : FAddedAccounts)
        for (int i = 0; i < static_cast<int>(Accounts.size()); ++i)
            if (Accounts[i].AccountName == name && Accounts[i].Active)
                Store.CheckNow(i);
    FAddedAccounts.clear();
}

void TfrmOptions::cmdAccEditClick() {
    const int row = lvAccounts->indexOfTopLevelItem(lvAccounts->currentItem());
    if (row < 0 || row >= static_cast<int>(Accounts.size()))
        return;
    auto* dialog = new TfrmAccount(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->SetFields(Accounts[row]);
    // The name keys the account's section.
    dialog->txtAccount->setEnabled(false);
    const std::string name = Accounts[row].AccountName;
    connect(dialog, &QDialog::accepted, this, [this, dialog, name] {
        // The account may have moved while the dialog was open; find it by name.
        const int now = IndexOfText(NamesBut(-1), name);
        if (now >= 0)
            AccountEdited(dialog, now);
    });
    dialog->open();
}

void TfrmOptions::AccountEdited(TfrmAccount* dialog, int row) {
    TAccount& account = Accounts[row];
    dialog->GetFields(account, false);
    Store.BuildAccountMenus();
    SetAccountRow(row);
    SaveAccount(row);
    emit AccountsChanged();
}

void TfrmOptions::cmdAccRemoveClick() {
    const int row = lvAccounts->indexOfTopLevelItem(lvAccounts->currentItem());
    if (row < 0 || row >= static_cast<int>(Accounts.size()))
        return;
    const QString name = QString::fromStdString(Accounts[row].AccountName);
    if (ShowMessageBox(this, "Are you sure you want to remove the account '" + name + "'?",
                       "Remove Account", QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    DeleteAccount(row);
    delete lvAccounts->takeTopLevelItem(row);
    Store.RemoveAccountButtons(row);
    Store.BuildAccountMenus();
    emit AccountsChanged();
}
