// The options dialog: construction of the four tabs, loading and applying the options.
#include "dialogs/FOptions.h"

#include "core/Folders.h"
#include "core/Settings.h"
#include "dialogs/DialogPictures.h"
#include "dialogs/SaveWarning.h"
#include "dialogs/SkinPreview.h"
#include "platform/Autostart.h"
#include "platform/DockBackend.h"
#include "platform/MessageBox.h"
#include "platform/Sound.h"
#include "skin/Skin.h"
#include "store/MessageStore.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <climits>

namespace {

const QSize FormSize(418, 326);
const QSize PreviewSize(329, 69);
constexpr int ScrollSteps = 950;
constexpr int SlowestScroll = 10000;
// The largest size in kilobytes whose byte count still fits 32 bits.
constexpr int MaxSizeKb = INT_MAX / 1024;

QSpinBox* NumberField(const char* name, int minimum, int maximum) {
    auto* field = new QSpinBox;
    field->setObjectName(name);
    field->setRange(minimum, maximum);
    return field;
}

QCheckBox* Box(const char* name, const QString& caption) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    return box;
}

QTimeEdit* ClockField(const char* name) {
    auto* field = new QTimeEdit;
    field->setObjectName(name);
    field->setDisplayFormat("HH:mm");
    return field;
}

QTime ClockTime(int minutes) {
    return QTime(minutes / 60, minutes % 60);
}

int Minutes(const QTime& time) {
    return time.hour() * 60 + time.minute();
}

} // namespace

TfrmOptions::TfrmOptions(TMessageStore& store, QWidget* owner) : QDialog(owner), FStore(store) {
    setObjectName("frmOptions");
    setWindowTitle("Quillbar Options");
    connect(this, &QDialog::finished, this, &TfrmOptions::CheckAddedAccounts);
    FSettingsWatch = Settings().Subscribe([this](const TSettingsChange& change) {
        if (change.What & spAccounts)
            FillAccounts();
    });
    pcOptions = new QTabWidget;
    pcOptions->setObjectName("pcOptions");
    pcOptions->addTab(tsEmail = CreateEmailTab(), "General");
    pcOptions->addTab(tsSkins = CreateSkinsTab(), "Skins");
    pcOptions->addTab(tsAccounts = CreateAccountsTab(), "Accounts");
    pcOptions->addTab(tsWarnings = CreateWarningsTab(), "Warnings");

    cmdOK = new QPushButton("&OK");
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    cmdApply = new QPushButton("A&pply");
    cmdApply->setObjectName("cmdApply");
    cmdCancel = new QPushButton("&Cancel");
    cmdCancel->setObjectName("cmdCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcOptions);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, [this] {
        cmdApplyClick();
        accept();
    });
    connect(cmdApply, &QPushButton::clicked, this, &TfrmOptions::cmdApplyClick);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    LoadOptions();
    pcOptions->setCurrentIndex(0);
    resize(sizeHint().expandedTo(FormSize));
}

