// The read window: its controls, menu and commands.
#include "windows/FRead.h"
#include "windows/ScreenText.h"

#include "core/Folders.h"
#include "core/HomePage.h"
#include "mime/Message.h"
#include "mime/Replies.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "store/MessageStore.h"
#include "windows/Click.h"
#include "windows/DeleteQuestion.h"
#include "windows/Icons.h"
#include "windows/ObjectNames.h"
#include "windows/Placement.h"
#include "windows/ReadIcons.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Owned by the window, created after the menu, so that it outlives the menu that uses it.
class TScrollingMenuStyle : public QProxyStyle {
  public:
    explicit TScrollingMenuStyle(QObject* owner) { setParent(owner); }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        return hint == SH_Menu_Scrollable ? 1 : QProxyStyle::styleHint(hint, option, widget, data);
    }
};

const char* const ReaderSection = "Reader";
const char* const ReadFailedTitle = "The message could not be fetched";
const QSize WindowSize(671, 469);
const QSize ToolButtonSize(31, 30);
constexpr int PriorityHeight = 20;
constexpr int HeadersHeight = 89;
constexpr int BottomGap = 7;
const QSize DecodingSize(261, 17);
const QSize AttachmentButtonSize(30, 32);

QLineEdit* HeaderEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFrame(false);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    edit->setPalette(palette);
    return edit;
}

QLabel* BoldLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

TfrmRead::TfrmRead(TMessageStore& store) : FStore(store) {
    setObjectName("frmRead");
    setWindowTitle("No Subject");
    setAttribute(Qt::WA_QuitOnClose, false);
    BuildToolbar();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, BottomGap);
    column->setSpacing(0);

    pnlPriority = new QWidget(central);
    pnlPriority->setObjectName("pnlPriority");
    pnlPriority->setAutoFillBackground(true);
    QPalette info = pnlPriority->palette();
    info.setColor(QPalette::Window, info.color(QPalette::ToolTipBase));
    info.setColor(QPalette::WindowText, info.color(QPalette::ToolTipText));
    pnlPriority->setPalette(info);
    pnlPriority->setMinimumHeight(PriorityHeight);
    auto* banner = new QHBoxLayout(pnlPriority);
    banner->setContentsMargins(4, 0, 4, 0);
    imgPriority = new QLabel(pnlPriority);
    imgPriority->setFixedSize(12, 12);
    lblPriority = new QLabel(pnlPriority);
    banner->addWidget(imgPriority);
    banner->addWidget(lblPriority, 1);
    pnlPriority->hide();
    column->addWidget(pnlPriority);

    BuildHeaders(central);
    column->addWidget(pnlHeaders);

    pcMessage = new QTabWidget(central);
    pcMessage->setObjectName("pcMessage");
    pcMessage->setTabPosition(QTabWidget::South);
    rtfBody = new QTextBrowser;
    rtfBody->setObjectName("rtfBody");
    rtfBody->setOpenLinks(false);
    rtfBody->setOpenExternalLinks(false);
    rtfBody->setContextMenuPolicy(Qt::CustomContextMenu);
    tsBody = rtfBody;
    rtfSource = new QPlainTextEdit;
    rtfSource->setObjectName("rtfSource");
    rtfSource->setReadOnly(true);
    rtfSource->setLineWrapMode(QPlainTextEdit::NoWrap);
    tsSource = rtfSource;
    connect(rtfSource->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        const QScrollBar* bar = rtfSource->verticalScrollBar();
        if (SourceLeft() && value >= bar->maximum() - bar->pageStep())
            AppendSource();
    });
    pcMessage->addTab(rtfBody, "Text");
    pcMessage->addTab(rtfSource, "Source");
    connect(rtfBody, &QTextBrowser::anchorClicked, this,
            [](const QUrl& url) { OpenUrl(SafeMailtoUrl(url.toString().toStdString())); });
    mnuRTF = new QMenu(this);
    mnuRTF->addAction("&Copy", this, &TfrmRead::Copy);
    connect(rtfBody, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { mnuRTF->popup(rtfBody->viewport()->mapToGlobal(at)); });

    pnlDecoding = new QWidget(central);
    pnlDecoding->setObjectName("pnlDecoding");
    pnlDecoding->setAutoFillBackground(true);
    pnlDecoding->setMinimumSize(DecodingSize);
    auto* decoding = new QHBoxLayout(pnlDecoding);
    decoding->setContentsMargins(2, 0, 2, 0);
    decoding->addWidget(new QLabel("Decoding message:", pnlDecoding));
    pbDecoding = new QProgressBar(pnlDecoding);
    pbDecoding->setTextVisible(false);
    pbDecoding->setMaximumHeight(DecodingSize.height());
    decoding->addWidget(pbDecoding, 1);
    pnlDecoding->hide();
    // The indicator lies over the page control's lower right corner.
    auto* pages = new QGridLayout;
    pages->addWidget(pcMessage, 0, 0);
    pages->addWidget(pnlDecoding, 0, 0, Qt::AlignRight | Qt::AlignBottom);
    column->addLayout(pages, 1);
    setCentralWidget(central);

    BuildMenu();
    NameObjects({{imgPriority, "imgPriority"},
                 {lblPriority, "lblPriority"},
                 {pbDecoding, "pbDecoding"},
                 {mnuRTF, "mnuRTF"},
                 {mnuAddress, "mnuAddress"},
                 {mnuAddToAddressbook, "mnuAddToAddressbook"},
                 {mnuViewFirst, "mnuViewFirst"},
                 {mnuViewLast, "mnuViewLast"},
                 {mnuClose, "mnuClose"}});
    pcMessage->setCurrentWidget(tsBody);
    EnableCommands(false);
    tbMarkRead->setEnabled(false);
    SetDownload(false);
    AskSaveFileName = [this](const QString& preset) {
        return QFileDialog::getSaveFileName(this, QString(), preset, "All files (*)");
    };
    ConnectStore();
    resize(WindowSize);
}

