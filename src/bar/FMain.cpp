// The ticker bar window: a frameless tool window one skin-height tall.
#include "bar/FMain.h"

#include "bar/USkin.h"
#include "core/UOptions.h"
#include "platform/ForceForeground.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QTimer>

TfrmMain* frmMain = nullptr;

namespace {

constexpr int DefaultBarHeight = 24;
constexpr int DefaultBarWidth = 600;

} // namespace

TfrmMain::TfrmMain() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint)
{
    frmMain = this;
    setObjectName("frmMain");
    setWindowTitle("Quillbar");
    const int height = Skin && Skin->Height > 0 ? Skin->Height : DefaultBarHeight;
    const int width = Options.Width > 0 ? Options.Width : DefaultBarWidth;
    setFixedHeight(height);
    resize(width, height);
    if (Options.Left >= 0 && Options.Top >= 0)
        move(Options.Left, Options.Top);
    FRepaintTimer = new QTimer(this);
    FRepaintTimer->setSingleShot(true);
    connect(FRepaintTimer, &QTimer::timeout, this, [this] {
        FLastRepaint.start();
        update();
    });
    CreateStore();
}

TfrmMain::~TfrmMain()
{
    DestroyStore();
    if (frmMain == this)
        frmMain = nullptr;
}

QWidget* TfrmMain::ReadWindow() const
{
    return nullptr;
}

void TfrmMain::NewInstance()
{
    ++FNewInstanceCount;
    show();
    ForceForeground(this);
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // Tool windows do not end the application on their own; closing the bar does.
    event->accept();
    QCoreApplication::quit();
}

void TfrmMain::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (Skin && !Skin->Background.isNull())
        painter.drawTiledPixmap(rect(), QPixmap::fromImage(Skin->Background));
    else
        painter.fillRect(rect(), palette().window());
}
