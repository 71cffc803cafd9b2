// The "Check email" account menu: all accounts, then each account by name.
#pragma once

class QMenu;
class TMessageStore;

// Refills menu from the accounts of the settings; each item asks the store to check its account.
void FillAccountMenu(QMenu* menu, TMessageStore& store);
