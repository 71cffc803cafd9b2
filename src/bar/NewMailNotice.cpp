// The notification's text from the entries that arrived, and its actions back to the store.
#include "bar/NewMailNotice.h"

#include "mime/Charset.h"
#include "mime/DisplayText.h"
#include "platform/DesktopNotification.h"
#include "store/MessageStore.h"
#include "windows/DeleteQuestion.h"

#include <algorithm>
#include <set>

namespace {

constexpr int ShownMessages = 3;
constexpr qsizetype SubjectLength = 100;
constexpr qsizetype SenderLength = 60;
constexpr qsizetype AccountLength = 40;

// The desktop's name for a click on the notification itself.
const QString OpenKey = QStringLiteral("default");
const QString MarkReadKey = QStringLiteral("mark-read");
const QString DeleteKey = QStringLiteral("delete");

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

QString Sender(const TEntryFields& fields) {
    return Cut(fields.FromName.empty() ? fields.From : fields.FromName, SenderLength);
}

// Where several messages arrived: the account, both of two, or how many.
QString Where(const std::set<int>& accounts, const std::function<std::string(int)>& accountName) {
    std::vector<QString> names;
    for (int account : accounts)
        names.push_back(Cut(SingleLine(UndeclaredToUtf8(accountName(account))), AccountLength));
    if (names.size() == 1)
        return names[0];
    if (names.size() == 2)
        return names[0] + QStringLiteral(" and ") + names[1];
    return QStringLiteral("%1 accounts").arg(names.size());
}

} // namespace

TNewMailText NewMailText(const TEntryArray& entries, const std::vector<TEntryId>& arrived,
                         const std::function<std::string(int)>& accountName) {
    TNewMailText text;
    std::set<int> accounts;
    const TEntry* newest = nullptr;
    QStringList lines;
    // Entries are appended as they arrive: the last is the newest.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->Read || !std::binary_search(arrived.begin(), arrived.end(), entry->Id))
            continue;
        if (text.Messages.empty())
            newest = &*entry;
        text.Messages.push_back(entry->Id);
        accounts.insert(entry->Account);
        if (lines.size() < ShownMessages)
            lines << Sender(entry->Fields) + QStringLiteral(": ") +
                         Cut(entry->Fields.Subject, SubjectLength);
    }
    const qsizetype count = static_cast<qsizetype>(text.Messages.size());
    if (count == 1) {
        text.Summary = Sender(newest->Fields);
        text.Body = Cut(newest->Fields.Subject, SubjectLength);
    } else if (count > 1) {
        if (count > ShownMessages)
            lines << QStringLiteral("and %1 more").arg(count - ShownMessages);
        text.Summary =
            QStringLiteral("%1 new messages in %2").arg(count).arg(Where(accounts, accountName));
        text.Body = lines.join('\n');
    }
    return text;
}

TNewMailNotice::TNewMailNotice(TMessageStore& store, QObject* parent)
    : QObject(parent), FStore(store), FNotification(new TDesktopNotification(this)) {
    connect(FNotification, &TDesktopNotification::ActionInvoked, this,
            &TNewMailNotice::ActionInvoked);
    connect(&FStore, &TMessageStore::EntryChanged, this,
            [this](int index) { EntryDone(index, false); });
    connect(&FStore, &TMessageStore::EntryAboutToBeRemoved, this,
            [this](int index) { EntryDone(index, true); });
}

void TNewMailNotice::Announce(const std::vector<TEntryId>& arrived) {
    const TNewMailText text = NewMailText(
        FStore.Entries(), arrived, [this](int account) { return FStore.AccountName(account); });
    if (text.Messages.empty())
        return;
    FShown = {text.Messages.begin(), text.Messages.end()};
    FSingle = text.Messages.size() == 1 ? text.Messages[0] : TEntryId::None;
    QList<TDesktopNotification::TAction> actions{{OpenKey, QStringLiteral("Open")}};
    if (FSingle != TEntryId::None)
        actions << TDesktopNotification::TAction{MarkReadKey, QStringLiteral("Mark as read")}
                << TDesktopNotification::TAction{DeleteKey, QStringLiteral("Delete")};
    FNotification->Show(text.Summary, text.Body, actions);
}

void TNewMailNotice::ActionInvoked(const QString& key) {
    // Done with once acted on, whatever the service does with it.
    const TEntryId entry = FSingle;
    FShown.clear();
    FNotification->Close();
    if (key == OpenKey && entry == TEntryId::None) {
        emit ListWanted();
    } else if (key == OpenKey) {
        if (FStore.EntryOrGone(entry) >= 0)
            FStore.Reader().Open(entry);
    } else if (key == MarkReadKey) {
        const int index = FStore.EntryOrGone(entry);
        if (index >= 0)
            FStore.MarkRead(index);
    } else if (key == DeleteKey) {
        // The question leaves the event loop running: the entry may go meanwhile, which
        // DeleteMessage tells the user of.
        if (FStore.EntryOrGone(entry) >= 0 && ConfirmDelete(nullptr, false))
            FStore.DeleteMessage(entry);
    }
}

void TNewMailNotice::EntryDone(int index, bool gone) {
    if (FShown.empty())
        return;
    const TEntry& entry = FStore.Entries()[static_cast<size_t>(index)];
    if ((gone || entry.Read) && FShown.erase(entry.Id) > 0 && FShown.empty())
        FNotification->Close();
}
