// The ticker bar window: a frameless tool window one skin-height tall.
#include "bar/FMain.h"
#include "bar/BarDock.h"
#include "bar/BarMenus.h"
#include "bar/NewMailNotice.h"
#include "bar/TrayIcon.h"

#include "core/QuietHours.h"
#include "mime/Message.h"
#include "platform/DockBackend.h"
#include "platform/ForceForeground.h"
#include "platform/HotKey.h"
#include "platform/Sound.h"
#include "skin/Skin.h"
#include "store/MessageStore.h"
#include "windows/FMsgList.h"
#include "windows/Placement.h"
#include "windows/ScreenText.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QTime>
#include <QTimer>
#include <QToolTip>

namespace {

constexpr int DefaultBarHeight = 24;
constexpr int DefaultBarWidth = 600;
constexpr int MinimumBarWidth = 400;
constexpr int RepaintInterval = 40; // ms between two repaints of the bar at most

} // namespace

TfrmMain::TfrmMain(TMessageStore& store)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint),
      FStore(store) {
    setObjectName("frmMain");
    setWindowTitle("Quillbar");
    const int height = Skin().Height > 0 ? Skin().Height : DefaultBarHeight;
    const TOptions& options = Settings().Options();
    const int width = options.Width > 0 ? options.Width : DefaultBarWidth;
    setFixedHeight(height);
    // A stored width no bar can be used at.
    setMinimumWidth(MinimumBarWidth);
    resize(width, height);
    // A stored place may lie on a screen that is gone; without one the bar starts at the
    // top left of the desktop rather than wherever the window manager puts it.
    if (options.Left >= 0 && options.Top >= 0)
        move(options.Left, options.Top);
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().topLeft());
    KeepOnScreen(this);
    FRepaintTimer = new QTimer(this);
    FRepaintTimer->setSingleShot(true);
    connect(FRepaintTimer, &QTimer::timeout, this, [this] {
        FLastRepaint.start();
        update();
    });
    setMouseTracking(true);
    // The bar is hardly ever the active window, and its hints must show all the same.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    tmrScrollDelay = new QTimer(this);
    tmrScrollDelay->setObjectName("tmrScrollDelay");
    tmrScrollDelay->setSingleShot(true);
    tmrScrollDelay->setInterval(std::max(0, options.ScrollDelay));
    connect(tmrScrollDelay, &QTimer::timeout, this, &TfrmMain::tmrScrollDelayTimer);
    tmrScroll = new QTimer(this);
    tmrScroll->setObjectName("tmrScroll");
    tmrScroll->setInterval(std::max(1, options.ScrollSpeed));
    connect(tmrScroll, &QTimer::timeout, this, &TfrmMain::tmrScrollTimer);

    FDock = new TBarDock(*this, options.AutoHide);
    FMenus = new TBarMenus(*this, FStore);
    connect(FMenus, &TBarMenus::MessageListWanted, this, &TfrmMain::mnuMainMsgListClick);
    connect(FMenus, &TBarMenus::OptionsWanted, this, [this] { OpenOptions(); });
    connect(FMenus, &TBarMenus::AboutWanted, this, &TfrmMain::OpenAbout);
    FNotice = new TNewMailNotice(FStore, this);
    FTrayIcon = new TTrayIcon(FStore, FMenus->MainMenu(), this);
    connect(FTrayIcon, &TTrayIcon::MessageListWanted, this, &TfrmMain::mnuMainMsgListClick);
    ApplyTrayIcon();
    connect(FNotice, &TNewMailNotice::ListWanted, this, &TfrmMain::mnuMainMsgListClick);

    for (auto changed :
         {&TMessageStore::EntryRemoved, &TMessageStore::EntryChanged, &TMessageStore::ErrorAdded})
        connect(&FStore, changed, this, &TfrmMain::RepaintBar);
    connect(&FStore, &TMessageStore::EntryAdded, this, [this] {
        RepaintBar();
        if (!tmrScroll->isActive() && !tmrScrollDelay->isActive() && MouseY < 0)
            RestartScrollDelay();
    });
    connect(&FStore, &TMessageStore::ErrorsCleared, this, &TfrmMain::RepaintBar);
    connect(&FStore, &TMessageStore::ErrorRemoved, this, &TfrmMain::RepaintBar);
    connect(&FStore, &TMessageStore::SignInWanted, this, &TfrmMain::OpenSignIn);
    connect(&FStore, &TMessageStore::NewMailArrived, this, &TfrmMain::NewMailArrived);
    FSettingsWatch =
        Settings().Subscribe([this](const TSettingsChange& change) { SettingsChanged(change); });
}

TfrmMain::~TfrmMain() {
    FDock->SavePlace();
    if (FHotKey)
        FHotKey->Unregister();
}

void TfrmMain::SetMessageList(TfrmMsgList* list) {
    if (FList)
        disconnect(FList, nullptr, this, nullptr);
    FList = list;
    // The drop-down button shows whether the list is open, however it was closed.
    if (FList)
        connect(FList, &TfrmMsgList::Hidden, this, [this] {
            if (ListShown) {
                ListShown = false;
                RepaintBar();
            }
        });
}

