// The notification's text from the store's unread entries, and its actions back to the store.
#include "bar/NewMailNotice.h"

#include "platform/DesktopNotification.h"
#include "store/MessageStore.h"

namespace {

constexpr int ShownMessages = 3;
constexpr qsizetype SubjectLength = 100;
constexpr qsizetype SenderLength = 60;

const QString OpenKey = QStringLiteral("open");
const QString MarkAllReadKey = QStringLiteral("mark-all-read");

// One line of at most limit characters: control characters dropped, a pair of
// surrogates never split.
QString Cut(const std::string& utf8, qsizetype limit) {
    QString line;
    for (const QChar c : QString::fromUtf8(utf8))
        if (c.category() != QChar::Other_Control && c.category() != QChar::Separator_Line &&
            c.category() != QChar::Separator_Paragraph)
            line += c;
    if (line.size() <= limit)
        return line;
    qsizetype end = limit - 1;
    if (line.at(end - 1).isHighSurrogate())
        --end;
    return line.left(end) + QChar(0x2026);
}

} // namespace

TNewMailText NewMailText(const TEntryArray& entries) {
    TNewMailText text;
    int unread = 0;
    QStringList lines;
    // Entries are appended as they arrive: the last is the newest.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->Read)
            continue;
        if (++unread == 1)
            text.Newest = entry->Id;
        if (unread <= ShownMessages)
            lines << Cut(entry->Fields.From, SenderLength) + QStringLiteral(": ") +
                         Cut(entry->Fields.Subject, SubjectLength);
    }
    if (unread > ShownMessages)
        lines << QStringLiteral("and %1 more").arg(unread - ShownMessages);
    text.Summary = unread == 1 ? QStringLiteral("1 unread message")
                               : QStringLiteral("%1 unread messages").arg(unread);
    text.Body = lines.join('\n');
    return text;
}

TNewMailNotice::TNewMailNotice(TMessageStore& store, QObject* parent)
    : QObject(parent), FStore(store), FNotification(new TDesktopNotification(this)) {
    connect(FNotification, &TDesktopNotification::ActionInvoked, this,
            &TNewMailNotice::ActionInvoked);
}

void TNewMailNotice::Announce() {
    const TNewMailText text = NewMailText(FStore.Entries());
    if (text.Newest == TEntryId::None)
        return;
    FNewest = text.Newest;
    FNotification->Show(
        text.Summary, text.Body,
        {{OpenKey, QStringLiteral("Open")}, {MarkAllReadKey, QStringLiteral("Mark all read")}});
}

void TNewMailNotice::ActionInvoked(const QString& key) {
    if (key == OpenKey) {
        if (FStore.EntryOrGone(FNewest) >= 0)
            FStore.Reader().Open(FNewest);
    } else if (key == MarkAllReadKey) {
        FStore.MarkAllRead();
    }
}
