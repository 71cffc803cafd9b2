// Preparing the read window's view: parsing and every conversion of text happen here,
// on the preparing thread, so that the window only sets what it is given.
#include "store/ReadView.h"

#include "mime/AttachmentName.h"
#include "mime/DateTimeValue.h"
#include "mime/DisplayText.h"
#include "mime/Message.h"
#include "mime/MessageText.h"
#include "mime/Stream.h"

#include <QDateTime>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <string_view>

const char* const WhoisServiceUrl = "https://www.geektools.com";

namespace {

// Attachments larger than this are decoded again when the user opens or saves them, so that
// a message with a large file is held once, as its text.
constexpr size_t KeptAttachmentBytes = 1 << 20;
// A body text beyond this is cut for the Text tab; the Source tab has all of it.
constexpr size_t ShownBodyBytes = 4 << 20;

// The body text as the Text tab shows it: a text of hundreds of megabytes would make a
// document of gigabytes.
std::string ShownBody(std::string text) {
    if (text.size() <= ShownBodyBytes)
        return text;
    size_t cut = ShownBodyBytes;
    // Not inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    const size_t rest = (text.size() - cut) >> 20;
    text.resize(cut);
    text += "\n\n[The text goes on for " + std::to_string(rest > 0 ? rest : 1) +
            " MB more; the Source tab has the whole message.]";
    return text;
}

QString Contact(const TQBContact& contact) {
    // The address of a list's later entry still has the blank after the comma.
    std::string address = contact.Address;
    address.erase(0, std::min(address.find_first_not_of(' '), address.size()));
    return QString::fromStdString(SingleLine(ContactText(contact.Name, address)));
}

QString Contacts(const std::vector<TQBContact>& list) {
    QStringList parts;
    for (const TQBContact& contact : list)
        parts << Contact(contact);
    return parts.join(", ");
}

QString DateText(double value) {
    if (value == 0)
        return QString();
    const TDateTimeParts parts = DecodeDateTime(value);
    const QDateTime time(QDate(parts.Year, parts.Month, parts.Day),
                         QTime(parts.Hour, parts.Minute, parts.Second));
    return QLocale().toString(time, "MMM dd yyyy hh:mm:ss");
}

// Escaped plain text with the URLs in it made into links.
QString LinkedText(QString text) {
    // A CR of a CR LF would show as a line break of its own.
    text.replace("\r\n", "\n");
    static const QRegularExpression url(
        R"((?:https?://|ftp://|mailto:|www\.)[^\s<>"']+[^\s<>"'.,;:!?)\]])",
        QRegularExpression::CaseInsensitiveOption);
    QString html;
    html.reserve(text.size() + text.size() / 8);
    qsizetype at = 0;
    for (auto it = url.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        html += text.mid(at, match.capturedStart() - at).toHtmlEscaped();
        QString target = match.captured();
        if (target.startsWith("www.", Qt::CaseInsensitive))
            target = "http://" + target;
        html += "<a href=\"" + target.toHtmlEscaped() + "\">" + match.captured().toHtmlEscaped() +
                "</a>";
        at = match.capturedEnd();
    }
    html += text.mid(at).toHtmlEscaped();
    return "<pre style=\"white-space: pre-wrap; font-family: inherit\">" + html + "</pre>";
}

std::vector<TReadAttachment> Attachments(const TQBMessage& message) {
    std::vector<TReadAttachment> list;
    const QMimeDatabase types;
    for (int i = 0; i < message.PartCount(); ++i) {
        const TQBMessagePart& part = message.GetPart(i);
        if (part.Disposition != "attachment")
            continue;
        TReadAttachment item;
        item.Part = i;
        item.Name = SafeFileName(DisplayFileName(part));
        const QMimeType type =
            types.mimeTypeForFile(QString::fromStdString(item.Name), QMimeDatabase::MatchExtension);
        item.IconName = type.iconName();
        item.GenericIconName = type.genericIconName();
        list.push_back(std::move(item));
    }
    return list;
}

} // namespace

// Every header text of the message reaches the screen through here.
QString ShownHeaderText(const std::string& raw) {
    return QString::fromStdString(SingleLine(DecodeHeaderText(raw)));
}

TReadView PrepareReadView(std::shared_ptr<const std::string> source, bool complete,
                          const std::atomic<bool>& cancelled,
                          const std::function<void(int64_t parsed)>& progress) {
    auto message = std::make_shared<TQBMessage>();
    message->MaxKeptData = KeptAttachmentBytes;
    TViewStream stream(*source);
    stream.OnRead = [&](int64_t position) {
        if (cancelled)
            throw EStreamError("The preparation was cancelled.");
        if (progress)
            progress(position);
    };
    message->LoadFromStream(stream);
    const TQBMessage& m = *message;

    TReadView view;
    view.Priority = m.Decoder.Priority;
    view.From = Contact(m.From);
    view.Date = DateText(m.Date);
    view.To = Contacts(m.To);
    view.CC = Contacts(m.CC);
    view.Subject = ShownHeaderText(m.Decoder.Subject);
    const TBodyText body = SelectBodyText(m);
    view.BodyHtml = LinkedText(QString::fromStdString(ShownBody(body.Text)));
    view.TextTab = body.TextTab;
    view.Attachments = Attachments(m);
    view.SourceIP = ShownHeaderText(m.GetReceived(0).IP);
    view.SourceLink = QString(WhoisServiceUrl) +
                      "/cgi-bin/proxy.cgi?query=" + QUrl::toPercentEncoding(view.SourceIP, "()") +
                      "&targetnic=auto";
    const std::string& recipient =
        m.GetReceived(1).For != "(unknown)" ? m.GetReceived(1).For : m.GetReceived(0).For;
    view.Recipient = ShownHeaderText(recipient);
    view.Source = std::move(source);
    view.Complete = complete;
    view.Message = std::move(message);
    return view;
}

QString NextSourcePiece(const std::string& source, size_t& offset, size_t bytes) {
    if (offset >= source.size())
        return QString();
    size_t end = offset + std::max<size_t>(bytes, 1);
    if (end >= source.size()) {
        end = source.size();
    } else {
        const size_t lineEnd = source.find('\n', end - 1);
        end = lineEnd == std::string::npos ? source.size() : lineEnd + 1;
    }
    std::string text = SourceText(std::string_view(source).substr(offset, end - offset));
    offset = end;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return QString::fromStdString(text);
}
