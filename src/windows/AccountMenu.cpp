// The "Check email" commands: all accounts, then each account by name.
#include "windows/AccountMenu.h"

#include "core/Settings.h"
#include "store/MessageStore.h"
#include "windows/ScreenText.h"

#include <QAction>
#include <QMenu>

TAccountActions& TAccountActions::Of(TMessageStore& store) {
    if (auto* actions = store.findChild<TAccountActions*>(QString(), Qt::FindDirectChildrenOnly))
        return *actions;
    return *new TAccountActions(store);
}

TAccountActions::TAccountActions(TMessageStore& store) : QObject(&store), FStore(store) {
    Rebuild();
    connect(&store, &TMessageStore::AccountMenusChanged, this, &TAccountActions::Rebuild);
}

void TAccountActions::Attach(QMenu* menu) {
    FMenus.append(menu);
    menu->addActions(FActions);
}

void TAccountActions::Rebuild() {
    for (QAction* action : FActions) {
        for (const QPointer<QMenu>& menu : FMenus)
            if (menu)
                menu->removeAction(action);
        action->deleteLater();
    }
    FActions.clear();
    // An account is named when chosen, not by its place: places change as accounts go.
    auto add = [this](const QString& caption, const std::string& account) {
        auto* action = new QAction(caption, this);
        connect(action, &QAction::triggered, &FStore, [this, account] {
            const int index = account.empty() ? -1 : Settings().IndexOf(account);
            if (account.empty() || index >= 0)
                FStore.CheckNow(index);
        });
        FActions.append(action);
    };
    add("&All accounts", {});
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    FActions.append(separator);
    for (const TAccount& account : Settings().Accounts())
        add(ScreenText(account.AccountName), account.AccountName);
    for (const QPointer<QMenu>& menu : FMenus)
        if (menu)
            menu->addActions(FActions);
}
