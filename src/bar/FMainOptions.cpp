// The bar's side of the options and about dialogs, and the prompt shown before the
// first account exists.
#include "bar/BarDock.h"
#include "bar/FMain.h"
#include "bar/TrayIcon.h"
#include "windows/Placement.h"

#include "dialogs/FAbout.h"
#include "dialogs/FOptions.h"
#include "platform/DockBackend.h"
#include "platform/MessageBox.h"
#include "skin/Skin.h"
#include "store/MessageStore.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {

const char* const PromptText = "No account yet \u2014 click to add one";

} // namespace

void TfrmMain::OpenOptions(bool addAccount) {
    // A dialog that closed may wait for its deletion.
    if (FOptionsDialog && FOptionsDialog->isVisible()) {
        FOptionsDialog->raise();
        FOptionsDialog->activateWindow();
        return;
    }
    auto* dialog = new TfrmOptions(FStore, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal: the bar's error button and its menu must still open the tasks window while
    // the user edits; the menu raises this dialog rather than opening another.
    dialog->setWindowModality(Qt::NonModal);
    FOptionsDialog = dialog;
    FDock->Stick = true;
    connect(dialog, &QDialog::finished, this, [this] { FDock->Stick = false; });
    dialog->show();
    CentreOnScreen(dialog);
    if (addAccount)
        dialog->StartAddingAccount();
}

void TfrmMain::OpenSignIn(const std::string& account) {
    OpenOptions();
    if (auto* dialog = qobject_cast<TfrmOptions*>(FOptionsDialog.data()))
        dialog->StartSigningIn(account);
}

void TfrmMain::OpenAbout() {
    if (FAboutDialog && FAboutDialog->isVisible()) {
        FAboutDialog->raise();
        return;
    }
    auto* dialog = new TfrmAbout(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    FAboutDialog = dialog;
    dialog->show();
    CentreOnScreen(dialog);
}

void TfrmMain::SettingsChanged(const TSettingsChange& change) {
    bool skinLoaded = false;
    if (change.What & spSkin) {
        // A skin that does not load leaves the one shown as it was.
        const std::string failure = Skin().LoadSkin(Settings().Options().Skin);
        skinLoaded = failure.empty();
        if (!skinLoaded) {
            QWidget* parent = FOptionsDialog ? FOptionsDialog.data() : static_cast<QWidget*>(this);
            ShowMessageBox(parent, QString::fromStdString(failure), "Error", QMessageBox::Critical);
        }
    }
    if (change.What & (spSkin | spBar))
        ApplyOptions(skinLoaded);
    // The first-run prompt goes with the first account; colours follow an edit.
    else if (change.What & spAccounts)
        RepaintBar();
}

void TfrmMain::ApplyOptions(bool skinLoaded) {
    const TOptions& options = Settings().Options();
    tmrScrollDelay->setInterval(std::max(0, options.ScrollDelay));
    tmrScroll->setInterval(std::max(1, options.ScrollSpeed));
    // The menus read the skin as they draw, so only the height follows by hand.
    if (skinLoaded && Skin().Height > 0)
        setFixedHeight(Skin().Height);
    FDock->ApplyAutoHide(options.AutoHide, skinLoaded);
    ApplyTrayIcon();
    RepaintBar();
}

void TfrmMain::ApplyTrayIcon() {
    FTrayIcon->SetShown(TrayIconShown(Settings().Options().TrayIcon));
}

QRect TfrmMain::PromptRect(const TBarLayout& layout) const {
    if (!Settings().Accounts().empty())
        return {};
    int left = 0;
    for (const TBarElement* element :
         {&layout.MoveBar, &layout.MenuButton, &layout.ErrorButton, &layout.LeftDropdown})
        if (element->Shown)
            left = std::max(left, element->Left + element->Width);
    int right = width();
    for (const TBarElement* element : {&layout.RightDropdown, &layout.FirstArrow, &layout.LeftArrow,
                                       &layout.RightArrow, &layout.LastArrow, &layout.SizeBar})
        if (element->Shown && element->Left >= left)
            right = std::min(right, element->Left);
    return right > left ? QRect(left, 0, right - left, height()) : QRect();
}

void TfrmMain::PaintPrompt(QPainter& painter, const TBarLayout& layout) {
    const QRect area = PromptRect(layout).adjusted(8, 0, -8, 0);
    if (area.isEmpty())
        return;
    painter.setFont(Skin().Button.Font.Font);
    painter.setPen(SkinQColor(Skin().Button.Font.Color));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(PromptText, Qt::ElideRight, area.width()));
}
