// The "Check email" account menu: all accounts, then each account by name.
#include "windows/UAccountMenu.h"

#include "core/Settings.h"
#include "store/MessageStore.h"
#include "windows/UScreenText.h"

#include <QMenu>

void FillAccountMenu(QMenu* menu, TMessageStore& store) {
    menu->clear();
    auto add = [menu, &store](const QString& caption, int tag) {
        QAction* item = menu->addAction(caption);
        item->setData(tag);
        QObject::connect(item, &QAction::triggered, &store, [&store, tag] { store.CheckNow(tag); });
    };
    add("&All accounts", -1);
    menu->addSeparator();
    const std::vector<TAccount>& accounts = Settings().Accounts();
    for (int i = 0; i < static_cast<int>(accounts.size()); ++i)
        add(ScreenText(accounts[i].AccountName), i);
}
