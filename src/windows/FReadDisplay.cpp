// The read window's display of a prepared view: headers, body, source, priority,
// attachments and the replies through the mail program.
#include "windows/FRead.h"

#include "core/Settings.h"
#include "mime/AttachmentName.h"
#include "mime/Message.h"
#include "mime/Replies.h"
#include "platform/PrivateFolder.h"
#include "platform/Shell.h"
#include "store/MessageStore.h"
#include "windows/FAttachment.h"
#include "windows/ReadIcons.h"

#include <QFile>
#include <QFileIconProvider>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QThread>
#include <QToolButton>
#include <QUrl>

#include <exception>
#include <optional>

namespace {

// The Source view gets the message this much at a time, as the user scrolls towards its
// end: a message of hundreds of megabytes never becomes one text document.
constexpr size_t SourcePieceBytes = 256 * 1024;
constexpr int DecodingSteps = 1000;
// Bodies from this many characters have their document built off the GUI thread.
constexpr qsizetype BodyThreadFrom = 64 * 1024;

// An address keeps its "@"; everything else that could end a field is encoded.
QByteArray Percent(const QString& text) {
    return QUrl::toPercentEncoding(text, "@");
}

// The body's document made from html, handed over to the thread gui; null with failure set
// when it cannot be made (out of memory), so that the thread making it ends normally.
std::shared_ptr<QTextDocument> BuildBodyDocument(const QString& html, const QFont& font,
                                                 QThread* gui, QString& failure) {
    try {
        std::shared_ptr<QTextDocument> document(new QTextDocument);
        document->setDefaultFont(font);
        document->setHtml(html);
        document->moveToThread(gui);
        return document;
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
        failure = QStringLiteral("unknown error");
    }
    return nullptr;
}

} // namespace

