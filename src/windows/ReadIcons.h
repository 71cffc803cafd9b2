// Pictures of the read window drawn in code: toolbar icons, priority marks, paper clip.
#pragma once

#include <QIcon>
#include <QPixmap>

enum class TReadIcon {
    Reply,
    ReplyAll,
    Forward,
    Redirect,
    First,
    Previous,
    Next,
    Last,
    AddContact,
    Download
};
// A 24 x 24 toolbar icon with a brighter variant for the hot state.
QIcon ReadIcon(TReadIcon which);
// The priority banner's 12 x 12 icons: 0 high, 1 low.
QPixmap PriorityImage(int index);
// The attachment button's paper clip.
QIcon PaperClipIcon();
// The side picture of the attachment prompt, size pixels.
QPixmap AttachmentPicture(QSize size);
