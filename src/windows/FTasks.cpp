// The tasks window: the queue of mail jobs, their progress, and the errors they met.
#include "windows/FTasks.h"

#include "windows/UIcons.h"
#include "windows/WindowMessages.h"

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include <utility>

namespace {

constexpr int AnimationFrames = 45;

QTreeWidget* MakeList(QWidget* parent, const QStringList& columns) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setHeaderLabels(columns);
    list->header()->setSectionsClickable(false);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return list;
}

} // namespace

TfrmTasks::TfrmTasks(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle("Quillbar - Current Tasks");
    setFixedSize(394, 340);
    setModal(false);

    pnlTop = new QWidget(this);
    pnlTop->setGeometry(0, 0, 394, 49);
    pnlTop->setAutoFillBackground(true);
    QPalette white = pnlTop->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    pnlTop->setPalette(white);

    lblTasks = new QLabel("Please wait while Quillbar performs the following tasks:", pnlTop);
    lblTasks->setWordWrap(true);
    lblTasks->setGeometry(8, 8, 229, 29);

    aniMail = new TMailAnimation(pnlTop);
    aniMail->setGeometry(282, 7, 104, 34);

    auto* shpTopLine = new QFrame(this);
    shpTopLine->setFrameShape(QFrame::HLine);
    shpTopLine->setFrameShadow(QFrame::Plain);
    shpTopLine->setGeometry(0, 49, 394, 1);

    pcTasks = new QTabWidget(this);
    pcTasks->setGeometry(4, 56, 387, 197);
    tsTasks = new QWidget;
    tsErrors = new QWidget;
    pcTasks->addTab(tsTasks, "Tasks");
    pcTasks->addTab(tsErrors, "Errors");

    lvTasks = MakeList(tsTasks, {"Task"});
    lvErrors = MakeList(tsErrors, {"Error description", "Time"});
    lvErrors->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    lvErrors->header()->resizeSection(1, 100);
    // The account in parentheses ends an error text too long for the column; cut in the
    // middle, both the error and the account stay readable.
    lvErrors->setTextElideMode(Qt::ElideMiddle);
    for (auto [page, list] : {std::pair{tsTasks, lvTasks}, std::pair{tsErrors, lvErrors}}) {
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->addWidget(list);
    }

    lblStatus = new QLabel(this);
    lblStatus->setGeometry(4, 264, 385, 16);

    pbProgress = new QProgressBar(this);
    pbProgress->setGeometry(4, 284, 385, 21);
    pbProgress->setRange(0, 100);
    pbProgress->setValue(0);
    pbProgress->setTextVisible(false);

    // Shown, unlike the original form, so that a stuck job can be cancelled.
    cmdCancel = new QPushButton("&Cancel Task", this);
    cmdCancel->setGeometry(4, 312, 90, 25);
    cmdCancel->setEnabled(false);

    cmdClose = new QPushButton("&Close", this);
    cmdClose->setGeometry(223, 313, 83, 25);
    cmdClose->setDefault(true);

    cmdClear = new QPushButton("Clear &errors", this);
    cmdClear->setGeometry(312, 313, 78, 25);
    cmdClear->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);

    connect(cmdClose, &QPushButton::clicked, this, &TfrmTasks::cmdCloseClick);
    connect(cmdClear, &QPushButton::clicked, this, &TfrmTasks::cmdClearClick);
    connect(cmdCancel, &QPushButton::clicked, this, &TfrmTasks::cmdCancelClick);
    auto* model = lvTasks->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &TfrmTasks::lvTasksChange);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TfrmTasks::lvTasksChange);
    connect(model, &QAbstractItemModel::modelReset, this, &TfrmTasks::lvTasksChange);
}

TfrmTasks::~TfrmTasks() {
    // The list's model resets while the children are destroyed, after this object is gone.
    lvTasks->model()->disconnect(this);
}

void TfrmTasks::ShowPage(int page) {
    pcTasks->setCurrentIndex(page);
    show();
    raise();
}

void TfrmTasks::AddTaskRow(const QString& caption) {
    auto* item = new QTreeWidgetItem(QStringList{caption});
    lvTasks->addTopLevelItem(item);
    if (lvTasks->topLevelItemCount() == 1)
        MarkRunningRow();
}

void TfrmTasks::RemoveFirstTaskRow() {
    RemoveTaskRow(0);
    MarkRunningRow();
}

void TfrmTasks::RemoveTaskRow(int row) {
    delete lvTasks->takeTopLevelItem(row);
}

void TfrmTasks::MarkRunningRow() {
    if (QTreeWidgetItem* first = lvTasks->topLevelItem(0))
        first->setIcon(0, QIcon(TaskImage(0)));
}

void TfrmTasks::AddErrorRow(const QString& text, const QString& time) {
    auto* item = new QTreeWidgetItem(QStringList{text, time});
    item->setToolTip(0, text); // the account name ends a text that is often cut off
    item->setIcon(0, QIcon(TaskImage(1)));
    lvErrors->addTopLevelItem(item);
}

void TfrmTasks::ClearErrorRows() {
    lvErrors->clear();
}

bool TfrmTasks::event(QEvent* e) {
    if (IsWindowMessage(e, WM_QB_PROGRESS)) {
        auto* message = static_cast<TWindowMessage*>(e);
        // The bar takes int; a size beyond it is scaled down with the count.
        long long received = message->WParam, size = message->LParam;
        while (size > INT_MAX) {
            size /= 1024;
            received /= 1024;
        }
        pbProgress->setMaximum(static_cast<int>(std::max(0LL, size)));
        pbProgress->setValue(static_cast<int>(std::clamp(received, 0LL, std::max(0LL, size))));
        return true;
    }
    return QDialog::event(e);
}

void TfrmTasks::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    aniMail->Play();
}

void TfrmTasks::hideEvent(QHideEvent* e) {
    aniMail->Stop();
    QDialog::hideEvent(e);
}

// The close box only hides; the errors stay.
void TfrmTasks::reject() {
    hide();
}

// Escape presses "Close", like Enter.
void TfrmTasks::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        cmdClose->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfrmTasks::cmdCloseClick() {
    if (OnClearErrors)
        OnClearErrors();
    hide();
}

void TfrmTasks::cmdClearClick() {
    if (OnClearErrors)
        OnClearErrors();
}

void TfrmTasks::cmdCancelClick() {
    if (OnCancelTask)
        OnCancelTask();
}

void TfrmTasks::lvTasksChange() {
    cmdCancel->setEnabled(lvTasks->topLevelItemCount() > 0);
}

TMailAnimation::TMailAnimation(QWidget* parent) : QWidget(parent) {}

void TMailAnimation::Play() {
    if (!FTimer)
        FTimer = startTimer(60);
}

void TMailAnimation::Stop() {
    if (FTimer)
        killTimer(FTimer);
    FTimer = 0;
}

void TMailAnimation::timerEvent(QTimerEvent*) {
    FFrame = (FFrame + 1) % AnimationFrames;
    update();
}

void TMailAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int w = width(), h = height();
    // Two stacks of paper with an envelope travelling between them.
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(250, 230, 150));
    p.drawRect(QRectF(2.5, h - 18.5, 16, 14));
    p.setBrush(QColor(170, 200, 240));
    p.drawRect(QRectF(w - 18.5, h - 18.5, 16, 14));
    const double t = static_cast<double>(FFrame) / (AnimationFrames - 1);
    const double x = 10 + t * (w - 40);
    const double y = (h - 14) - 4 * (h - 18) * t * (1 - t);
    QPixmap envelope = MessageImage(0);
    p.drawPixmap(QPointF(x, y - 8), envelope);
}
