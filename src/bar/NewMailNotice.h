// TNewMailNotice: the desktop notification of new mail, with the actions "Open" (the read
// window on the newest unread message) and "Mark all read".
#pragma once

#include "model/StoreRecords.h"

#include <QObject>
#include <QString>

class TDesktopNotification;
class TMessageStore;

// What the notification says of the unread entries: plain text, one line a message.
struct TNewMailText {
    QString Summary;
    QString Body;
    TEntryId Newest = TEntryId::None; // None: nothing unread
};

// The count of the unread entries and the newest few, newest first: sender and subject,
// each cut to a length a notification can show.
TNewMailText NewMailText(const TEntryArray& entries);

class TNewMailNotice : public QObject {
    Q_OBJECT
  public:
    TNewMailNotice(TMessageStore& store, QObject* parent);

    // Tells the desktop of the unread mail, replacing the notification shown before.
    void Announce();

  private:
    void ActionInvoked(const QString& key);

    TMessageStore& FStore;
    TDesktopNotification* FNotification;
    // The message "Open" shows; looked up when chosen, since it may be gone by then.
    TEntryId FNewest = TEntryId::None;
};