TfrmRead::~TfrmRead() {
    FStore.Reader().AskSize = nullptr;
    WaitForBody();
    // The body view lets go of a document the window owns before either goes.
    rtfBody->setDocument(nullptr);
    SavePlacement(this, ReaderSection);
}

void TfrmRead::BuildToolbar() {
    tbToolbar = addToolBar("Toolbar");
    tbToolbar->setObjectName("tbToolbar");
    tbToolbar->setMovable(false);
    tbToolbar->setIconSize(QSize(24, 24));
    auto button = [this](const char* name, const char* caption, const char* hint, QIcon icon,
                         int tag) {
        auto* b = new QToolButton(tbToolbar);
        b->setObjectName(name);
        b->setText(caption);
        b->setToolTip(hint);
        b->setIcon(icon);
        b->setAutoRaise(true);
        b->setMinimumSize(ToolButtonSize);
        b->setProperty("tag", tag);
        tbToolbar->addWidget(b);
        return b;
    };
    tbCompose =
        button("tbCompose", "&Compose", "Compose a new message", ToolIcon(TToolIcon::Compose), 0);
    tbToolbar->addSeparator();
    tbReply = button("tbReply", "&Reply", "Reply", ReadIcon(TReadIcon::Reply), 0);
    tbReplyAll = button("tbReplyAll", "Reply &All", "Reply All", ReadIcon(TReadIcon::ReplyAll), 0);
    tbForward = button("tbForward", "&Forward", "Forward message", ReadIcon(TReadIcon::Forward), 0);
    tbRedirect =
        button("tbRedirect", "Redirec&t", "Redirect message", ReadIcon(TReadIcon::Redirect), 0);
    tbToolbar->addSeparator();
    tbMarkRead = button("tbMarkRead", "&Mark as read", "Mark email as read",
                        ToolIcon(TToolIcon::MarkRead), 0);
    tbDelete =
        button("tbDelete", "&Delete", "Delete mail from server", ToolIcon(TToolIcon::Delete), 0);
    tbAntiSpam = button("tbAntiSpam", "Anti-&Spam", "Use anti-spam tools on the message",
                        ToolIcon(TToolIcon::AntiSpam), 0);
    tbToolbar->addSeparator();
    tbFirst = button("tbFirst", " &First ", "First message", ReadIcon(TReadIcon::First), 1);
    tbPrevious =
        button("tbPrevious", "&Previous", "Previous message", ReadIcon(TReadIcon::Previous), 0);
    tbNext = button("tbNext", "&Next", "Next message", ReadIcon(TReadIcon::Next), 0);
    tbLast = button("tbLast", " &Last ", "Last message", ReadIcon(TReadIcon::Last), 1);
    tbToolbar->addSeparator();
    tbAddress =
        button("tbAddress", "&Add contact", "Add contact", ReadIcon(TReadIcon::AddContact), 0);
    mnuAddress = new QMenu(this);
    tbAddress->setMenu(mnuAddress);
    tbAddress->setPopupMode(QToolButton::MenuButtonPopup);
    tbDownload = button("tbDownload", "&Download all", "Download the remaining part of the message",
                        ReadIcon(TReadIcon::Download), 1);

    connect(tbCompose, &QToolButton::clicked, this, [] { OpenUrl("mailto:"); });
    connect(tbReply, &QToolButton::clicked, this, [this] { Reply(false); });
    connect(tbReplyAll, &QToolButton::clicked, this, [this] { Reply(true); });
    TReadSession& reader = FStore.Reader();
    connect(tbMarkRead, &QToolButton::clicked, this, [&reader] { reader.MarkRead(); });
    connect(tbDelete, &QToolButton::clicked, this, &TfrmRead::tbDeleteClick);
    connect(tbFirst, &QToolButton::clicked, this, [&reader] { reader.First(); });
    connect(tbPrevious, &QToolButton::clicked, this, [&reader] { reader.Previous(); });
    connect(tbNext, &QToolButton::clicked, this, [&reader] { reader.Next(); });
    connect(tbLast, &QToolButton::clicked, this, [&reader] { reader.Last(); });
    connect(tbDownload, &QToolButton::clicked, this, [&reader] { reader.DownloadAll(); });
}