QWidget* TfrmOptions::CreateEmailTab() {
    auto* page = new QWidget;
    page->setObjectName("tsEmail");
    chkInterval = Box("chkInterval", "Chec&k for new messages every");
    seMinutes = NumberField("seMinutes", 1, 60);
    chkSound = Box("chkSound", "Play &sound when a new message arrives...");
    txtSound = new QLineEdit;
    txtSound->setObjectName("txtSound");
    txtSound->setReadOnly(true);
    cmdPreview = new QToolButton;
    cmdPreview->setObjectName("cmdPreview");
    cmdPreview->setArrowType(Qt::RightArrow);
    cmdPreview->setToolTip("Play");
    cmdSound = new QToolButton;
    cmdSound->setObjectName("cmdSound");
    cmdSound->setText("...");
    chkNotify = Box("chkNotify", "Show a desktop &notification for new mail");
    chkScroll = Box("chkScroll", "Scroll &mail after");
    seScroll = NumberField("seScroll", 1, 60);
    tbScrollSpeed = new QSlider(Qt::Horizontal);
    tbScrollSpeed->setObjectName("tbScrollSpeed");
    tbScrollSpeed->setRange(1, 10);
    tbScrollSpeed->setPageStep(1);
    tbScrollSpeed->setTickPosition(QSlider::TicksBelow);
    chkAutoHide = Box("chkAutoHide", "&Hide Quillbar bar automatically");
    chkAutostart = Box("chkAutostart", "Start Quillbar when I &log in");
    chkTrayIcon = Box("chkTrayIcon", "Show an icon in the system &tray");
    chkQuiet = Box("chkQuiet", "&Quiet hours from");
    chkQuiet->setToolTip("No sound and no notification for new mail meanwhile");
    seQuietFrom = ClockField("seQuietFrom");
    seQuietTo = ClockField("seQuietTo");

    auto* grid = new QGridLayout(page);
    grid->addWidget(chkInterval, 0, 0, 1, 2);
    grid->addWidget(seMinutes, 0, 2);
    grid->addWidget(new QLabel("minute(s)..."), 0, 3);
    grid->addWidget(chkSound, 1, 0, 1, 4);
    auto* sound = new QHBoxLayout;
    sound->addSpacing(20);
    sound->addWidget(txtSound, 1);
    sound->addWidget(cmdPreview);
    sound->addWidget(cmdSound);
    grid->addLayout(sound, 2, 0, 1, 4);
    grid->addWidget(chkNotify, 3, 0, 1, 4);
    grid->addWidget(chkScroll, 4, 0, 1, 2);
    grid->addWidget(seScroll, 4, 2);
    grid->addWidget(new QLabel("second(s) of inactivity..."), 4, 3);
    auto* speed = new QHBoxLayout;
    speed->addSpacing(20);
    speed->addWidget(new QLabel("Scroll speed:"));
    speed->addWidget(tbScrollSpeed, 1);
    grid->addLayout(speed, 5, 0, 1, 4);
    grid->addWidget(chkAutoHide, 6, 0, 1, 4);
    grid->addWidget(chkAutostart, 7, 0, 1, 4);
    grid->addWidget(chkTrayIcon, 8, 0, 1, 4);
    auto* quiet = new QHBoxLayout;
    quiet->addWidget(chkQuiet);
    quiet->addWidget(seQuietFrom);
    quiet->addWidget(new QLabel("to"));
    quiet->addWidget(seQuietTo);
    quiet->addStretch();
    grid->addLayout(quiet, 9, 0, 1, 4);
    grid->setRowStretch(10, 1);
    grid->setColumnStretch(3, 1);

    connect(chkSound, &QCheckBox::toggled, this, &TfrmOptions::SoundToggled);
    for (QTimeEdit* clock : {seQuietFrom, seQuietTo})
        connect(chkQuiet, &QCheckBox::toggled, clock, &QWidget::setEnabled);
    connect(cmdPreview, &QToolButton::clicked, this,
            [this] { PlaySoundFile(txtSound->text().toStdString()); });
    connect(cmdSound, &QToolButton::clicked, this, [this] {
        const QString file =
            QFileDialog::getOpenFileName(this, {}, txtSound->text(), "WAV files (*.wav)");
        if (!file.isEmpty())
            txtSound->setText(file);
    });
    return page;
}

