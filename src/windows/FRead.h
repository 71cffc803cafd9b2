// The read window: one message of the store with its headers, text, source and
// attachments, and the commands to walk, mark, remove and download.
#pragma once

#include "model/StoreRecords.h"
#include "store/ReadView.h"

#include <QMainWindow>
#include <QThread>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTabWidget;
class QTextBrowser;
class QTextDocument;

class QToolBar;
class QToolButton;
class TMessageStore;

extern const char* const MakerWebsiteUrl;

class TfrmRead : public QMainWindow {
    Q_OBJECT
  public:
    explicit TfrmRead(TMessageStore& store);
    ~TfrmRead() override;

    // The reader is about to show entry id (its Opening signal).
    void Opening(TEntryId id, int position, bool first, bool last);
    // The link target of the "Source:" label.
    QString SourceLink() const { return FView ? FView->SourceLink : QString(); }
    // Tests: replaces the save dialog; returns the chosen path, or empty for Cancel.
    std::function<QString(const QString& presetName)> AskSaveFileName;

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void ClearView();
    void EnableCommands(bool enabled);
    void ShowPriority(int priority);
    // Opens or saves the attachment at position of the attachment menu.
    void AttachmentChosen(size_t position);
    void BuildToolbar();
    void BuildHeaders(QWidget* parent);
    void BuildMenu();
    void ConnectStore();
    void Loaded(TEntryId id, TReadViewPtr view);
    void Failed(TEntryId id, const std::string& reason);
    void SetDownload(bool enabled);
    void SetTitle();
    void ShowProgress(qint64 parsed, qint64 size);
    void ShowBody(const QString& html);
    // A body document still being built is finished first.
    void WaitForBody();
    void Render(TReadViewPtr view);
    // The Source view's next piece; all: every piece left.
    void AppendSource(bool all = false);
    bool SourceLeft() const;
    void ShowAttachments();
    void Reply(bool all);
    void Copy();
    void SelectAll();
    void tbDeleteClick();
    void cmdAttachmentClick();

    QToolBar* tbToolbar;
    QToolButton *tbCompose, *tbReply, *tbReplyAll, *tbForward, *tbRedirect, *tbMarkRead, *tbDelete,
        *tbAntiSpam, *tbFirst, *tbPrevious, *tbNext, *tbLast, *tbAddress, *tbDownload;
    QWidget* pnlPriority;
    QLabel* imgPriority;
    QLabel* lblPriority;
    QWidget* pnlHeaders;
    QLineEdit *txtDate, *txtFrom, *txtTo, *txtCC, *txtSubject, *txtHeaderTo;
    QLabel* urlHeaderIP;
    QToolButton* cmdAttachment;
    QMenu* mnuAttachments;
    QTabWidget* pcMessage;
    QWidget* tsBody;
    QWidget* tsSource;
    QTextBrowser* rtfBody;
    QPlainTextEdit* rtfSource;
    QWidget* pnlDecoding;
    QProgressBar* pbDecoding;
    QMenu* mnuRTF;
    QMenu* mnuAddToAddressbook;
    QMenu* mnuAddress;
    QAction *mnuViewFirst, *mnuViewLast, *mnuToolsDownload, *mnuClose;

    // The shown entry; 0 none.
    TEntryId FEntry = TEntryId::None;
    TMessageStore& FStore;
    int FPosition = -1;
    QString FSubject;
    TReadViewPtr FView;
    // Bytes of the source in the Source view so far.
    size_t FSourceOffset = 0;
    // The thread building a large body's document, and the document the body view shows
    // when it was built there; a later body's generation makes an earlier one's stale.
    std::unique_ptr<QThread> FBodyThread;
    std::shared_ptr<QTextDocument> FBodyDocument;
    quint64 FBodyGeneration = 0;
};
