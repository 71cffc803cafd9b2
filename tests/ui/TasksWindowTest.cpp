// The tasks window on its own: job rows and their mark, progress, the buttons.
#include "GuiTest.h"

#include "store/MessageStore.h"
#include "windows/FTasks.h"

#include <QApplication>
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

TEST_F(TasksWindow, OnlyTheRunningJobCarriesTheMarkAndTheNextTakesItOver) {
    TMessageStore store;
    TfrmTasks tasks(store);
    EXPECT_FALSE(tasks.cmdCancel->isEnabled());
    for (int msgNum : {1, 2, 3})
        store.AddTask(Retrieve(msgNum));
    ASSERT_EQ(tasks.lvTasks->topLevelItemCount(), 3);
    EXPECT_FALSE(tasks.lvTasks->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(tasks.lvTasks->topLevelItem(1)->icon(0).isNull());
    EXPECT_TRUE(tasks.cmdCancel->isEnabled());
    EXPECT_FALSE(tasks.cmdCancel->isHidden());
    store.NextTask();
    ASSERT_EQ(tasks.lvTasks->topLevelItemCount(), 2);
    EXPECT_EQ(tasks.lvTasks->topLevelItem(0)->text(0), "Retrieve email 2...");
    EXPECT_FALSE(tasks.lvTasks->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(tasks.lvTasks->topLevelItem(1)->icon(0).isNull());
    // A window opened later shows the queue as it is.
    TfrmTasks later(store);
    EXPECT_EQ(later.lvTasks->topLevelItemCount(), 2);
    store.NextTask();
    store.NextTask();
    EXPECT_FALSE(tasks.cmdCancel->isEnabled());
}

TEST_F(TasksWindow, ProgressMessagesMoveTheBarInArrivalOrder) {
    TMessageStore store;
    TfrmTasks tasks(store);
    emit store.ProgressChanged(500, 2000);
    emit store.ProgressChanged(1500, 2000);
    EXPECT_EQ(tasks.pbProgress->maximum(), 2000);
    EXPECT_EQ(tasks.pbProgress->value(), 1500);
    // Sizes beyond the bar's range still show the right share.
    emit store.ProgressChanged(3000000000LL, 6000000000LL);
    EXPECT_NEAR(double(tasks.pbProgress->value()) / tasks.pbProgress->maximum(), 0.5, 0.01);
}

TEST_F(TasksWindow, CloseClearsErrorsAndHidesWhileTheCloseBoxOnlyHides) {
    TMessageStore store;
    TfrmTasks tasks(store);
    int cleared = 0;
    QObject::connect(&store, &TMessageStore::ErrorsCleared, [&] { ++cleared; });
    store.AddError("Broken (Home)");
    tasks.ShowPage(1);
    EXPECT_TRUE(tasks.isVisible());
    EXPECT_EQ(tasks.pcTasks->currentIndex(), 1);
    EXPECT_TRUE(tasks.aniMail->Playing());
    tasks.close();
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_FALSE(tasks.aniMail->Playing());
    EXPECT_EQ(cleared, 0);
    EXPECT_EQ(tasks.lvErrors->topLevelItemCount(), 1);
    tasks.ShowPage(0);
    tasks.cmdClear->click();
    EXPECT_TRUE(tasks.isVisible());
    EXPECT_EQ(cleared, 1);
    store.AddError("Again");
    tasks.cmdClose->click();
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_EQ(cleared, 2);
    EXPECT_EQ(tasks.lvErrors->topLevelItemCount(), 0);
    // Escape is "Close" too.
    store.AddError("Third");
    tasks.ShowPage(1);
    QTest::keyClick(&tasks, Qt::Key_Escape);
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_EQ(cleared, 3);
    EXPECT_TRUE(store.Errors().empty());
    store.AddTask(Retrieve(1));
    tasks.cmdCancel->click();
    EXPECT_TRUE(store.Tasks().front().Cancelled);
}

// An error text with its cause and account is read whole: its row wraps.
TEST_F(TasksWindow, LongErrorTextWrapsInsteadOfBeingCut) {
    TMessageStore store;
    TfrmTasks tasks(store);
    tasks.ShowPage(1);
    store.AddError("Could not connect to the mail server! (Connection refused by the host at the "
                   "far end of a long road) (Home)");
    QTreeWidgetItem* row = tasks.lvErrors->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    QApplication::processEvents(); // the view lays its rows out later
    EXPECT_GE(tasks.lvErrors->visualItemRect(row).height(),
              2 * tasks.lvErrors->fontMetrics().height());
}
