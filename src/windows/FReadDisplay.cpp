// The read window's display of a message: headers, body, priority, attachments and the
// replies through the mail program.
#include "windows/FRead.h"

#include "core/UGlobal.h"
#include "core/UOptions.h"
#include "mail/AttachmentName.h"
#include "mail/DateTimeValue.h"
#include "mail/DisplayText.h"
#include "mail/MessageText.h"
#include "mail/Replies.h"
#include "mail/Stream.h"
#include "mail/UCustomIndy.h"
#include "platform/PrivateFolder.h"
#include "platform/Shell.h"
#include "store/MessageStore.h"
#include "windows/FAttachment.h"
#include "windows/UReadIcons.h"
#include "windows/UScreenText.h"

#include <QDate>
#include <QFile>
#include <QFileIconProvider>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>

#include <exception>

namespace {

// Every header text of the message reaches the screen through here: decoded, on one line.
QString Shown(const std::string& raw) {
    return QString::fromStdString(SingleLine(DecodeHeaderText(raw)));
}

QString Contact(const TQBContact& contact) {
    // The address of a list's later entry still has the blank after the comma.
    std::string address = contact.Address;
    while (!address.empty() && address.front() == ' ')
        address.erase(0, 1);
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
    int at = 0;
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

QIcon FileTypeIcon(const QString& fileName) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    return icon.isNull() ? QFileIconProvider().icon(QFileIconProvider::File) : icon;
}

// An address keeps its "@"; everything else that could end a field is encoded.
QByteArray Percent(const QString& text) {
    return QUrl::toPercentEncoding(text, "@");
}

} // namespace

void TfrmRead::ClearView() {
    ShowPriority(0);
    for (QLineEdit* edit : {txtDate, txtFrom, txtTo, txtCC, txtSubject})
        edit->clear();
    rtfBody->clear();
    rtfSource->clear();
    setWindowTitle("Retrieving message...");
    cmdAttachment->hide();
}

void TfrmRead::ShowPriority(int priority) {
    if (priority == 1 || priority == 2) {
        lblPriority->setText("This message has High Priority");
        imgPriority->setPixmap(PriorityImage(0));
        pnlPriority->show();
    } else if (priority == 4 || priority == 5) {
        lblPriority->setText("This message has Low Priority");
        imgPriority->setPixmap(PriorityImage(1));
        pnlPriority->show();
    } else {
        pnlPriority->hide();
    }
}

void TfrmRead::DisplayMessage(const QByteArray& source) {
    rtfSource->setPlainText(QString::fromStdString(SourceText(source.toStdString())));
    CurrentMessage.reset();
    pbDecoding->setRange(0, std::max<qsizetype>(source.size(), 1));
    pbDecoding->setValue(0);
    pnlDecoding->show();
    pnlDecoding->repaint();
    auto message = std::make_unique<TQBMessage>();
    message->OnProgress = [this](TQBMessage& sender) {
        pbDecoding->setValue(static_cast<int>(sender.Decoder.Position()));
        pbDecoding->repaint();
    };
    TMemoryStream stream(source.toStdString());
    try {
        message->LoadFromStream(stream);
    } catch (...) {
        pnlDecoding->hide();
        CurrentMessage = std::move(message);
        throw;
    }
    pnlDecoding->hide();
    CurrentMessage = std::move(message);
    const TQBMessage& m = *CurrentMessage;

    rtfBody->clear();
    ShowPriority(m.Decoder.Priority);
    txtFrom->setText(Contact(m.From));
    txtDate->setText(DateText(m.Date));
    txtTo->setText(Contacts(m.To));
    txtCC->setText(Contacts(m.CC));
    FSubject = Shown(m.Decoder.Subject);
    txtSubject->setText(FSubject);
    ShowBody(SelectBodyText(m));
    SetTitle();
    ShowAttachments();

    const QString ip = Shown(m.GetReceived(0).IP);
    FSourceLink = QString(WhoisServiceUrl) +
                  "/cgi-bin/proxy.cgi?query=" + QUrl::toPercentEncoding(ip, "()") +
                  "&targetnic=auto";
    urlHeaderIP->setText("<a href=\"whois\">" + ip.toHtmlEscaped() + "</a>");
    const std::string recipient =
        m.GetReceived(1).For != "(unknown)" ? m.GetReceived(1).For : m.GetReceived(0).For;
    txtHeaderTo->setText(Shown(recipient));
    mnuAddToAddressbook->clear();
    mnuAddress->clear();
    rtfSource->moveCursor(QTextCursor::Start);
    rtfBody->moveCursor(QTextCursor::Start);
}

