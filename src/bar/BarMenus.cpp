// The bar's two menus, drawn in the skin's colours, and their commands.
#include "bar/BarMenus.h"

#include "core/Folders.h"
#include "dialogs/FAbout.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "skin/Skin.h"
#include "skin/SkinMenuStyle.h"
#include "store/MessageStore.h"
#include "windows/AccountMenu.h"
#include "windows/DeleteQuestion.h"

#include <QMenu>
#include <QWidget>

namespace {

QAction* Item(QMenu* menu, const QString& caption, const char* name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

} // namespace

TBarMenus::TBarMenus(QWidget& bar, TMessageStore& store)
    : QObject(&bar), FBar(bar), FStore(store),
      FMenuStyle(std::make_unique<TSkinMenuStyle>(Skin())) {
    setObjectName("BarMenus");
    auto styled = [this](QMenu* menu, const char* name) {
        menu->setObjectName(name);
        menu->setStyle(FMenuStyle.get());
        return menu;
    };
    mnuMain = styled(new QMenu(&bar), "mnuMain");
    mnuMainCompose = Item(mnuMain, "&Compose email", "mnuMainCompose");
    mnuMainAddresses = Item(mnuMain, "&Address Book", "mnuMainAddresses");
    mnuMainMsgList = Item(mnuMain, "&Message List", "mnuMainMsgList");
    mnuMainTasks = Item(mnuMain, "&Tasks and errors...", "mnuMainTasks");
    mnuMain->addSeparator();
    mnuMainCheckNow = styled(new QMenu("Check email &now...", mnuMain), "mnuMainCheckNow");
    mnuMain->addMenu(mnuMainCheckNow);
    mnuMainOptions = Item(mnuMain, "&Options", "mnuMainOptions");
    mnuMain->addSeparator();
    mnuMainUpdate = Item(mnuMain, "Check for &update...", "mnuMainUpdate");
    mnuMainAbout = Item(mnuMain, "&About...", "mnuMainAbout");
    mnuMainHelp = Item(mnuMain, "&Help", "mnuMainHelp");
    mnuMainExit = Item(mnuMain, "E&xit", "mnuMainExit");
    // Nothing stands behind this yet.
    mnuMainAddresses->setEnabled(false);

    connect(mnuMainCompose, &QAction::triggered, this, [] { OpenUrl("mailto:"); });
    connect(mnuMainMsgList, &QAction::triggered, this, &TBarMenus::MessageListWanted);
    connect(mnuMainTasks, &QAction::triggered, this, &TBarMenus::mnuMainTasksClick);
    connect(mnuMainOptions, &QAction::triggered, this, &TBarMenus::OptionsWanted);
    connect(mnuMainAbout, &QAction::triggered, this, &TBarMenus::AboutWanted);
    connect(mnuMainUpdate, &QAction::triggered, this, &TBarMenus::mnuMainUpdateClick);
    connect(mnuMainHelp, &QAction::triggered, this, [] {
        // A missing help file says nothing.
        OpenLocalFile(HelpFile());
    });
    connect(mnuMainExit, &QAction::triggered, &bar, &QWidget::close);
    TAccountActions::Of(store).Attach(mnuMainCheckNow);

    mnuButton = styled(new QMenu(&bar), "mnuButton");
    Markasread1 = Item(mnuButton, "&Mark as read", "Markasread1");
    Markallread1 = Item(mnuButton, "Mar&k all read", "Markallread1");
    Delete1 = Item(mnuButton, "&Delete", "Delete1");
    AntiSpam1 = Item(mnuButton, "&Anti-Spam", "AntiSpam1");
    AntiSpam1->setEnabled(false);
    connect(Markasread1, &QAction::triggered, this, &TBarMenus::Markasread1Click);
    connect(Markallread1, &QAction::triggered, &store, &TMessageStore::MarkAllRead);
    connect(Delete1, &QAction::triggered, this, &TBarMenus::Delete1Click);
}

TBarMenus::~TBarMenus() = default;

void TBarMenus::PopupMainMenu() {
    mnuMain->popup(FBar.mapToGlobal(QPoint(0, FBar.height())));
}

void TBarMenus::PopupEntryMenu(TEntryId entry, const QPoint& globalPos) {
    FMenuEntry = entry;
    FBar.activateWindow();
    mnuButton->popup(globalPos);
}

void TBarMenus::mnuMainUpdateClick() {
    // Updates come the way the program came; the program never replaces itself.
    const QString where = InstalledCopy()
                              ? "Updates come with your system's package updates."
                              : "This copy was built from source: updates come from the "
                                "project's source repository.";
    ShowMessageBox(nullptr, "Quillbar version " + TfrmAbout::VersionText() + ".\n\n" + where,
                   "Check for update...", QMessageBox::Information);
}

void TBarMenus::mnuMainTasksClick() {
    FStore.ShowTasks(FStore.Errors().empty() ? 0 : 1);
}

void TBarMenus::Markasread1Click() {
    const int index = FStore.EntryOrGone(FMenuEntry);
    if (index >= 0)
        FStore.MarkRead(index);
}

void TBarMenus::Delete1Click() {
    // The menu and the question leave the event loop running: a check may take the
    // entry away meanwhile.
    const TEntryId entry = FMenuEntry;
    if (FStore.EntryOrGone(entry) >= 0 && ConfirmDelete(&FBar, false))
        FStore.DeleteMessage(entry);
}
