// The about box: version and build, the author, and a cow behind the "©" sign.
#include "dialogs/FAbout.h"

#include "core/HomePage.h"
#include "dialogs/DialogPictures.h"
#include "dialogs/Moo.h"
#include "platform/Shell.h"
#include "platform/Sound.h"

#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <random>

namespace {

const QSize FormSize(400, 233);
constexpr int BannerHeight = 70;
const char* const AuthorAddress = "quillbar@example.org";
constexpr int ShakeSteps = 50;
constexpr int ShakeStepMs = 25;

QLabel* Link(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

// Waits while the box keeps answering the user.
void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

QString TfrmAbout::VersionText() {
    return QStringLiteral("%1.%2.%3 build %4")
        .arg(QB_VERSION_MAJOR)
        .arg(QB_VERSION_MINOR)
        .arg(QB_VERSION_PATCH)
        .arg(QB_BUILD_NUMBER);
}

TfrmAbout::TfrmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("frmAbout");
    setWindowTitle("About Quillbar...");

    imgAbout = new QLabel;
    imgAbout->setObjectName("imgAbout");
    imgAbout->setPixmap(QPixmap::fromImage(AboutBanner(FormSize.width(), BannerHeight)));
    imgAbout->setFixedHeight(BannerHeight);
    imgAbout->setScaledContents(true);
    lblVersion = new QLabel("Version " + VersionText());
    lblVersion->setObjectName("lblVersion");
    lblVersion->setAlignment(Qt::AlignHCenter);
    QPalette white = lblVersion->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    lblVersion->setPalette(white);
    auto* banner = new QVBoxLayout(imgAbout);
    banner->addStretch();
    banner->addWidget(lblVersion);
    auto* line = new QFrame;
    line->setObjectName("shpLine");
    line->setFrameShape(QFrame::HLine);

    auto* programming = new QLabel("Programming:");
    QFont bold = programming->font();
    bold.setBold(true);
    programming->setFont(bold);
    lblProgramming1 =
        Link("lblProgramming1", QString("The Quillbar developers <%1>").arg(AuthorAddress));
    lblEasterEgg = new QLabel(
        "Copyright <a href=\"#cow\" style=\"color: palette(window-text); text-decoration: "
        "none\">\u00A9</a> 2026 the Quillbar developers. This program is free software, "
        "licensed under the GPL-3.0-or-later.");
    lblEasterEgg->setObjectName("lblEasterEgg");
    lblEasterEgg->setWordWrap(true);
    lblSoftware = Link("lblSoftware", HomePage);
    imgCow = new QLabel;
    imgCow->setObjectName("imgCow");
    imgCow->setPixmap(QPixmap::fromImage(CowPicture()));
    imgCow->setVisible(false);
    // The cow shakes inside a frame of its own, so that nothing else moves.
    auto* pen = new QWidget;
    pen->setObjectName("pnlCow");
    pen->setFixedSize(40, 40);
    imgCow->setParent(pen);
    imgCow->move(4, 4);
    imgCow->resize(32, 32);
    cmdOK = new QPushButton("OK");
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);

    auto* body = new QGridLayout;
    body->setContentsMargins(8, 8, 8, 8);
    body->addWidget(programming, 0, 0);
    body->addWidget(pen, 0, 1, 2, 1, Qt::AlignRight | Qt::AlignTop);
    auto* author = new QHBoxLayout;
    author->addSpacing(16);
    author->addWidget(lblProgramming1);
    author->addStretch();
    body->addLayout(author, 1, 0);
    body->setRowStretch(2, 1);
    body->addWidget(lblEasterEgg, 3, 0, 1, 2);
    body->addWidget(lblSoftware, 4, 0);
    body->addWidget(cmdOK, 4, 1, Qt::AlignRight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(imgAbout);
    layout->addWidget(line);
    layout->addLayout(body);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(lblEasterEgg, &QLabel::linkActivated, this, &TfrmAbout::lblEasterEggClick);
    lblProgramming1->installEventFilter(this);
    lblSoftware->installEventFilter(this);
    imgCow->installEventFilter(this);
    setFixedSize(sizeHint().expandedTo(FormSize));
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        if (watched == lblProgramming1)
            OpenUrl(std::string("mailto:") + AuthorAddress);
        else if (watched == lblSoftware)
            OpenUrl(lblSoftware->text().toStdString());
        else if (watched == imgCow)
            imgCowClick();
    }
    return QDialog::eventFilter(watched, e);
}

void TfrmAbout::lblEasterEggClick() {
    imgCow->setVisible(true);
    PlaySoundFile(MooFile());
}

void TfrmAbout::imgCowClick() {
    const QPoint start = imgCow->pos();
    static std::mt19937 random;
    random.seed(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    ++FShaking;
    // The box may close while the cow shakes.
    const QPointer<TfrmAbout> self = this;
    const QPointer<QLabel> cow = imgCow;
    for (int n = ShakeSteps; n >= 1 && cow; --n) {
        const int reach = n / 10;
        auto draw = [&] { return reach > 0 ? int(random() % unsigned(reach)) : 0; };
        const int dx = draw();
        const int dy = draw();
        // Steps alternate sides, the first (n = 50) towards the top left.
        const bool odd = (ShakeSteps - n) % 2 == 0;
        cow->move(odd ? start - QPoint(dx, dy) : start + QPoint(dx, dy));
        Pause(ShakeStepMs);
    }
    if (!self)
        return;
    cow->move(start);
    --FShaking;
}