void TfrmRead::BuildHeaders(QWidget* parent) {
    pnlHeaders = new QWidget(parent);
    pnlHeaders->setObjectName("pnlHeaders");
    pnlHeaders->setMinimumHeight(HeadersHeight);
    auto* grid = new QGridLayout(pnlHeaders);
    grid->setContentsMargins(4, 2, 2, 2);
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(4);
    txtDate = HeaderEdit(pnlHeaders, "txtDate");
    txtFrom = HeaderEdit(pnlHeaders, "txtFrom");
    txtTo = HeaderEdit(pnlHeaders, "txtTo");
    txtCC = HeaderEdit(pnlHeaders, "txtCC");
    txtSubject = HeaderEdit(pnlHeaders, "txtSubject");
    txtHeaderTo = HeaderEdit(pnlHeaders, "txtHeaderTo");
    urlHeaderIP = new QLabel(pnlHeaders);
    urlHeaderIP->setObjectName("urlHeaderIP");
    urlHeaderIP->setCursor(Qt::PointingHandCursor);
    urlHeaderIP->setTextFormat(Qt::RichText);
    connect(urlHeaderIP, &QLabel::linkActivated, this,
            [this] { OpenUrl(SourceLink().toStdString()); });
    cmdAttachment = new QToolButton(pnlHeaders);
    cmdAttachment->setObjectName("cmdAttachment");
    cmdAttachment->setCheckable(true);
    cmdAttachment->setAutoRaise(true);
    cmdAttachment->setIcon(PaperClipIcon());
    cmdAttachment->setIconSize(QSize(20, 20));
    cmdAttachment->setMinimumSize(AttachmentButtonSize);
    cmdAttachment->hide();
    mnuAttachments = new QMenu(this);
    mnuAttachments->setObjectName("mnuAttachments");
    // A message may carry thousands of attachments: the menu scrolls instead of filling the
    // screen.
    mnuAttachments->setStyle(new TScrollingMenuStyle(this));
    connect(cmdAttachment, &QToolButton::clicked, this, &TfrmRead::cmdAttachmentClick);

    const char* labels[] = {"Date:", "From:", "To:", "CC:", "Subject:"};
    QLineEdit* edits[] = {txtDate, txtFrom, txtTo, txtCC, txtSubject};
    for (int row = 0; row < 5; ++row) {
        grid->addWidget(BoldLabel(pnlHeaders, labels[row]), row, 0);
        // Date, From and To end at the right column; CC and Subject run under it.
        grid->addWidget(edits[row], row, 1, 1, row < 3 ? 1 : 3);
    }
    grid->addWidget(BoldLabel(pnlHeaders, "Source:"), 0, 2);
    grid->addWidget(urlHeaderIP, 0, 3, 1, 2);
    grid->addWidget(BoldLabel(pnlHeaders, "Recipient:"), 1, 2);
    grid->addWidget(txtHeaderTo, 1, 3, 1, 2);
    grid->addWidget(cmdAttachment, 3, 4, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 2);
}

