// The tasks window: the queue of mail jobs, their progress, and the errors they met.
#include "windows/FTasks.h"

#include "store/MessageStore.h"
#include "windows/Icons.h"
#include "windows/ObjectNames.h"
#include "windows/Placement.h"
#include "windows/ScreenText.h"

#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <utility>

namespace {

const char* const BusyHeading = "Please wait while Quillbar performs the following tasks:";
const char* const IdleHeading = "No task is running.";
constexpr int AnimationFrames = 45;
constexpr int TimeColumnWidth = 100;

QString ClockTime(std::chrono::system_clock::time_point time, const char* format) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count()).toString(format);
}

// Under an error: how often it happened, and for an account's, whether the account ever worked
// in this run and whether it is tried again without the user; a void sign-in is not.
QString DetailLine(const TError& error, const TMessageStore& store) {
    QStringList parts;
    if (error.Count > 1)
        parts << QString("%1 times").arg(error.Count);
    if (error.Account.empty())
        return parts.join("; ");
    if (const auto last = store.LastSuccess(error.Account))
        parts << "Last checked successfully " + ClockTime(*last, "hh:mm");
    if (const auto next = store.NextCheck(error.Account); next && !error.SignInExpired)
        parts << "next try " + ClockTime(*next, "hh:mm");
    QString line = parts.join("; ");
    if (!line.isEmpty())
        line[0] = line[0].toUpper();
    return line;
}

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

TfrmTasks::TfrmTasks(TMessageStore& store, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      FStore(store) {
    setObjectName("frmTasks");
    setWindowTitle("Quillbar - Current Tasks");
    setModal(false);

    pnlTop = new QWidget(this);
    pnlTop->setMinimumHeight(49);
    pnlTop->setAutoFillBackground(true);
    QPalette white = pnlTop->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    pnlTop->setPalette(white);

    // The longer text sizes the window.
    lblTasks = new QLabel(BusyHeading, pnlTop);
    lblTasks->setWordWrap(true);

    aniMail = new TMailAnimation(pnlTop);
    aniMail->setFixedSize(104, 34);
    auto* top = new QHBoxLayout(pnlTop);
    top->setContentsMargins(8, 7, 8, 8);
    top->addWidget(lblTasks, 1);
    top->addSpacing(40);
    top->addWidget(aniMail);

    auto* shpTopLine = new QFrame(this);
    shpTopLine->setFrameShape(QFrame::HLine);
    shpTopLine->setFrameShadow(QFrame::Plain);
    shpTopLine->setFixedHeight(1);

    pcTasks = new QTabWidget(this);
    tsTasks = new QWidget;
    tsErrors = new QWidget;
    pcTasks->addTab(tsTasks, "Tasks");
    pcTasks->addTab(tsErrors, "Errors");

    lvTasks = MakeList(tsTasks, {"Task"});
    lvErrors = MakeList(tsErrors, {"Error description", "Time"});
    lvErrors->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    lvErrors->header()->resizeSection(1, TimeColumnWidth);
    // Error texts carry their cause and the account: they wrap, so all of it is read.
    lvErrors->setUniformRowHeights(false);
    lvErrors->setWordWrap(true);
    for (auto [page, list] : {std::pair{tsTasks, lvTasks}, std::pair{tsErrors, lvErrors}}) {
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->addWidget(list);
    }

    lblStatus = new QLabel(this);

    pbProgress = new QProgressBar(this);
    pbProgress->setFixedHeight(21);
    pbProgress->setRange(0, 100);
    pbProgress->setValue(0);
    pbProgress->setTextVisible(false);

    // Shown, unlike the original form, so that a stuck job can be cancelled; Alt+C is Close's.
    cmdCancel = new QPushButton("Cancel &Task", this);
    cmdCancel->setMinimumSize(90, 25);
    cmdCancel->setEnabled(false);

    cmdClose = new QPushButton("&Close", this);
    cmdClose->setMinimumSize(83, 25);
    cmdClose->setDefault(true);

    cmdClear = new QPushButton("Clear &errors", this);
    cmdClear->setMinimumSize(78, 25);
    cmdClear->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(cmdCancel);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    buttons->addWidget(cmdClear);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(4, 6, 3, 3);
    body->setSpacing(4);
    body->addWidget(pcTasks, 1);
    body->addSpacing(6);
    body->addWidget(lblStatus);
    body->addWidget(pbProgress);
    body->addSpacing(3);
    body->addLayout(buttons);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addWidget(pnlTop);
    window->addWidget(shpTopLine);
    window->addLayout(body, 1);
    // The window's own size, or more where a larger font needs it.
    setFixedSize(QSize(394, 340).expandedTo(window->sizeHint()));

    connect(cmdClose, &QPushButton::clicked, this, &TfrmTasks::cmdCloseClick);
    connect(cmdClear, &QPushButton::clicked, this, &TfrmTasks::cmdClearClick);
    connect(cmdCancel, &QPushButton::clicked, this, &TfrmTasks::cmdCancelClick);
    // Rows wrapped before the list had its width, on a page not shown, are too tall.
    lvErrors->viewport()->installEventFilter(this);
    auto* model = lvTasks->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &TfrmTasks::lvTasksChange);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TfrmTasks::lvTasksChange);
    connect(model, &QAbstractItemModel::modelReset, this, &TfrmTasks::lvTasksChange);

    NameObjects({{pnlTop, "pnlTop"},
                 {lblTasks, "lblTasks"},
                 {aniMail, "aniMail"},
                 {shpTopLine, "shpTopLine"},
                 {pcTasks, "pcTasks"},
                 {tsTasks, "tsTasks"},
                 {lvTasks, "lvTasks"},
                 {tsErrors, "tsErrors"},
                 {lvErrors, "lvErrors"},
                 {lblStatus, "lblStatus"},
                 {pbProgress, "pbProgress"},
                 {cmdCancel, "cmdCancel"},
                 {cmdClose, "cmdClose"},
                 {cmdClear, "cmdClear"}});

    connect(&FStore, &TMessageStore::TaskAdded, this, &TfrmTasks::TaskAdded);
    connect(&FStore, &TMessageStore::TaskRemoved, this, &TfrmTasks::TaskRemoved);
    connect(&FStore, &TMessageStore::TaskStarted, this, &TfrmTasks::TaskStarted);
    connect(&FStore, &TMessageStore::ErrorAdded, this, &TfrmTasks::ErrorAdded);
    connect(&FStore, &TMessageStore::ErrorChanged, this, &TfrmTasks::ErrorChanged);
    connect(&FStore, &TMessageStore::ErrorRemoved, this, &TfrmTasks::ErrorRemoved);
    connect(&FStore, &TMessageStore::ErrorsCleared, lvErrors, &QTreeWidget::clear);
    connect(&FStore, &TMessageStore::StatusChanged, this, &TfrmTasks::StatusChanged);
    connect(&FStore, &TMessageStore::ProgressChanged, this, &TfrmTasks::ProgressChanged);
    connect(&FStore, &TMessageStore::TasksWanted, this, &TfrmTasks::ShowPage);
    // A store that has jobs or errors already.
    for (int i = 0; i < static_cast<int>(FStore.Tasks().size()); ++i)
        TaskAdded(i);
    for (int i = 0; i < static_cast<int>(FStore.Errors().size()); ++i)
        ErrorAdded(i);
    lvTasksChange();
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

