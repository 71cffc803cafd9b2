// GUI test base: the application on the offscreen platform and the real windows over
// the store of the store test base.
#include "GuiTest.h"

#include "platform/Sound.h"
#include "windows/MsgListModel.h"

#include <QApplication>
#include <QSortFilterProxyModel>
#include <QTreeView>

#include <cstdlib>

void TGuiTest::SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "qb_gui_tests";
    static char* argv[] = {name, nullptr};
    UseTestSettingsFolder();
    if (!QCoreApplication::instance()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv);
    }
    TStoreTest::SetUpTestSuite();
}

void TGuiTest::SetUp() {
    TStoreTest::SetUp();
    PlayedSounds.clear();
    SetSoundPlayer([this](const std::string& path) { PlayedSounds.push_back(path); });
}

void TGuiTest::TearDown() {
    TStoreTest::TearDown();
    SetSoundPlayer(nullptr);
}

void TGuiTest::StartProgram() {
    Store = std::make_unique<TMessageStore>();
    TasksWindow = std::make_unique<TfrmTasks>(*Store);
    Read = std::make_unique<TfrmRead>(*Store);
    List = std::make_unique<TfrmMsgList>(*Store);
    Main = std::make_unique<TfrmMain>(*Store);
    Main->SetMessageList(List.get());
    Store->Start();
}

void TGuiTest::StopProgram() {
    if (Store)
        Store->Shutdown();
    Main.reset();
    List.reset();
    Read.reset();
    TasksWindow.reset();
    Store.reset();
}

QString TGuiTest::Cell(int row, int column) const {
    List->RowCount(); // puts waiting entries into the model
    return Child<QTreeView>(*List, "lvMessages")->model()->index(row, column).data().toString();
}

bool TGuiTest::RowRead(int row) const {
    List->RowCount();
    return Child<QTreeView>(*List, "lvMessages")
        ->model()
        ->index(row, 0)
        .data(TMsgListModel::ReadRole)
        .toBool();
}

int TGuiTest::RowOfEntry(int entry) const {
    List->RowCount();
    const auto* proxy =
        static_cast<const QSortFilterProxyModel*>(Child<QTreeView>(*List, "lvMessages")->model());
    const QModelIndex shown = proxy->mapFromSource(proxy->sourceModel()->index(entry, 0));
    return shown.isValid() ? shown.row() : -1;
}
