// The tasks window on its own: job rows and their mark, progress, the buttons.
#include "GuiTest.h"

#include "windows/FTasks.h"
#include "windows/WindowMessages.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

class TasksWindow : public TGuiTest {};

TEST_F(TasksWindow, OnlyTheRunningJobCarriesTheMarkAndTheNextTakesItOver) {
    TfrmTasks tasks;
    EXPECT_FALSE(tasks.cmdCancel->isEnabled());
    for (const char* caption : {"one", "two", "three"})
        tasks.AddTaskRow(caption);
    ASSERT_EQ(tasks.lvTasks->topLevelItemCount(), 3);
    EXPECT_FALSE(tasks.lvTasks->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(tasks.lvTasks->topLevelItem(1)->icon(0).isNull());
    EXPECT_TRUE(tasks.cmdCancel->isEnabled());
    EXPECT_FALSE(tasks.cmdCancel->isHidden());
    tasks.RemoveFirstTaskRow();
    ASSERT_EQ(tasks.lvTasks->topLevelItemCount(), 2);
    EXPECT_EQ(tasks.lvTasks->topLevelItem(0)->text(0), "two");
    EXPECT_FALSE(tasks.lvTasks->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(tasks.lvTasks->topLevelItem(1)->icon(0).isNull());
    tasks.RemoveFirstTaskRow();
    tasks.RemoveFirstTaskRow();
    EXPECT_FALSE(tasks.cmdCancel->isEnabled());
}

TEST_F(TasksWindow, ProgressMessagesMoveTheBarInArrivalOrder) {
    TfrmTasks tasks;
    QApplication::postEvent(&tasks, new TWindowMessage(WM_QB_PROGRESS, 500, 2000));
    QApplication::postEvent(&tasks, new TWindowMessage(WM_QB_PROGRESS, 1500, 2000));
    QApplication::processEvents();
    EXPECT_EQ(tasks.pbProgress->maximum(), 2000);
    EXPECT_EQ(tasks.pbProgress->value(), 1500);
    // Sizes beyond the bar's range still show the right share.
    QApplication::postEvent(&tasks, new TWindowMessage(WM_QB_PROGRESS, 3000000000LL, 6000000000LL));
    QApplication::processEvents();
    EXPECT_NEAR(double(tasks.pbProgress->value()) / tasks.pbProgress->maximum(), 0.5, 0.01);
}

TEST_F(TasksWindow, CloseClearsErrorsAndHidesWhileTheCloseBoxOnlyHides) {
    TfrmTasks tasks;
    int cleared = 0, cancelled = 0;
    tasks.OnClearErrors = [&] {
        ++cleared;
        tasks.ClearErrorRows();
    };
    tasks.OnCancelTask = [&] { ++cancelled; };
    tasks.AddErrorRow("Broken (Home)", "12:00:01");
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
    tasks.AddErrorRow("Again", "12:00:02");
    tasks.cmdClose->click();
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_EQ(cleared, 2);
    EXPECT_EQ(tasks.lvErrors->topLevelItemCount(), 0);
    // Escape is "Close" too.
    tasks.AddErrorRow("Third", "12:00:03");
    tasks.ShowPage(1);
    QTest::keyClick(&tasks, Qt::Key_Escape);
    EXPECT_FALSE(tasks.isVisible());
    EXPECT_EQ(cleared, 3);
    tasks.AddTaskRow("stuck");
    tasks.cmdCancel->click();
    EXPECT_EQ(cancelled, 1);
}
