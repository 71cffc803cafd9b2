// The options dialog's accounts tab: the list with colour swatches, Add, Edit and Remove.
#include "dialogs/FOptions.h"

#include "core/Global.h"
#include "core/PasswordVault.h"
#include "core/Settings.h"
#include "dialogs/FAccount.h"
#include "dialogs/SaveWarning.h"
#include "platform/MessageBox.h"
#include "skin/Skin.h"
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

TStringList AccountNames() {
    TStringList names;
    for (const TAccount& account : Settings().Accounts())
        names.push_back(account.AccountName);
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
    const std::string selected = SelectedAccount();
    lvAccounts->clear();
    for (const TAccount& account : Settings().Accounts()) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::fromStdString(account.AccountName));
        item->setText(1, QString::fromStdString(account.Host));
        item->setIcon(0, Swatch(account.Color));
        lvAccounts->addTopLevelItem(item);
        if (!selected.empty() && SameText(account.AccountName, selected))
            lvAccounts->setCurrentItem(item);
    }
}

std::string TfrmOptions::SelectedAccount() const {
    const QTreeWidgetItem* item = lvAccounts->currentItem();
    return item ? item->text(0).toStdString() : std::string();
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

void TfrmOptions::StartSigningIn(const std::string& account) {
    if (AccountDialog())
        return;
    pcOptions->setCurrentWidget(tsAccounts);
    const QList<QTreeWidgetItem*> found =
        lvAccounts->findItems(QString::fromStdString(account), Qt::MatchFixedString);
    if (found.isEmpty())
        return;
    lvAccounts->setCurrentItem(found.front());
    cmdAccEditClick();
    if (TfrmAccount* dialog = AccountDialog())
        dialog->FocusSignIn();
}

void TfrmOptions::cmdAccAddClick() {
    auto* dialog = new TfrmAccount(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->SelectColor(NoAccountColor);
    dialog->TakenNames = AccountNames();
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        TAccountConfig account;
        dialog->GetFields(account, true);
        ChangeSettings(this, dialog->windowTitle(), [&account] { Settings().AddAccount(account); });
        lvAccounts->setCurrentItem(lvAccounts->topLevelItem(lvAccounts->topLevelItemCount() - 1));
        FAddedAccounts.push_back(account.AccountName);
    });
    dialog->open();
}

void TfrmOptions::CheckAddedAccounts() {
    // The new accounts show their mail at once rather than at the next round; one
    // removed again meanwhile is not looked for.
    for (const std::string& name : FAddedAccounts) {
        const int index = Settings().IndexOf(name);
        if (index >= 0 && Settings().Accounts()[index].Active)
            FStore.CheckNow(index);
    }
    FAddedAccounts.clear();
}

void TfrmOptions::cmdAccEditClick() {
    const std::string name = SelectedAccount();
    const int index = Settings().IndexOf(name);
    if (name.empty() || index < 0)
        return;
    auto* dialog = new TfrmAccount(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->SetFields(Settings().Accounts()[index]);
    dialog->LockName();
    connect(dialog, &QDialog::accepted, this, [this, dialog, name] {
        TAccountConfig account;
        dialog->GetFields(account, false);
        // Gone meanwhile: nothing to edit.
        ChangeSettings(this, dialog->windowTitle(),
                       [&account, &name] { Settings().EditAccount(name, account); });
        // An account that failed need not wait for the next round to show it works now.
        if (dialog->LoginChanged())
            FStore.AccountEdited(name);
    });
    dialog->open();
}

void TfrmOptions::cmdAccRemoveClick() {
    const std::string name = SelectedAccount();
    if (name.empty())
        return;
    if (ShowMessageBox(this,
                       "Are you sure you want to remove the account '" +
                           QString::fromStdString(name) + "'?",
                       "Remove Account", QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const int index = Settings().IndexOf(name);
    if (index >= 0 && Settings().Accounts()[index].Keyring && PasswordVault()) {
        PasswordVault()->Remove(name);
        if (Settings().Accounts()[index].Auth == TAuthKind::OAuth2)
            RemoveOAuthSecrets(*PasswordVault(), name);
    }
    ChangeSettings(this, "Remove Account", [&name] { Settings().RemoveAccount(name); });
}
