// The tasks window on its own: job rows and their mark, the heading, progress, the buttons.
#include "GuiTest.h"

#include "store/MessageStore.h"
#include "windows/FTasks.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

TQBTaskInfo Retrieve(int msgNum) {
    TQBTaskInfo task;
    task.Kind = TJobKind::Retrieve;
    task.MsgNum = msgNum;
    return task;
}

} // namespace

// The store is not started: its jobs stay queued and the window follows its signals.
class TasksWindow : public TGuiTest {};

TEST_F(TasksWindow, OnlyTheRunningJobCarriesTheMarkAndTheHeadingSaysWhetherOneRuns) {
    TMessageStore store;
    TfrmTasks tasks(store);
    auto* lvTasks = Child<QTreeWidget>(tasks, "lvTasks");
    auto* cmdCancel = Child<QPushButton>(tasks, "cmdCancel");
    auto* lblTasks = Child<QLabel>(tasks, "lblTasks");
    EXPECT_FALSE(cmdCancel->isEnabled());
    EXPECT_EQ(lblTasks->text(), "No task is running.");
    for (int msgNum : {1, 2, 3})
        store.AddTask(Retrieve(msgNum));
    ASSERT_EQ(lvTasks->topLevelItemCount(), 3);
    EXPECT_EQ(lblTasks->text(), "Please wait while Quillbar performs the following tasks:");
    EXPECT_FALSE(lvTasks->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(lvTasks->topLevelItem(1)->icon(0).isNull());
    EXPECT_TRUE(cmdCancel->isEnabled());
    EXPECT_FALSE(cmdCancel->isHidden());
    store.NextTask();
    ASSERT_EQ(lvTasks->topLevelItemCount(), 2);
    EXPECT_EQ(lvTasks->topLevelItem(0)->text(0), "Retrieve email 2...");
    EXPECT_FALSE(lvTasks->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(lvTasks->topLevelItem(1)->icon(0).isNull());
    // A window opened later shows the queue as it is.
    TfrmTasks later(store);
    EXPECT_EQ(Child<QTreeWidget>(later, "lvTasks")->topLevelItemCount(), 2);
    store.NextTask();
    store.NextTask();
    EXPECT_FALSE(cmdCancel->isEnabled());
    EXPECT_EQ(lblTasks->text(), "No task is running.");
}

TEST_F(TasksWindow, ProgressMessagesMoveTheBarInArrivalOrder) {
    TMessageStore store;
    TfrmTasks tasks(store);
    auto* pbProgress = Child<QProgressBar>(tasks, "pbProgress");
    emit store.ProgressChanged(500, 2000);
    emit store.ProgressChanged(1500, 2000);
    EXPECT_EQ(pbProgress->maximum(), 2000);
    EXPECT_EQ(pbProgress->value(), 1500);
    // Sizes beyond the bar's range still show the right share.
    emit store.ProgressChanged(3000000000LL, 6000000000LL);
    EXPECT_NEAR(double(pbProgress->value()) / pbProgress->maximum(), 0.5, 0.01);
}

TEST_F(TasksWindow, CloseClearsErrorsAndHidesWhileTheCloseBoxOnlyHides) {
    TMessageStore store;
    TfrmTasks tasks(store);
    auto* lvErrors = Child<QTreeWidget>(tasks, "lvErrors");
    auto* aniMail = Child<TMailAnimation>(tasks, "aniMail");
    int cleared = 0;
    QObject::connect(&store, &TMessageStore::ErrorsCleared, [&] { ++cleared; });
    store.AddError("Broken (Home)");
    tasks.ShowPage(1);
    EXPECT_TRUE(tasks.isVisible());
    EXPECT_EQ(Child<QTabWidget>(tasks, "pcTasks")->currentIndex(), 1);
    EXPECT_TRUE(aniMail->Playing());
    tasks.close();
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_FALSE(aniMail->Playing());
    EXPECT_EQ(cleared, 0);
    EXPECT_EQ(lvErrors->topLevelItemCount(), 1);
    tasks.ShowPage(0);
    Child<QPushButton>(tasks, "cmdClear")->click();
    EXPECT_TRUE(tasks.isVisible());
    EXPECT_EQ(cleared, 1);
    store.AddError("Again");
    Child<QPushButton>(tasks, "cmdClose")->click();
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_EQ(cleared, 2);
    EXPECT_EQ(lvErrors->topLevelItemCount(), 0);
    // Escape is "Close" too.
    store.AddError("Third");
    tasks.ShowPage(1);
    QTest::keyClick(&tasks, Qt::Key_Escape);
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_EQ(cleared, 3);
    EXPECT_TRUE(store.Errors().empty());
    store.AddTask(Retrieve(1));
    Child<QPushButton>(tasks, "cmdCancel")->click();
    EXPECT_TRUE(store.Tasks().front().Cancelled);
}

// An error text with its cause and account is read whole: its row wraps.
TEST_F(TasksWindow, LongErrorTextWrapsInsteadOfBeingCut) {
    TMessageStore store;
    TfrmTasks tasks(store);
    auto* lvErrors = Child<QTreeWidget>(tasks, "lvErrors");
    tasks.ShowPage(1);
    store.AddError("Could not connect to the mail server! (Connection refused by the host at the "
                   "far end of a long road) (Home)");
    QTreeWidgetItem* row = lvErrors->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    QApplication::processEvents(); // the view lays its rows out later
    EXPECT_GE(lvErrors->visualItemRect(row).height(), 2 * lvErrors->fontMetrics().height());
}
