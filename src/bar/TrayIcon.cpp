// The status icon: the unread count follows the store's entries.
#include "bar/TrayIcon.h"

#include "store/MessageStore.h"

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int RecountDelay = 50; // ms
constexpr int PictureSize = 64;
constexpr int LargestShownCount = 99;

QString CountText(int count) {
    if (count == 0)
        return QStringLiteral("Quillbar: no unread messages");
    return count == 1 ? QStringLiteral("Quillbar: 1 unread message")
                      : QStringLiteral("Quillbar: %1 unread messages").arg(count);
}

// The program's icon with count drawn on it; 0 gives the plain icon.
QImage TrayPicture(int count) {
    QImage picture = QImage(QStringLiteral(":/icons/quillbar-64.png"))
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull()) {
        picture = QImage(PictureSize, PictureSize, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
    }
    if (count <= 0)
        return picture;
    const QString text = count > LargestShownCount ? QString::number(LargestShownCount) + u'+'
                                                   : QString::number(count);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(picture.height() * 2 / 5);
    painter.setFont(font);
    // A badge in the lower right corner, wide enough for the digits.
    const int height = picture.height() * 3 / 5;
    const int width = std::max(height, painter.fontMetrics().horizontalAdvance(text) + height / 3);
    const QRect badge(picture.width() - width, picture.height() - height, width, height);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(QColor(0xD0, 0x20, 0x20));
    painter.drawRoundedRect(badge.adjusted(1, 1, -1, -1), height / 2.0, height / 2.0);
    painter.drawText(badge, Qt::AlignCenter, text);
    return picture;
}

} // namespace

TTrayIcon::TTrayIcon(TMessageStore& store, QMenu* menu, QObject* parent)
    : QObject(parent), FStore(store), FIcon(new QSystemTrayIcon(this)), FRecount(new QTimer(this)) {
    setObjectName("TrayIcon");
    FIcon->setContextMenu(menu);
    connect(FIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger)
                    emit MessageListWanted();
            });
    FRecount->setSingleShot(true);
    FRecount->setInterval(RecountDelay);
    connect(FRecount, &QTimer::timeout, this, &TTrayIcon::Recount);
    for (auto changed :
         {&TMessageStore::EntryAdded, &TMessageStore::EntryRemoved, &TMessageStore::EntryChanged})
        connect(&FStore, changed, this, [this] {
            if (!FRecount->isActive())
                FRecount->start();
        });
    Recount();
}

void TTrayIcon::SetShown(bool shown) {
    FIcon->setVisible(shown);
}

void TTrayIcon::Recount() {
    int unread = 0;
    for (const TEntry& entry : FStore.Entries())
        unread += entry.Read ? 0 : 1;
    if (unread == FUnread)
        return;
    FUnread = unread;
    FIcon->setIcon(QIcon(QPixmap::fromImage(TrayPicture(unread))));
    FIcon->setToolTip(CountText(unread));
}
