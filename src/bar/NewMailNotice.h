// TNewMailNotice: the desktop notification of the mail a check brought. One message: a click
// opens it, "Mark as read" and "Delete" act on it. Several: a click opens the message list.
// It is taken down once none of its messages is unread, and at exit.
#pragma once

#include "model/StoreRecords.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

class TDesktopNotification;
class TMessageStore;

// What the notification says of the unread ones of the messages that arrived: plain text.
struct TNewMailText {
    QString Summary;
    QString Body;
    std::vector<TEntryId> Messages; // newest first; empty: nothing unread to tell of
};

// One message: its sender's name (the address where the header gives none) over its
// subject. Several: their count and account over the newest few, sender and subject, each
// cut to a length a notification can show. arrived: sorted ids; accountName: by index.
TNewMailText NewMailText(const TEntryArray& entries, const std::vector<TEntryId>& arrived,
                         const std::function<std::string(int)>& accountName);

class TNewMailNotice : public QObject {
    Q_OBJECT
  public:
    TNewMailNotice(TMessageStore& store, QObject* parent);

    // Tells the desktop of the unread ones of arrived, in place of the notification before.
    void Announce(const std::vector<TEntryId>& arrived);

  signals:
    // A click on a notification of several messages.
    void ListWanted();

  private:
    void ActionInvoked(const QString& key);
    // The entry at index is read, or about to go.
    void EntryDone(int index, bool gone);

    TMessageStore& FStore;
    TDesktopNotification* FNotification;
    // The unread messages of the notification up; looked up when an action is chosen,
    // since each may be gone by then.
    std::unordered_set<TEntryId> FShown;
    TEntryId FSingle = TEntryId::None; // the message of a notification of one
};