void TfrmRead::BuildMenu() {
    auto item = [this](QMenu* menu, const QString& text, QKeySequence key,
                       std::function<void()> action) {
        QAction* a = menu->addAction(text);
        if (!key.isEmpty())
            a->setShortcut(key);
        if (action)
            connect(a, &QAction::triggered, this, action);
        return a;
    };
    // Menu items click their buttons, and only while those are enabled.
    auto click = [](QToolButton* button) { return [button] { ClickIfEnabled(button); }; };
    QMenu* file = menuBar()->addMenu("&File");
    item(file, "&Save as...", {}, nullptr);
    item(file, "&Save attachment...", {}, nullptr);
    file->addSeparator();
    mnuClose = item(file, "&Close", QKeySequence(Qt::Key_Escape), [this] { close(); });
    QMenu* edit = menuBar()->addMenu("&Edit");
    item(edit, "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C), [this] { Copy(); });
    edit->addSeparator();
    item(edit, "&Select all", QKeySequence(Qt::CTRL | Qt::Key_A), [this] { SelectAll(); });
    QMenu* view = menuBar()->addMenu("&View");
    item(view, "&Next message", QKeySequence(Qt::ALT | Qt::Key_Right), click(tbNext));
    item(view, "&Previous message", QKeySequence(Qt::ALT | Qt::Key_Left), click(tbPrevious));
    mnuViewFirst = item(view, "&First message", QKeySequence(Qt::ALT | Qt::Key_Up), click(tbFirst));
    mnuViewLast = item(view, "&Last message", QKeySequence(Qt::ALT | Qt::Key_Down), click(tbLast));
    QMenu* tools = menuBar()->addMenu("&Tools");
    mnuAddToAddressbook = tools->addMenu("&Add to addressbook");
    tools->addSeparator();
    mnuToolsDownload = item(tools, "&Download full message", QKeySequence(Qt::CTRL | Qt::Key_D),
                            click(tbDownload));
    mnuToolsDownload->setObjectName("mnuToolsDownload");
    QMenu* message = menuBar()->addMenu("&Message");
    item(message, "&Compose message", QKeySequence(Qt::CTRL | Qt::Key_N), click(tbCompose));
    message->addSeparator();
    item(message, "&Reply", QKeySequence(Qt::CTRL | Qt::Key_R), click(tbReply));
    item(message, "Reply &all", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), click(tbReplyAll));
    item(message, "&Forward", QKeySequence(Qt::CTRL | Qt::Key_F), click(tbForward))
        ->setEnabled(false);
    // Ctrl+D belongs to "Download full message": shown here, never bound.
    item(message, "Re&direct\tCtrl+D", {}, click(tbRedirect))->setEnabled(false);
    message->addSeparator();
    item(message, "&Delete", QKeySequence(Qt::CTRL | Qt::Key_Delete), click(tbDelete));
    item(message, "&Anti-spam", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete),
         click(tbAntiSpam))
        ->setEnabled(false);
    message->addSeparator();
    item(message, "&Mark as read", QKeySequence(Qt::CTRL | Qt::Key_M), click(tbMarkRead));
    QMenu* help = menuBar()->addMenu("&Help");
    item(help, "&Contents", QKeySequence(Qt::Key_F1), [] { OpenLocalFile(HelpFile()); });
    help->addSeparator();
    item(help, "Quillbar &website", {}, [] { OpenUrl(HomePage); });
}

