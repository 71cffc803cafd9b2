// The bar's two menus, drawn in the skin's colours, and their commands.
#include "bar/BarDock.h"
#include "bar/FMain.h"

#include "core/UGlobal.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "skin/SkinMenuStyle.h"
#include "skin/USkin.h"
#include "store/MessageStore.h"
#include "windows/UAccountMenu.h"
#include "windows/UDeleteQuestion.h"

#include <QCoreApplication>
#include <QMenu>

namespace {

const char* const UpdaterName = "norvaneupdate";
const char* const HelpFileName = "quillbar.html";

} // namespace

void TfrmMain::CreateMenus() {
    FMenuStyle = std::make_unique<TSkinMenuStyle>(&Skin);
    auto styled = [this](QMenu* menu, const char* name) {
        menu->setObjectName(name);
        menu->setStyle(FMenuStyle.get());
        return menu;
    };
    auto item = [](QMenu* menu, const QString& caption, const char* name) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    mnuMain = styled(new QMenu(this), "mnuMain");
    mnuMainCompose = item(mnuMain, "&Compose email", "mnuMainCompose");
    mnuMainAddresses = item(mnuMain, "&Address Book", "mnuMainAddresses");
    mnuMainMsgList = item(mnuMain, "&Message List", "mnuMainMsgList");
    mnuMain->addSeparator();
    mnuMainCheckNow = styled(new QMenu("Check email &now...", mnuMain), "mnuMainCheckNow");
    mnuMain->addMenu(mnuMainCheckNow);
    mnuMainOptions = item(mnuMain, "&Options", "mnuMainOptions");
    mnuMain->addSeparator();
    mnuMainUpdate = item(mnuMain, "Check for &update...", "mnuMainUpdate");
    mnuMainAbout = item(mnuMain, "&About...", "mnuMainAbout");
    mnuMainHelp = item(mnuMain, "&Help", "mnuMainHelp");
    mnuMainExit = item(mnuMain, "E&xit", "mnuMainExit");
    // Nothing stands behind this yet.
    mnuMainAddresses->setEnabled(false);

    connect(mnuMainCompose, &QAction::triggered, this, [] { OpenUrl("mailto:"); });
    connect(mnuMainMsgList, &QAction::triggered, this, &TfrmMain::mnuMainMsgListClick);
    connect(mnuMainOptions, &QAction::triggered, this, [this] { OpenOptions(); });
    connect(mnuMainAbout, &QAction::triggered, this, &TfrmMain::OpenAbout);
    connect(mnuMainUpdate, &QAction::triggered, this, &TfrmMain::mnuMainUpdateClick);
    connect(mnuMainHelp, &QAction::triggered, this, [] {
        // A missing help file says nothing.
        OpenLocalFile(AppPath + "/" + HelpFileName);
    });
    connect(mnuMainExit, &QAction::triggered, this, &QWidget::close);
    BuildAccountMenus();

    mnuButton = styled(new QMenu(this), "mnuButton");
    Markasread1 = item(mnuButton, "&Mark as read", "Markasread1");
    Markallread1 = item(mnuButton, "Mar&k all read", "Markallread1");
    Delete1 = item(mnuButton, "&Delete", "Delete1");
    AntiSpam1 = item(mnuButton, "&Anti-Spam", "AntiSpam1");
    AntiSpam1->setEnabled(false);
    connect(Markasread1, &QAction::triggered, this, &TfrmMain::Markasread1Click);
    connect(Markallread1, &QAction::triggered, &Store, &TMessageStore::MarkAllRead);
    connect(Delete1, &QAction::triggered, this, &TfrmMain::Delete1Click);
}

void TfrmMain::BuildAccountMenus() {
    FillAccountMenu(mnuMainCheckNow, Store);
}

void TfrmMain::PopupMainMenu() {
    mnuMain->popup(mapToGlobal(QPoint(0, height())));
}

void TfrmMain::mnuMainMsgListClick() {
    if (!FList)
        return;
    Dock->Stick = true;
    ListShown = true;
    FList->show();
    FList->raise();
    Dock->Stick = false;
    update();
}

void TfrmMain::mnuMainUpdateClick() {
    if (ShowMessageBox(nullptr,
                       "This will temporarily shutdown Quillbar and check for any new updates, are "
                       "you sure you want to continue?",
                       "Check for update...", QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    // A missing updater says nothing; the program ends all the same, so that the
    // updater can replace it.
    StartDetached(AppPath + "/" + UpdaterName,
                  {QCoreApplication::applicationFilePath().toStdString()});
    close();
}

void TfrmMain::Markasread1Click() {
    const int index = Store.EntryOrGone(FMenuEntry);
    if (index >= 0)
        Store.MarkRead(index, true);
}

void TfrmMain::Delete1Click() {
    // The menu and the question leave the event loop running: a check may take the
    // entry away meanwhile.
    const TEntryId entry = FMenuEntry;
    if (Store.EntryOrGone(entry) >= 0 && ConfirmDelete(this, false))
        Store.DeleteMessage(entry);
}
