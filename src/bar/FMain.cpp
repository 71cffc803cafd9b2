// The ticker bar window.
#include "bar/FMain.h"

#include "bar/USkin.h"
#include "core/UOptions.h"
#include "platform/ForceForeground.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>

TfrmMain* frmMain = nullptr;

namespace {

constexpr int DefaultBarHeight = 24;
constexpr int DefaultBarWidth = 600;

} // namespace

TfrmMain::TfrmMain() {
    setObjectName("frmMain");
    setWindowTitle("Quillbar");
    // A frameless tool window: no title bar and no task-bar button.
    setWindowFlags(Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint);
    const int height = Skin && Skin->Height > 0 ? Skin->Height : DefaultBarHeight;
    const int width = Options.Width > 0 ? Options.Width : DefaultBarWidth;
    setFixedHeight(height);
    resize(width, height);
    if (Options.Left >= 0 && Options.Top >= 0)
        move(Options.Left, Options.Top);
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
    if (Skin && !Skin->Background.isNull())
        painter.drawTiledPixmap(rect(), QPixmap::fromImage(Skin->Background));
    else
        painter.fillRect(rect(), palette().window());
}
