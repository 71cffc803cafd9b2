// Bookkeeping of the message store and job queue, without windows.
#include "model/StoreRecords.h"

#include <gtest/gtest.h>

namespace {

TEntry Entry(int account, int msgNum, const std::string& uid) {
    static unsigned long long last = 0;
    TEntry entry;
    entry.Id = TEntryId(++last);
    entry.Account = account;
    entry.MsgNum = msgNum;
    entry.UID = uid;
    return entry;
}

TQBTaskInfo Job(TJobKind kind, int account, int msgNum = -1) {
    TQBTaskInfo task;
    task.Kind = kind;
    task.Account = account;
    task.MsgNum = msgNum;
    return task;
}

// Five messages of account 0 numbered 1..5 and one of account 1.
TEntryArray FiveAndOne() {
    return {Entry(0, 1, "a"), Entry(0, 2, "b"), Entry(0, 3, "c"),
            Entry(0, 4, "d"), Entry(0, 5, "e"), Entry(1, 1, "x")};
}

} // namespace

TEST(StoreBookkeeping, RemovingAfterServerRemovalLowersLaterNumbersOfThatAccountOnly) {
    TEntryArray buttons = FiveAndOne();
    RemoveEntry(buttons, 1, true);
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
    TEntryArray buttons = FiveAndOne();
    // b vanished on the server: the check renumbered c, d, e to 2, 3, 4.
    buttons[2].MsgNum = 2;
    buttons[3].MsgNum = 3;
    buttons[4].MsgNum = 4;
    for (int index : MissingEntries(buttons, 0, {"a", "c", "d", "e"}))
        RemoveEntry(buttons, index, false);
    ASSERT_EQ(buttons.size(), 5u);
    EXPECT_EQ(buttons[1].UID, "c");
    EXPECT_EQ(buttons[1].MsgNum, 2);
    EXPECT_EQ(buttons[2].MsgNum, 3);
    EXPECT_EQ(buttons[3].MsgNum, 4);
}

TEST(StoreBookkeeping, MissingEntriesComeFromLastToFirstAndIgnoreCase) {
    TEntryArray buttons = FiveAndOne();
    EXPECT_EQ(MissingEntries(buttons, 0, {"A", "C", "E"}), (std::vector<int>{3, 1}));
    EXPECT_TRUE(MissingEntries(buttons, 1, {"X"}).empty());
}

TEST(StoreBookkeeping, QueuedJobsNameTheirEntriesAndTakeKeysAndNumbersWhenTakenUp) {
    TEntryArray buttons = FiveAndOne();
    buttons[4].UID = "c"; // a faulty server gave e the key of c
    TTaskArray tasks{QueueTask(Job(TJobKind::Retrieve, 0, 4), {buttons[3].Id}),
                     QueueTask(Job(TJobKind::RemoveSeveral, 0, 0), {buttons[4].Id, buttons[2].Id}),
                     QueueTask(Job(TJobKind::Remove, 0, 2), {buttons[1].Id})};
    // a and b leave the server; entries move, jobs keep naming the same messages.
    RemoveEntry(buttons, 1, true);
    RemoveEntry(buttons, 0, true);
    ASSERT_TRUE(ResolveTask(tasks[0], buttons));
    ASSERT_EQ(tasks[0].Messages.size(), 1u);
    EXPECT_EQ(tasks[0].Messages[0].UID, "d");
    EXPECT_EQ(tasks[0].MsgNum, 2); // d moved from 4 to 2
    ASSERT_TRUE(ResolveTask(tasks[1], buttons));
    // Ascending by number, each with which of the two entries keyed "c" it is.
    ASSERT_EQ(tasks[1].Messages.size(), 2u);
    EXPECT_EQ(tasks[1].Messages[0].Number, 1);
    EXPECT_EQ(tasks[1].Messages[0].Occurrence, 0);
    EXPECT_EQ(tasks[1].Messages[1].Number, 3);
    EXPECT_EQ(tasks[1].Messages[1].Occurrence, 1);
    EXPECT_EQ(tasks[1].Messages[1].Count, 2);
    EXPECT_EQ(tasks[1].Entries[1], buttons[2].Id);
    // The removal of b has nothing left to do.
    EXPECT_FALSE(ResolveTask(tasks[2], buttons));
}

TEST(StoreBookkeeping, RemovedAccountDropsQueuedJobsOrphansTheRunningOneAndLowersLaterIndices) {
    TEntryArray buttons = {Entry(0, 1, "a"), Entry(2, 1, "z")};
    TTaskArray tasks{QueueTask(Job(TJobKind::Check, 1)), QueueTask(Job(TJobKind::Check, 2)),
                     QueueTask(Job(TJobKind::Check, 1)), QueueTask(Job(TJobKind::Check, 0))};
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
    tasks.push_back(QueueTask(Job(TJobKind::Retrieve, 0, 7)));
    EXPECT_FALSE(HasCheckTask(tasks));
    tasks.push_back(QueueTask(Job(TJobKind::Check, 1)));
    EXPECT_TRUE(HasCheckTask(tasks));
    EXPECT_TRUE(HasCheckTaskFor(tasks, 1));
    EXPECT_FALSE(HasCheckTaskFor(tasks, 0));
    EXPECT_EQ(TaskCaption(Job(TJobKind::Check, 0), "Home"), "Check email on 'Home'...");
    EXPECT_EQ(TaskCaption(Job(TJobKind::Retrieve, 0, 7), ""), "Retrieve email 7...");
    EXPECT_EQ(TaskCaption(Job(TJobKind::Remove, 0, 3), ""), "Remove email 3...");
    EXPECT_EQ(TaskCaption(Job(TJobKind::RemoveSeveral, 0, 0), ""), "Remove multiple messages...");
}

TEST(StoreBookkeeping, FindEntryPrefersTheHintAndStaysWithinTheAccount) {
    TEntryArray buttons = {Entry(0, 1, "same"), Entry(1, 1, "same"), Entry(0, 2, "b")};
    EXPECT_EQ(FindEntry(buttons, 0, "same"), 0);
    EXPECT_EQ(FindEntry(buttons, 1, "same"), 1);
    EXPECT_EQ(FindEntry(buttons, 0, "b", 2), 2);
    EXPECT_EQ(FindEntry(buttons, 0, "b", 0), 2);
    EXPECT_EQ(FindEntry(buttons, 0, "none", 7), -1);
}
