// The "Check email" commands: all accounts, then each account by name.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class TMessageStore;

// One set of actions, made again whenever the accounts change, shared by every menu that
// offers them (the bar's and the message list's).
class TAccountActions : public QObject {
    Q_OBJECT
  public:
    // The store's set, made on first use; it lives as long as the store.
    static TAccountActions& Of(TMessageStore& store);
    // Shows the actions in menu, now and after every change of the accounts.
    void Attach(QMenu* menu);
    const QList<QAction*>& Actions() const { return FActions; }

  private:
    explicit TAccountActions(TMessageStore& store);
    void Rebuild();

    TMessageStore& FStore;
    QList<QAction*> FActions;
    QList<QPointer<QMenu>> FMenus;
};
