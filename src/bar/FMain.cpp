// The ticker bar window: a frameless tool window one skin-height tall.
#include "bar/FMain.h"

#include <QPainter>
#include <QTimer>

TfrmMain* frmMain = nullptr;

TfrmMain::TfrmMain() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool)
{
    frmMain = this;
    setObjectName("frmMain");
    setWindowTitle("Quillbar");
    resize(600, 24);
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

void TfrmMain::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
}