void TfrmMain::ToggleList() {
    if (!FList)
        return;
    if (!ListShown) {
        mnuMainMsgListClick();
        return;
    }
    FDock->Stick = true;
    FList->close();
    ListShown = false;
    FDock->Stick = false;
}

void TfrmMain::mnuMainMsgListClick() {
    if (!FList)
        return;
    FDock->Stick = true;
    ListShown = true;
    FList->show();
    FList->raise();
    FDock->Stick = false;
    update();
}

void TfrmMain::RegisterHotKey() {
    if (!FHotKey) {
        FHotKey = new THotKey(this);
        FHotKey->OnPressed = [this] { HotKeyPressed(); };
    }
    FHotKey->Register();
}

void TfrmMain::HotKeyPressed() {
    ForceForeground(this);
    FDock->SlideBar(true);
    FMenus->PopupMainMenu();
}

void TfrmMain::NewMailArrived(const std::vector<TEntryId>& arrived) {
    const TOptions& options = Settings().Options();
    const QTime now = QTime::currentTime();
    const bool quiet = options.QuietHours && InQuietHours(options.QuietFrom, options.QuietTo,
                                                          now.hour() * 60 + now.minute());
    if (options.PlaySound && !quiet)
        PlaySoundFile(options.SoundFile);
    if (options.Notify && !quiet)
        FNotice->Announce(arrived);
    FDock->Stick = true;
    FDock->SlideBar(true);
}

void TfrmMain::RepaintBar() {
    if (!FLastRepaint.isValid() || FLastRepaint.elapsed() >= RepaintInterval) {
        FLastRepaint.start();
        update();
    } else if (!FRepaintTimer->isActive()) {
        FRepaintTimer->start(RepaintInterval);
    }
}

void TfrmMain::NewInstance() {
    show();
    ForceForeground(this);
    FDock->Stick = true;
    FDock->SlideBar(true);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Tool windows do not end the application on their own; closing the bar does.
    event->accept();
    QCoreApplication::quit();
}

void TfrmMain::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        FDock->Stick = false;
        FDock->SlideBar(false);
        return;
    }
    QWidget::keyPressEvent(e);
}

void TfrmMain::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    RepaintBar();
}

void TfrmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (Skin().Height <= 0 || !Skin().Loaded()) {
        painter.fillRect(rect(), palette().window());
        SetHint({});
        return;
    }
    // A skin problem must not stop the bar from painting later.
    try {
        const TBarState state = BarState();
        const TBarLayout layout = FPainter.PaintBar(Skin(), state, [this](int k) {
            const TEntry& entry = FStore.Entries()[k];
            TBarEntry shown;
            shown.Caption = ScreenText(FStore.Caption(k));
            shown.Priority = entry.Fields.Priority;
            if (Settings().ValidAccount(entry.Account))
                shown.Color = Settings().Accounts()[entry.Account].Color;
            return shown;
        });
        HotItem = layout.HotItem;
        FirstVisible = layout.FirstVisible;
        SetHint(HotItem >= HotFirstMessage ? FStore.Hint(HotItem - HotFirstMessage) : "");
        painter.drawImage(0, 0, FPainter.BarImage);
        PaintPrompt(painter, layout);
    } catch (const std::exception&) {
    }
}

void TfrmMain::SetHint(const std::string& hint) {
    if (hint == FHint)
        return;
    FHint = hint;
    const QString shown = toolTip();
    setToolTip(ScreenText(hint).replace("\r\n", "\n"));
    // A hint still up belongs to the button the pointer has left.
    if (QToolTip::isVisible() && !shown.isEmpty() && QToolTip::text() == shown)
        QToolTip::hideText();
}

TBarLayout TfrmMain::CurrentLayout() const {
    if (Skin().Height <= 0)
        return {};
    return LayoutBar(BarMetrics(Skin()), BarState());
}

TBarState TfrmMain::BarState() const {
    TBarState state;
    state.ClientWidth = width();
    state.ButtonWidth = Settings().Options().ButtonWidth;
    state.MouseX = MouseX;
    state.MouseY = MouseY;
    state.MouseDown = MouseDown;
    state.ListShown = ListShown;
    state.HasErrors = !FStore.Errors().empty();
    state.FirstVisible = FirstVisible;
    state.EntryCount = static_cast<int>(FStore.Entries().size());
    state.IsRead = [this](int k) { return FStore.Entries()[k].Read; };
    return state;
}

void TfrmMain::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (e->spontaneous() || FDock->Sliding())
        return;
    FDock->BarShown(Settings().Options().Edge);
    RestartScrollDelay();
}

bool TfrmMain::event(QEvent* e) {
    if (e->type() == QEvent::WinIdChange)
        FDock->NativeWindowChanged();
    else if (e->type() == QEvent::WindowDeactivate)
        FDock->SlideBar(false);
    return QWidget::event(e);
}