void TfrmRead::ClearView() {
    // A body document still being built belongs to the message shown before.
    ++FBodyGeneration;
    ShowPriority(0);
    for (QLineEdit* edit : {txtDate, txtFrom, txtTo, txtCC, txtSubject, txtHeaderTo})
        edit->clear();
    urlHeaderIP->clear();
    rtfBody->clear();
    rtfSource->clear();
    FView.reset();
    FSourceOffset = 0;
    pnlDecoding->hide();
    setWindowTitle("Retrieving message...");
    cmdAttachment->hide();
    mnuAttachments->clear();
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

void TfrmRead::ShowProgress(qint64 parsed, qint64 size) {
    pbDecoding->setRange(0, DecodingSteps);
    pbDecoding->setValue(size > 0 ? static_cast<int>(parsed * DecodingSteps / size) : 0);
    pnlDecoding->show();
}

void TfrmRead::Render(TReadViewPtr view) {
    pnlDecoding->hide();
    FView = std::move(view);
    const TReadView& v = *FView;
    ShowPriority(v.Priority);
    txtFrom->setText(v.From);
    txtDate->setText(v.Date);
    txtTo->setText(v.To);
    txtCC->setText(v.CC);
    FSubject = v.Subject;
    txtSubject->setText(FSubject);
    if (v.TextTab)
        pcMessage->setCurrentWidget(tsBody);
    ShowBody(v.BodyHtml);
    rtfSource->clear();
    FSourceOffset = 0;
    AppendSource();
    SetTitle();
    ShowAttachments();
    urlHeaderIP->setText("<a href=\"whois\">" + v.SourceIP.toHtmlEscaped() + "</a>");
    txtHeaderTo->setText(v.Recipient);
    mnuAddToAddressbook->clear();
    mnuAddress->clear();
    rtfSource->moveCursor(QTextCursor::Start);
    rtfBody->moveCursor(QTextCursor::Start);
}

void TfrmRead::ShowBody(const QString& html) {
    WaitForBody();
    const quint64 generation = ++FBodyGeneration;
    if (html.size() < BodyThreadFrom) {
        rtfBody->setHtml(html);
        return;
    }
    rtfBody->clear();
    // A large body's document is built on a thread of its own, then handed to the window.
    const QFont font = rtfBody->font();
    QThread* gui = thread();
    FBodyThread.reset(QThread::create([this, html, font, gui, generation] {
        QString failure;
        const std::shared_ptr<QTextDocument> document = BuildBodyDocument(html, font, gui, failure);
        QMetaObject::invokeMethod(this, [this, document, failure, generation] {
            if (generation != FBodyGeneration)
                return;
            if (!document) {
                rtfBody->setPlainText("The message could not be shown: " + failure);
                return;
            }
            rtfBody->setDocument(document.get());
            FBodyDocument = document;
            rtfBody->moveCursor(QTextCursor::Start);
        });
    }));
    FBodyThread->start();
}

void TfrmRead::WaitForBody() {
    if (FBodyThread)
        FBodyThread->wait();
    FBodyThread.reset();
}

void TfrmRead::AppendSource(bool all) {
    if (!FView)
        return;
    const std::string& source = *FView->Source;
    // The cursor stays where the user put it while the text grows below.
    const QTextCursor cursor = rtfSource->textCursor();
    const int scrolled = rtfSource->verticalScrollBar()->value();
    do {
        const QString piece = NextSourcePiece(source, FSourceOffset, SourcePieceBytes);
        if (piece.isNull())
            break;
        rtfSource->appendPlainText(piece);
    } while (all);
    rtfSource->setTextCursor(cursor);
    rtfSource->verticalScrollBar()->setValue(scrolled);
}

bool TfrmRead::SourceLeft() const {
    return FView && FSourceOffset < FView->Source->size();
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
    // Thousands of attachments share a handful of types: one icon lookup per type.
    QHash<QString, QIcon> icons;
    const QIcon plain = QFileIconProvider().icon(QFileIconProvider::File);
    for (size_t i = 0; i < FView->Attachments.size(); ++i) {
        const TReadAttachment& item = FView->Attachments[i];
        auto icon = icons.find(item.IconName);
        if (icon == icons.end()) {
            QIcon found = QIcon::fromTheme(item.IconName, QIcon::fromTheme(item.GenericIconName));
            icon = icons.insert(item.IconName, found.isNull() ? plain : found);
        }
        QAction* action = mnuAttachments->addAction(*icon, QString::fromStdString(item.Name));
        connect(action, &QAction::triggered, this, [this, i] { AttachmentChosen(i); });
    }
    cmdAttachment->setVisible(!FView->Attachments.empty());
}

void TfrmRead::AttachmentChosen(size_t position) {
    // The prompt and the save dialog run event loops in which the window may show another
    // message: the handler holds on to this view, so it acts on the attachment chosen.
    const TReadViewPtr view = FView;
    if (!view || position >= view->Attachments.size())
        return;
    const std::string& name = view->Attachments[position].Name;
    const int index = view->Attachments[position].Part;
    const TQBMessagePart& part = view->Message->GetPart(index);
    // A large attachment was not kept decoded: it is decoded again from the message.
    const std::string data =
        part.DataLeftOut ? TQBMessage::DecodePart(*view->Source, index) : part.Data;
    const std::string extension = AttachmentExtension(name);
    std::optional<TAttachmentAction> action;
    if (!extension.empty())
        for (const TExtension& known : Settings().Options().Attachments)
            if (AttachmentExtension(known.Extension) == extension) {
                action = known.Action;
                break;
            }
    if (!action) {
        bool remember = false;
        action = TAttachmentAction::Open;
        if (!TfrmAttachment::Ask(this, QString::fromStdString(name), *action, remember))
            return;
        if (remember && !extension.empty())
            Settings().UpdateOptions([&](TOptions& options) {
                options.Attachments.push_back({extension, *action});
            });
    }
    try {
        if (*action == TAttachmentAction::Open) {
            OpenLocalFile(WritePrivateFile(name, data));
        } else {
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
    if (!FView)
        return;
    const int entry = FStore.IndexOf(FEntry);
    const int account = entry < 0 ? -1 : FStore.Entries()[static_cast<size_t>(entry)].Account;
    const std::string own =
        FStore.ValidAccount(account) ? Settings().Accounts()[account].Email : "";
    QStringList encoded;
    for (const std::string& address : ReplyAddresses(*FView->Message, all, own))
        encoded << Percent(ShownHeaderText(address));
    QString subject = FSubject;
    if (!subject.startsWith("Re:", Qt::CaseInsensitive))
        subject = "Re: " + subject;
    OpenUrl(("mailto:" + encoded.join(",") + "?subject=" + Percent(subject)).toStdString());
}
