// Cancelling a stuck job from the tasks window: the job ends and the next one runs.
#include "GuiTest.h"

#include "FakePOP3Server.h"
#include "core/Settings.h"
#include "windows/FTasks.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

class Cancel : public TGuiTest {};

TEST_F(Cancel, StuckConnectEndsItsJobAndTheNextJobRuns) {
    TFakePOP3Server silent;
    silent.SetSilentGreeting(true);
    AddLoopbackAccount("Hung", silent.Port());
    TFakePOP3Server fine;
    fine.AddMessage("one", "Subject: Hello\r\n\r\nBody\r\n");
    AddLoopbackAccount("Fine", fine.Port());

    StartProgram();
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 0; }));
    EXPECT_EQ(Store->Tasks().size(), 2u);
    TasksWindow->ShowPage(0);
    ASSERT_TRUE(Child<QPushButton>(*TasksWindow, "cmdCancel")->isEnabled());
    Child<QPushButton>(*TasksWindow, "cmdCancel")->click();
    ASSERT_TRUE(WaitForJobs(20000));
    EXPECT_EQ(Store->Entries().size(), 1u);
    EXPECT_EQ(silent.Connections(), 1); // the cancelled job is not tried again
    EXPECT_TRUE(Store->Errors().empty());
}

// A cancelled job reports nothing more; its last status must not stay up as if it still ran.
TEST_F(Cancel, CancelledLastJobLeavesNoStatusBehind) {
    TFakePOP3Server silent;
    silent.SetSilentGreeting(true);
    AddLoopbackAccount("Hung", silent.Port());
    StartProgram();
    ASSERT_TRUE(WaitUntil([&] { return silent.Connections() > 0; }));
    TasksWindow->ShowPage(0);
    EXPECT_FALSE(Child<QLabel>(*TasksWindow, "lblStatus")->text().isEmpty());
    Child<QPushButton>(*TasksWindow, "cmdCancel")->click();
    ASSERT_TRUE(WaitForJobs(20000));
    EXPECT_EQ(Child<QLabel>(*TasksWindow, "lblStatus")->text(), "");
    EXPECT_FALSE(TasksWindow->isVisible());
}