void TfrmRead::ShowBody(const TBodyText& body) {
    if (body.TextTab)
        pcMessage->setCurrentWidget(tsBody);
    rtfBody->setHtml(LinkedText(QString::fromStdString(body.Text)));
}

void TfrmRead::SetTitle() {
    QString title = QString::number(FPosition + 1) + ". " + FSubject;
    if (!tbLast->isEnabled())
        title += " (Last message)";
    else if (!tbFirst->isEnabled())
        title += " (First message)";
    setWindowTitle(title);
}

void TfrmRead::ShowAttachments() {
    cmdAttachment->hide();
    mnuAttachments->clear();
    bool any = false;
    for (int i = 0; i < CurrentMessage->PartCount(); ++i) {
        const TQBMessagePart& part = CurrentMessage->GetPart(i);
        if (part.Disposition != "attachment")
            continue;
        const QString name = QString::fromStdString(SafeFileName(DisplayFileName(part)));
        QAction* item = mnuAttachments->addAction(FileTypeIcon(name), name);
        connect(item, &QAction::triggered, this, [this, i] { AttachmentChosen(i); });
        any = true;
    }
    cmdAttachment->setVisible(any);
}

void TfrmRead::AttachmentChosen(int index) {
    if (!CurrentMessage || index < 0 || index >= CurrentMessage->PartCount())
        return;
    // The prompt and the save dialog run event loops in which the window may load another
    // message: the chosen attachment is copied before either opens.
    const TQBMessagePart& part = CurrentMessage->GetPart(index);
    const std::string name = SafeFileName(DisplayFileName(part));
    const std::string data = part.Data;
    const std::string extension = AttachmentExtension(name);
    int action = -1;
    if (!extension.empty())
        for (const TExtension& known : Options.Attachments)
            if (AttachmentExtension(known.Extension) == extension) {
                action = known.Action;
                break;
            }
    if (action < 0) {
        bool remember = false;
        if (!TfrmAttachment::Ask(this, QString::fromStdString(name), action, remember))
            return;
        if (remember && !extension.empty())
            Options.Attachments.push_back({extension, static_cast<uint8_t>(action)});
    }
    try {
        if (action == 0) {
            OpenLocalFile(WritePrivateFile(name, data));
        } else if (action == 1) {
            const QString path = AskSaveFileName(QString::fromStdString(name));
            if (path.isEmpty())
                return;
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(data.data(), static_cast<qint64>(data.size())) !=
                    static_cast<qint64>(data.size()))
                throw std::runtime_error(
                    "The attachment could not be saved: " + path.toStdString() + ": " +
                    file.errorString().toStdString());
        }
    } catch (const std::exception& error) {
        FStore.AddError(error.what());
        FStore.ShowTasks(1);
    }
}

void TfrmRead::Reply(bool all) {
    if (!CurrentMessage)
        return;
    const int entry = FStore.IndexOf(Entry);
    const int account = entry < 0 ? -1 : FStore.Buttons[static_cast<size_t>(entry)].Account;
    const std::string own = FStore.ValidAccount(account) ? Accounts[account].Email : "";
    QStringList encoded;
    for (const std::string& address : ReplyAddresses(*CurrentMessage, all, own))
        encoded << Percent(Shown(address));
    QString subject = FSubject;
    if (!subject.startsWith("Re:", Qt::CaseInsensitive))
        subject = "Re: " + subject;
    OpenUrl(("mailto:" + encoded.join(",") + "?subject=" + Percent(subject)).toStdString());
}
