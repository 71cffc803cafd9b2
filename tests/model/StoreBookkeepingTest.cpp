// Index bookkeeping of the message store and job queue, without windows.
#include "model/UStore.h"

#include <gtest/gtest.h>

namespace {

TButton Entry(int account, int msgNum, const std::string& uid) {
    TButton entry;
    entry.Account = account;
    entry.MsgNum = msgNum;
    entry.UID = uid;
    return entry;
}

TQBTaskInfo Job(uint8_t kind, int account, int msgNum = -1, int button = 0) {
    TQBTaskInfo task;
    task.Kind = kind;
    task.Account = account;
    task.MsgNum = msgNum;
    task.Button = button;
    return task;
}

// Five messages of account 0 numbered 1..5 and one of account 1.
TButtonArray FiveAndOne() {
    return {Entry(0, 1, "a"), Entry(0, 2, "b"), Entry(0, 3, "c"),
            Entry(0, 4, "d"), Entry(0, 5, "e"), Entry(1, 1, "x")};
}

} // namespace

TEST(StoreBookkeeping, RemovingAfterServerRemovalLowersLaterNumbersOfThatAccountOnly) {
    TButtonArray buttons = FiveAndOne();
    TTaskArray tasks;
    RemoveEntry(buttons, tasks, 1, true);
    ASSERT_EQ(buttons.size(), 5u);
    EXPECT_EQ(buttons[1].UID, "c");
    EXPECT_EQ(buttons[1].MsgNum, 2);
    EXPECT_EQ(buttons[3].MsgNum, 4);
    EXPECT_EQ(buttons[0].MsgNum, 1);
    EXPECT_EQ(buttons[4].MsgNum, 1); // other account untouched
}

// A check has renumbered the messages already; lowering them again would make two
// entries share a number, and a later removal would hit the wrong message.
TEST(StoreBookkeeping, RemovingWhatACheckFoundGoneKeepsTheCurrentNumbers) {
    TButtonArray buttons = FiveAndOne();
    // b vanished on the server: the check renumbered c, d, e to 2, 3, 4.
    buttons[2].MsgNum = 2;
    buttons[3].MsgNum = 3;
    buttons[4].MsgNum = 4;
    TTaskArray tasks;
    for (int index : MissingEntries(buttons, 0, MakeUIDSet({"a", "c", "d", "e"})))
        RemoveEntry(buttons, tasks, index, false);
    ASSERT_EQ(buttons.size(), 5u);
    EXPECT_EQ(buttons[1].UID, "c");
    EXPECT_EQ(buttons[1].MsgNum, 2);
    EXPECT_EQ(buttons[2].MsgNum, 3);
    EXPECT_EQ(buttons[3].MsgNum, 4);
}

TEST(StoreBookkeeping, MissingEntriesComeFromLastToFirstAndIgnoreCase) {
    TButtonArray buttons = FiveAndOne();
    EXPECT_EQ(MissingEntries(buttons, 0, MakeUIDSet({"A", "C", "E"})), (std::vector<int>{3, 1}));
    EXPECT_TRUE(MissingEntries(buttons, 1, MakeUIDSet({"X"})).empty());
}

TEST(StoreBookkeeping, RetrieveJobFollowsItsEntryAndLosesItWhenRemoved) {
    TButtonArray buttons = FiveAndOne();
    TTaskArray tasks{QueueTask(Job(tkRetrieve, 0, 4, 3), buttons),
                     QueueTask(Job(tkRetrieve, 0, 2, 1), buttons)};
    RemoveEntry(buttons, tasks, 0, true);
    EXPECT_EQ(tasks[0].Button, 2);
    EXPECT_EQ(tasks[1].Button, 0);
    RemoveEntry(buttons, tasks, 0, true);
    EXPECT_EQ(tasks[1].Button, -1);
    EXPECT_FALSE(ResolveTask(tasks[1], buttons));
    ASSERT_TRUE(ResolveTask(tasks[0], buttons));
    EXPECT_EQ(tasks[0].Button, 1);
    EXPECT_EQ(buttons[1].UID, "d");
    EXPECT_EQ(tasks[0].MsgNum, 2); // d moved from 4 to 2 after two removals
}