void TfrmTasks::TaskAdded(int position) {
    const TQBTaskInfo& task = FStore.Tasks()[static_cast<size_t>(position)];
    auto* item = new QTreeWidgetItem(
        QStringList{ScreenText(TaskCaption(task, FStore.AccountName(task.Account)))});
    lvTasks->insertTopLevelItem(position, item);
    if (position == 0)
        MarkRunningRow();
}

void TfrmTasks::TaskRemoved(int position) {
    delete lvTasks->takeTopLevelItem(position);
    if (position > 0)
        return;
    MarkRunningRow();
    if (lvTasks->topLevelItemCount() > 0)
        return;
    // The last job has ended: the errors it left stay in view.
    if (lvErrors->topLevelItemCount() > 0)
        pcTasks->setCurrentIndex(1);
    else
        hide();
}

void TfrmTasks::MarkRunningRow() {
    if (QTreeWidgetItem* first = lvTasks->topLevelItem(0))
        first->setIcon(0, QIcon(TaskImage(0)));
}

void TfrmTasks::TaskStarted() {
    pbProgress->setValue(0);
    // A job broken off by Cancel reports no closing empty status of its own.
    lblStatus->clear();
}

void TfrmTasks::StatusChanged(const std::string& text) {
    lblStatus->setText(ScreenText(text));
}