void TfrmRead::ConnectStore() {
    TReadSession* reader = &FStore.Reader();
    connect(reader, &TReadSession::Opening, this, &TfrmRead::Opening);
    connect(reader, &TReadSession::Preparing, this,
            [this](TEntryId id, qint64 parsed, qint64 size) {
                if (id == FEntry)
                    ShowProgress(parsed, size);
            });
    connect(reader, &TReadSession::Ready, this, &TfrmRead::Loaded);
    connect(reader, &TReadSession::Failed, this, &TfrmRead::Failed);
    connect(reader, &TReadSession::DownloadEnabled, this, &TfrmRead::SetDownload);
    connect(reader, &TReadSession::CommandsEnabled, this, &TfrmRead::EnableCommands);
    connect(reader, &TReadSession::Hidden, this, [this] { close(); });
    reader->AskSize = [this](int maxKb, int sizeKb, int lines) {
        const auto answer = ShowMessageBox(
            this,
            QString("The message is larger than %1 kb (%2 kb), do you want to download only the "
                    "first %3 lines?")
                .arg(maxKb)
                .arg(sizeKb)
                .arg(lines),
            "Retrieve message", QMessageBox::Question,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        return answer == QMessageBox::Yes  ? TSizeAnswer::FirstLines
               : answer == QMessageBox::No ? TSizeAnswer::Whole
                                           : TSizeAnswer::Cancel;
    };
}

void TfrmRead::Opening(TEntryId id, int position, bool first, bool last) {
    FPosition = position;
    tbFirst->setEnabled(first);
    tbLast->setEnabled(last);
    mnuViewFirst->setEnabled(first);
    mnuViewLast->setEnabled(last);
    ClearView();
    FEntry = id;
    EnableCommands(false);
    show();
    raise();
    activateWindow();
}

void TfrmRead::Loaded(TEntryId id, TReadViewPtr view) {
    if (id != FEntry)
        return;
    Render(std::move(view));
    EnableCommands(true);
}

void TfrmRead::Failed(TEntryId id, const std::string& reason) {
    if (id != FEntry)
        return;
    pnlDecoding->hide();
    EnableCommands(true);
    // Nothing to answer; the rest lets the user move on, or delete the message.
    tbReply->setEnabled(false);
    tbReplyAll->setEnabled(false);
    setWindowTitle(ReadFailedTitle);
    rtfBody->setPlainText(QString(ReadFailedTitle) + ".\n\n" + ScreenText(reason) +
                          "\n\nOpen it again to try once more.");
}

void TfrmRead::SetDownload(bool enabled) {
    tbDownload->setEnabled(enabled);
    mnuToolsDownload->setEnabled(enabled);
}

void TfrmRead::EnableCommands(bool enabled) {
    for (QToolButton* b :
         {tbCompose, tbReply, tbReplyAll, tbMarkRead, tbDelete, tbPrevious, tbNext})
        b->setEnabled(enabled);
    // Nothing stands behind these yet.
    for (QToolButton* b : {tbForward, tbRedirect, tbAntiSpam, tbAddress})
        b->setEnabled(false);
    if (!enabled) {
        rtfBody->clear();
        rtfSource->clear();
        FSourceOffset = 0;
    }
}

void TfrmRead::tbDeleteClick() {
    if (ConfirmDelete(this, false))
        FStore.Reader().Delete();
}

void TfrmRead::cmdAttachmentClick() {
    mnuAttachments->exec(cmdAttachment->mapToGlobal(QPoint(0, cmdAttachment->height())));
    cmdAttachment->setChecked(false);
}

void TfrmRead::Copy() {
    if (pcMessage->currentWidget() == tsBody)
        rtfBody->copy();
    else
        rtfSource->copy();
}

void TfrmRead::SelectAll() {
    if (pcMessage->currentWidget() == tsBody)
        rtfBody->selectAll();
    else {
        // All of the source, not only the pieces shown so far.
        AppendSource(true);
        rtfSource->selectAll();
    }
}

void TfrmRead::showEvent(QShowEvent* e) {
    // Without a stored place the window manager could leave a tall window's bottom off the
    // screen.
    if (!e->spontaneous() && !LoadPlacement(this, ReaderSection))
        CentreOnScreen(this);
    QMainWindow::showEvent(e);
}

void TfrmRead::closeEvent(QCloseEvent* e) {
    SavePlacement(this, ReaderSection);
    FView.reset();
    PullIntoScreenOrigin(this);
    FStore.Reader().Closed();
    QMainWindow::closeEvent(e);
}