TEST(StoreBookkeeping, QueuedRemovalTakesCurrentNumbersWhenTakenUp) {
    TButtonArray buttons = FiveAndOne();
    TQBTaskInfo several = Job(tkRemoveSeveral, 0, 0);
    several.MsgNums = {"5", "3"};
    TTaskArray tasks{QueueTask(Job(tkRemove, 0, 2), buttons), QueueTask(several, buttons),
                     QueueTask(Job(tkRemove, 0, 4), buttons)};
    // The first job removes message 2 (b).
    RemoveEntry(buttons, tasks, 1, true);
    tasks.erase(tasks.begin());
    ASSERT_TRUE(ResolveTask(tasks[0], buttons));
    // c and e are now 2 and 4; the worker gets them ascending.
    EXPECT_EQ(tasks[0].MsgNums, (std::vector<std::string>{"2", "4"}));
    ASSERT_TRUE(ResolveTask(tasks[1], buttons));
    EXPECT_EQ(tasks[1].MsgNum, 3); // d
}

TEST(StoreBookkeeping, RemovalWhoseMessagesAreAllGoneHasNothingLeft) {
    TButtonArray buttons = FiveAndOne();
    TTaskArray tasks{QueueTask(Job(tkRemove, 0, 3), buttons)};
    RemoveEntry(buttons, tasks, 2, true);
    EXPECT_FALSE(ResolveTask(tasks[0], buttons));
}

TEST(StoreBookkeeping, RemovedAccountDropsQueuedJobsOrphansTheRunningOneAndLowersLaterIndices) {
    TButtonArray buttons = {Entry(0, 1, "a"), Entry(2, 1, "z")};
    TTaskArray tasks{QueueTask(Job(tkCheck, 1), buttons), QueueTask(Job(tkCheck, 2), buttons),
                     QueueTask(Job(tkCheck, 1), buttons), QueueTask(Job(tkCheck, 0), buttons)};
    int running = 1;
    const std::vector<int> dropped = AccountRemoved(buttons, tasks, 1, running);
    EXPECT_EQ(dropped, (std::vector<int>{2}));
    ASSERT_EQ(tasks.size(), 3u);
    EXPECT_EQ(tasks[0].Account, -1);
    EXPECT_EQ(tasks[1].Account, 1);
    EXPECT_EQ(tasks[2].Account, 0);
    EXPECT_EQ(running, -1);
    EXPECT_EQ(buttons[0].Account, 0);
    EXPECT_EQ(buttons[1].Account, 1);
    EXPECT_FALSE(ResolveTask(tasks[0], buttons));
}

TEST(StoreBookkeeping, CheckJobsAndCaptions) {
    TTaskArray tasks;
    EXPECT_FALSE(HasCheckTask(tasks));
    tasks.push_back(QueueTask(Job(tkRetrieve, 0, 7, 0), {}));
    EXPECT_FALSE(HasCheckTask(tasks));
    tasks.push_back(QueueTask(Job(tkCheck, 1), {}));
    EXPECT_TRUE(HasCheckTask(tasks));
    EXPECT_TRUE(HasCheckTaskFor(tasks, 1));
    EXPECT_FALSE(HasCheckTaskFor(tasks, 0));
    EXPECT_EQ(TaskCaption(Job(tkCheck, 0), "Home"), "Check email on 'Home'...");
    EXPECT_EQ(TaskCaption(Job(tkRetrieve, 0, 7), ""), "Retrieve email 7...");
    EXPECT_EQ(TaskCaption(Job(tkRemove, 0, 3), ""), "Remove email 3...");
    EXPECT_EQ(TaskCaption(Job(tkRemoveSeveral, 0, 0), ""), "Remove multiple messages...");
}

TEST(StoreBookkeeping, FindEntryPrefersTheHintAndStaysWithinTheAccount) {
    TButtonArray buttons = {Entry(0, 1, "same"), Entry(1, 1, "same"), Entry(0, 2, "b")};
    EXPECT_EQ(FindEntry(buttons, 0, "same"), 0);
    EXPECT_EQ(FindEntry(buttons, 1, "same"), 1);
    EXPECT_EQ(FindEntry(buttons, 0, "b", 2), 2);
    EXPECT_EQ(FindEntry(buttons, 0, "b", 0), 2);
    EXPECT_EQ(FindEntry(buttons, 0, "none", 7), -1);
}