void TfrmTasks::ErrorAdded(int index) {
    const TError& error = FStore.Errors()[static_cast<size_t>(index)];
    auto* item = new QTreeWidgetItem;
    item->setIcon(0, QIcon(TaskImage(1)));
    lvErrors->insertTopLevelItem(index, item);
    if (error.SignInExpired) {
        // Beside the time, so that the text keeps its width.
        auto* cell = new QWidget;
        cell->setAutoFillBackground(true);
        cell->setBackgroundRole(QPalette::Base);
        auto* lblTime = new QLabel(cell);
        // No access key: one row's would clash with another's.
        auto* cmdSignIn = new QPushButton("Sign in...", cell);
        cmdSignIn->setAutoDefault(false);
        auto* layout = new QVBoxLayout(cell);
        layout->setContentsMargins(2, 1, 2, 1);
        layout->setSpacing(2);
        // Level with the text, which the row centres.
        layout->addStretch(1);
        layout->addWidget(lblTime);
        layout->addWidget(cmdSignIn);
        layout->addStretch(1);
        NameObjects({{lblTime, "lblErrorTime"}, {cmdSignIn, "cmdSignIn"}});
        const std::string account = error.Account;
        connect(cmdSignIn, &QPushButton::clicked, this,
                [this, account] { FStore.SignInAgain(account); });
        lvErrors->setItemWidget(item, 1, cell);
        const int width = std::max(TimeColumnWidth, cell->sizeHint().width());
        lvErrors->header()->resizeSection(1, std::max(width, lvErrors->header()->sectionSize(1)));
    }
    ShowError(index);
}

void TfrmTasks::ErrorChanged(int index) {
    ShowError(index);
}

void TfrmTasks::ErrorRemoved(int index) {
    delete lvErrors->takeTopLevelItem(index);
}

void TfrmTasks::ShowError(int index) {
    const TError& error = FStore.Errors()[static_cast<size_t>(index)];
    QTreeWidgetItem* item = lvErrors->topLevelItem(index);
    QString text = ScreenText(error.Text);
    if (const QString line = DetailLine(error, FStore); !line.isEmpty())
        text += "\n" + line;
    item->setText(0, text);
    item->setToolTip(0, text); // the account name ends a text that is often cut off
    const QString time = ClockTime(error.Time, "hh:mm:ss");
    item->setText(1, time);
    if (QWidget* cell = lvErrors->itemWidget(item, 1))
        cell->findChild<QLabel*>("lblErrorTime")->setText(time);
    FitErrorRows();
}

void TfrmTasks::FitErrorRows() {
    // Each row is as tall as its wrapped text in the column's present width.
    // The header stretches the column only later.
    const int width = lvErrors->viewport()->width() - lvErrors->header()->sectionSize(1) -
                      lvErrors->iconSize().width() - 12;
    const QFontMetrics metrics = lvErrors->fontMetrics();
    for (int i = 0; i < lvErrors->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lvErrors->topLevelItem(i);
        const QRect text = metrics.boundingRect(QRect(0, 0, std::max(width, 50), 100000),
                                                Qt::TextWordWrap, item->text(0));
        // Only the height counts; the header gives the width.
        item->setSizeHint(0, QSize(1, std::max(text.height(), metrics.height()) + 4));
    }
}

void TfrmTasks::ProgressChanged(qint64 received, qint64 size) {
    // The bar takes int; a size beyond it is scaled down with the count.
    while (size > INT_MAX) {
        size /= 1024;
        received /= 1024;
    }
    pbProgress->setMaximum(static_cast<int>(std::max<qint64>(0, size)));
    pbProgress->setValue(
        static_cast<int>(std::clamp<qint64>(received, 0, std::max<qint64>(0, size))));
}

bool TfrmTasks::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lvErrors->viewport() && e->type() == QEvent::Resize)
        FitErrorRows();
    return QDialog::eventFilter(watched, e);
}

void TfrmTasks::showEvent(QShowEvent* e) {
    if (!e->spontaneous()) {
        if (FWasShown)
            KeepOnScreen(this);
        else
            CentreOnScreen(this);
        FWasShown = true;
    }
    QDialog::showEvent(e);
    // The next try may have moved with the options meanwhile.
    for (int i = 0; i < lvErrors->topLevelItemCount(); ++i)
        ShowError(i);
    FitErrorRows();
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
    FStore.ClearErrors();
    hide();
}

void TfrmTasks::cmdClearClick() {
    FStore.ClearErrors();
}

void TfrmTasks::cmdCancelClick() {
    FStore.CancelTask();
}

void TfrmTasks::lvTasksChange() {
    const bool busy = lvTasks->topLevelItemCount() > 0;
    cmdCancel->setEnabled(busy);
    // Opened from the menu or for its errors, the window may have nothing to wait for.
    lblTasks->setText(busy ? BusyHeading : IdleHeading);
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
