// Small pictures drawn in code: task and error marks, message states, toolbar icons.
#pragma once

#include <QIcon>
#include <QPixmap>

// Image list of the tasks window: 0 running job, 1 error.
QPixmap TaskImage(int index);
// Image list of the message list: 0 unread, 1 spam, 2 read.
QPixmap MessageImage(int index);
// The inbox picture of the message list's location strip (16 x 16).
QPixmap InboxImage();

enum class TToolIcon { Compose, MarkRead, ShowAll, Delete, AntiSpam, CheckNow };
// A 24 x 24 toolbar icon with a brighter variant for the hot state.
QIcon ToolIcon(TToolIcon which);
// The double arrow of a tool bar's button for the commands that do not fit (16 x 16).
QIcon ExtensionArrowIcon(bool vertical);
