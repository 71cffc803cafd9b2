// The attachment prompt: open or save an attachment, and whether to ask again.
#include "windows/FAttachment.h"

#include "windows/ObjectNames.h"
#include "windows/ReadIcons.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

std::function<int(TfrmAttachment&)> NextAnswer;

const QSize ClientSize(451, 289);
const QSize PictureSize(132, 252);
// The widest a file name is shown, in average characters; a longer one is shortened.
constexpr int ShownNameChars = 32;

} // namespace

TfrmAttachment::TfrmAttachment(QWidget* owner, const QString& fileName) : QDialog(owner) {
    setObjectName("frmAttachment");
    setWindowTitle("Open Attachment");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    auto* side = new QFrame(this);
    side->setFrameShape(QFrame::Panel);
    side->setFrameShadow(QFrame::Sunken);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(1, 1, 1, 1);
    imgSide = new QLabel(side);
    imgSide->setPixmap(AttachmentPicture(PictureSize));
    imgSide->setMinimumSize(PictureSize);
    imgSide->setScaledContents(true);
    sideLayout->addWidget(imgSide);

    lblFile = new QLabel(this);
    lblFile->setWordWrap(true);
    lblFile->setTextFormat(Qt::PlainText);
    // Shortened in the middle, so that a long name cannot widen the prompt past the screen
    // and its extension stays in view.
    const QFontMetrics metrics = lblFile->fontMetrics();
    lblFile->setText(QString("You have selected the attachment '%1'. Do you want to open this "
                             "attachment or save it to disk?")
                         .arg(metrics.elidedText(fileName, Qt::ElideMiddle,
                                                 metrics.averageCharWidth() * ShownNameChars)));
    lblVirus = new QLabel("Note: do not open attachments unless you are absolutely sure it's from "
                          "a reliable source. If you are not sure about this, select the 'Save "
                          "attachment to disk' option and let your virusscanner scan the file for "
                          "potential threads.",
                          this);
    lblVirus->setWordWrap(true);
    optSave = new QRadioButton("&Save attachment to disk", this);
    optOpen = new QRadioButton("&Open attachment", this);
    optSave->setChecked(true);
    chkAsk = new QCheckBox("&Do not ask again for this type of file...", this);
    chkAsk->setLayoutDirection(Qt::RightToLeft);
    // The default button needs no access key; Alt+O is "Open attachment".
    cmdOK = new QPushButton("OK", this);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton("&Cancel", this);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    NameObjects({{imgSide, "imgSide"},
                 {lblFile, "lblFile"},
                 {lblVirus, "lblVirus"},
                 {optSave, "optSave"},
                 {optOpen, "optOpen"},
                 {chkAsk, "chkAsk"},
                 {cmdOK, "cmdOK"},
                 {cmdCancel, "cmdCancel"}});

    auto* right = new QVBoxLayout;
    right->addWidget(lblFile);
    right->addSpacing(8);
    right->addWidget(lblVirus);
    right->addSpacing(8);
    right->addWidget(optSave);
    right->addWidget(optOpen);
    right->addStretch();
    auto* ask = new QHBoxLayout;
    ask->addWidget(chkAsk);
    ask->addStretch();
    right->addLayout(ask);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(side, 0, Qt::AlignTop);
    layout->addLayout(right, 1);
    // The wrapped texts need more height than the usual size where the font is larger.
    const int width = std::max(ClientSize.width(), minimumSizeHint().width());
    setMinimumHeight(heightForWidth(width));
    resize(width, std::max(ClientSize.height(), minimumHeight()));
}

bool TfrmAttachment::Ask(QWidget* owner, const QString& fileName, TAttachmentAction& action,
                         bool& remember) {
    TfrmAttachment prompt(owner, fileName);
    int result;
    if (NextAnswer) {
        auto answer = std::move(NextAnswer);
        NextAnswer = nullptr;
        result = answer(prompt);
    } else {
        if (owner)
            prompt.move(owner->frameGeometry().center() - prompt.rect().center());
        result = prompt.exec();
    }
    if (result != QDialog::Accepted)
        return false;
    action = prompt.optSave->isChecked() ? TAttachmentAction::Save : TAttachmentAction::Open;
    remember = prompt.chkAsk->isChecked();
    return true;
}

void TfrmAttachment::SetNextAnswer(std::function<int(TfrmAttachment&)> answer) {
    NextAnswer = std::move(answer);
}
