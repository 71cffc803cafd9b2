// The ticker bar window: a frameless tool window one skin-height tall.
#include "bar/FMain.h"

#include "bar/USkin.h"
#include "core/UOptions.h"
#include "mail/UCustomIndy.h"
#include "platform/ForceForeground.h"
#include "windows/FRead.h"
#include "windows/UPlacement.h"
#include "windows/UScreenText.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

TfrmMain* frmMain = nullptr;

namespace {

constexpr int DefaultBarHeight = 24;
constexpr int DefaultBarWidth = 600;
constexpr int MinimumBarWidth = 400;

} // namespace

TfrmMain::TfrmMain()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint) {
    frmMain = this;
    setObjectName("frmMain");
    setWindowTitle("Quillbar");
    const int height = Skin && Skin->Height > 0 ? Skin->Height : DefaultBarHeight;
    const int width = Options.Width > 0 ? Options.Width : DefaultBarWidth;
    setFixedHeight(height);
    // A stored width no bar can be used at.
    setMinimumWidth(MinimumBarWidth);
    resize(width, height);
    // A stored place may lie on a screen that is gone; without one the bar starts at the
    // top left of the desktop rather than wherever the window manager puts it.
    if (Options.Left >= 0 && Options.Top >= 0)
        move(Options.Left, Options.Top);
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
    CreateStore();
}

TfrmMain::~TfrmMain() {
    DestroyStore();
    if (frmMain == this)
        frmMain = nullptr;
}

QWidget* TfrmMain::ReadWindow() const {
    return frmRead;
}

void TfrmMain::NewInstance() {
    ++FNewInstanceCount;
    show();
    ForceForeground(this);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Tool windows do not end the application on their own; closing the bar does.
    event->accept();
    QCoreApplication::quit();
}

void TfrmMain::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!Skin || Skin->Height <= 0 || Skin->Background.isNull()) {
        painter.fillRect(rect(), palette().window());
        SetHint({});
        return;
    }
    // A skin problem must not stop the bar from painting later.
    try {
        const TBarState state = BarState();
        const TBarLayout layout = Painter.PaintBar(*Skin, state, [this](int k) {
            const TButton& entry = Buttons[k];
            TBarEntry shown;
            shown.Caption = ScreenText(entry.Caption);
            shown.Priority = entry.Msg ? entry.Msg->Decoder.Priority : 0;
            if (entry.Account >= 0 && entry.Account < static_cast<int>(Accounts.size()))
                shown.Color = Accounts[entry.Account].Color;
            return shown;
        });
        HotItem = layout.HotItem;
        FirstVisible = layout.FirstVisible;
        SetHint(HotItem >= HotFirstMessage ? Buttons[HotItem - HotFirstMessage].Hint : "");
        painter.drawImage(0, 0, Painter.BarImage);
    } catch (const std::exception&) {
    }
}

void TfrmMain::SetHint(const std::string& hint) {
    if (hint == Hint)
        return;
    Hint = hint;
    const QString shown = toolTip();
    setToolTip(ScreenText(hint).replace("\r\n", "\n"));
    // A hint still up belongs to the button the pointer has left.
    if (QToolTip::isVisible() && !shown.isEmpty() && QToolTip::text() == shown)
        QToolTip::hideText();
}

TBarState TfrmMain::BarState() const {
    TBarState state;
    state.ClientWidth = width();
    state.ButtonWidth = Options.ButtonWidth;
    state.MouseX = MouseX;
    state.MouseY = MouseY;
    state.MouseDown = MouseDown;
    state.ListShown = ListShown;
    state.HasErrors = !Errors.empty();
    state.FirstVisible = FirstVisible;
    state.EntryCount = static_cast<int>(Buttons.size());
    state.IsRead = [this](int k) { return Buttons[k].Read; };
    return state;
}
