// TTrayIcon: the status icon for desktops where the bar cannot dock. It shows the unread
// count in its tooltip and drawn on it, opens the bar's main menu on a right click and the
// message list on a click.
#pragma once

#include <QObject>

class QMenu;
class QSystemTrayIcon;
class QTimer;
class TMessageStore;

class TTrayIcon : public QObject {
    Q_OBJECT
  public:
    // menu: the bar's main menu; it outlives the icon.
    TTrayIcon(TMessageStore& store, QMenu* menu, QObject* parent);

    void SetShown(bool shown);

  signals:
    void MessageListWanted();

  private:
    // Counts the unread entries and shows the count when it changed.
    void Recount();

    TMessageStore& FStore;
    QSystemTrayIcon* FIcon;
    // Changes come in bursts (a check announces many messages): one recount serves them.
    QTimer* FRecount;
    int FUnread = -1;
};