QWidget* TfrmOptions::CreateSkinsTab() {
    auto* page = new QWidget;
    page->setObjectName("tsSkins");
    lstSkins = new QListWidget;
    lstSkins->setObjectName("lstSkins");
    // As tall as the skins need, so the dialog keeps its size with few skins.
    lstSkins->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    for (const std::string& name : SkinNames)
        lstSkins->addItem(QString::fromStdString(name));
    seButtonWidth = NumberField("seButtonWidth", 50, 300);

    auto* panel = new QFrame;
    panel->setObjectName("pnlPreview");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedSize(PreviewSize);
    panel->setAutoFillBackground(true);
    QPalette desktop = panel->palette();
    desktop.setColor(QPalette::Window, QColor(0x3A, 0x6E, 0xA5));
    panel->setPalette(desktop);
    imgPreview = new QLabel;
    imgPreview->setObjectName("imgPreview");
    imgPreview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The picture is made to the inside of the panel; the label asks for no more.
    imgPreview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* corner = new QLabel;
    corner->setObjectName("imgWindow");
    corner->setPixmap(QPixmap::fromImage(WindowCorner()));
    auto* inside = new QGridLayout(panel);
    inside->setContentsMargins(panel->frameWidth(), panel->frameWidth(), panel->frameWidth(),
                               panel->frameWidth());
    inside->setSpacing(0);
    inside->addWidget(imgPreview, 0, 0);
    inside->addWidget(corner, 0, 0, Qt::AlignRight | Qt::AlignBottom);

    auto* grid = new QGridLayout(page);
    grid->addWidget(lstSkins, 0, 0, 1, 2);
    grid->addWidget(new QLabel("Minimum button width:"), 1, 0);
    grid->addWidget(seButtonWidth, 1, 1);
    grid->addWidget(new QLabel("Preview:"), 2, 0, 1, 2);
    grid->addWidget(panel, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(lstSkins, &QListWidget::itemClicked, this, &TfrmOptions::DrawPreview);
    connect(lstSkins, &QListWidget::currentRowChanged, this, &TfrmOptions::DrawPreview);
    return page;
}

QWidget* TfrmOptions::CreateWarningsTab() {
    auto* page = new QWidget;
    page->setObjectName("tsWarnings");
    chkDelete = Box("chkDelete", "Show confirmation before deleting messages...");
    chkAutoReport = Box("chkAutoReport", "&Send spam reports directly");
    chkASOutbox = Box("chkASOutbox", "Store anti-spam messages in outbox");
    // The anti-spam feature does not exist.
    chkAutoReport->setEnabled(false);
    chkASOutbox->setEnabled(false);
    chkMaxWarning = Box("chkMaxWarning", "If &message exceeds");
    seMaxSize = NumberField("seMaxSize", 1, MaxSizeKb);
    seMaxLines = NumberField("seMaxLines", 1, INT_MAX);
    chkMaxAsk = Box("chkMaxAsk", "&Ask before downloading...");
    chkHTML = Box("chkHTML", "&Ignore if message contains incomplete HTML or images");

    auto* grid = new QGridLayout(page);
    grid->addWidget(chkDelete, 0, 0, 1, 4);
    grid->addWidget(chkAutoReport, 1, 0, 1, 4);
    grid->addWidget(chkASOutbox, 2, 0, 1, 4);
    grid->addWidget(chkMaxWarning, 3, 0, 1, 2);
    grid->addWidget(seMaxSize, 3, 2);
    grid->addWidget(new QLabel("kb..."), 3, 3);
    auto* lines = new QHBoxLayout;
    lines->addSpacing(20);
    lines->addWidget(new QLabel("Download only the first"));
    lines->addWidget(seMaxLines);
    lines->addWidget(new QLabel("lines..."));
    lines->addStretch();
    grid->addLayout(lines, 4, 0, 1, 4);
    auto* ask = new QHBoxLayout;
    ask->addSpacing(20);
    ask->addWidget(chkMaxAsk);
    grid->addLayout(ask, 5, 0, 1, 4);
    grid->addWidget(chkHTML, 6, 0, 1, 4);
    grid->setRowStretch(7, 1);
    grid->setColumnStretch(3, 1);
    connect(chkMaxWarning, &QCheckBox::toggled, this, &TfrmOptions::MaxWarningToggled);
    return page;
}

void TfrmOptions::LoadOptions() {
    const TOptions& options = Settings().Options();
    for (int row = 0; row < lstSkins->count(); ++row)
        if (lstSkins->item(row)->text().toStdString() == options.Skin)
            lstSkins->setCurrentRow(row);
    chkInterval->setChecked(options.IntervalCheck);
    seMinutes->setValue(options.Interval);
    chkSound->setChecked(options.PlaySound);
    SoundToggled(options.PlaySound);
    txtSound->setText(QString::fromStdString(options.SoundFile));
    chkNotify->setChecked(options.Notify);
    chkScroll->setChecked(options.Scroll);
    seScroll->setValue(options.ScrollDelay / 1000);
    tbScrollSpeed->setValue((SlowestScroll - options.ScrollSpeed) / ScrollSteps);
    chkAutoHide->setChecked(options.AutoHide);
    chkAutostart->setChecked(AutostartEnabled());
    chkTrayIcon->setChecked(TrayIconShown(options.TrayIcon));
    chkQuiet->setChecked(options.QuietHours);
    seQuietFrom->setEnabled(options.QuietHours);
    seQuietTo->setEnabled(options.QuietHours);
    seQuietFrom->setTime(ClockTime(options.QuietFrom));
    seQuietTo->setTime(ClockTime(options.QuietTo));
    seButtonWidth->setValue(options.ButtonWidth);
    chkDelete->setChecked(options.DeleteConfirm);
    chkMaxWarning->setChecked(options.MaxWarning);
    MaxWarningToggled(options.MaxWarning);
    seMaxSize->setValue(options.MaxSize / 1024);
    seMaxLines->setValue(options.MaxLines);
    chkMaxAsk->setChecked(options.MaxAsk);
    chkHTML->setChecked(options.ViewHTMLImages);
    FillAccounts();
    DrawPreview();
}

void TfrmOptions::StoreOptions(TOptions& options) const {
    options.IntervalCheck = chkInterval->isChecked();
    options.Interval = seMinutes->value();
    options.PlaySound = chkSound->isChecked();
    options.SoundFile = txtSound->text().toStdString();
    options.Notify = chkNotify->isChecked();
    options.Scroll = chkScroll->isChecked();
    options.ScrollDelay = seScroll->value() * 1000;
    options.ScrollSpeed = SlowestScroll - tbScrollSpeed->value() * ScrollSteps;
    options.AutoHide = chkAutoHide->isChecked();
    // Left unchosen, the icon keeps following whether the bar can dock.
    if (options.TrayIcon || chkTrayIcon->isChecked() != TrayIconShown(options.TrayIcon))
        options.TrayIcon = chkTrayIcon->isChecked();
    options.QuietHours = chkQuiet->isChecked();
    options.QuietFrom = Minutes(seQuietFrom->time());
    options.QuietTo = Minutes(seQuietTo->time());
    options.ButtonWidth = seButtonWidth->value();
    options.DeleteConfirm = chkDelete->isChecked();
    options.MaxWarning = chkMaxWarning->isChecked();
    options.MaxSize = seMaxSize->value() * 1024;
    options.MaxLines = seMaxLines->value();
    options.MaxAsk = chkMaxAsk->isChecked();
    options.ViewHTMLImages = chkHTML->isChecked();
}

void TfrmOptions::cmdApplyClick() {
    // The bar, the skin, the worker and the check timer follow the announced change.
    ChangeSettings(this, windowTitle(), [this] {
        Settings().UpdateOptions([this](TOptions& options) {
            StoreOptions(options);
            if (const QListWidgetItem* item = lstSkins->currentItem())
                options.Skin = item->text().toStdString();
        });
    });
    // Only a change is made: an entry the user keeps is left as it is.
    if (chkAutostart->isChecked() != AutostartEnabled()) {
        const QString problem = SetAutostart(chkAutostart->isChecked());
        if (!problem.isEmpty())
            ShowMessageBox(this, "Starting at login could not be changed: " + problem,
                           "Quillbar Options", QMessageBox::Warning);
    }
}

void TfrmOptions::DrawPreview() {
    const QListWidgetItem* item = lstSkins->currentItem();
    if (!item)
        return;
    const auto* panel = imgPreview->parentWidget();
    const int width = PreviewSize.width() - 2 * static_cast<const QFrame*>(panel)->frameWidth();
    const QImage preview = DrawSkinPreview(SkinFolder(item->text().toStdString()) + "/", width);
    imgPreview->setPixmap(QPixmap::fromImage(preview));
}

void TfrmOptions::SoundToggled(bool on) {
    txtSound->setEnabled(on);
    cmdSound->setEnabled(on);
}

void TfrmOptions::MaxWarningToggled(bool on) {
    seMaxSize->setEnabled(on);
    seMaxLines->setEnabled(on);
    chkMaxAsk->setEnabled(on);
}
