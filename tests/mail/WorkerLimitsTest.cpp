// Tests of TQBThread's limits against scripted fake servers: silence, endless and
// over-long replies, unreadable headers, checks that end early.
#include "FakePOP3Server.h"
#include "TempDir.h"
#include "WorkerHarness.h"
#include "cache/CacheFiles.h"
#include "core/MD5Hex.h"

#include <algorithm>
#include <gtest/gtest.h>

using TAction = TFakePOP3Server::TAction;

namespace {

std::string Message(const std::string& subject) {
    return "Subject: " + subject + "\r\nFrom: a@example.org\r\n\r\nbody\r\n";
}

size_t BytesOf(const TStringList& lines) {
    size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size();
    return bytes;
}

TStringList UIDs(std::initializer_list<const char*> ids) {
    TStringList uids;
    for (const char* id : ids)
        uids.push_back(MD5Hex(id));
    return uids;
}

const std::string ListFailed = "error:0:Server error: Message list could not be retrieved!";

class WorkerLimitsTest : public ::testing::Test {
  protected:
    TFakePOP3Server A, B;
    TWorkerHarness H;

    void SetUp() override {
        for (TFakePOP3Server* server : {&A, &B}) {
            server->AddMessage("abc", Message("first"));
            server->AddMessage("def", Message("second"));
        }
    }

    // A retrieval or removal names the message the server holds at msgNum now.
    TQBTaskInfo& Add(TJobKind kind, TFakePOP3Server& server, int msgNum = -1) {
        TQBTaskInfo task = TWorkerHarness::Job(kind, server.Port(), &server == &A ? 0 : 1, msgNum);
        if (kind == TJobKind::Retrieve || kind == TJobKind::Remove)
            task.Messages = {TWorkerHarness::Ref(msgNum, server.UniqueIdAt(msgNum))};
        return H.Add(task);
    }

    void Run() {
        H.Start();
        ASSERT_TRUE(H.RunJobs());
        H.Finish();
    }
};

} // namespace

TEST_F(WorkerLimitsTest, SilenceInTheListOrAHeaderFailsTheCheckAndTheNextJobRuns) {
    H.Worker->SilenceLimit = 500;
    A.Script("UIDL", TAction::Silent);
    B.Script("TOP 2", TAction::Silent, "+OK\r\nSubject: par");
    Add(TJobKind::Check, A);
    Add(TJobKind::Check, B);
    Add(TJobKind::Retrieve, B, 1);
    Run();
    const std::string silence = " (Read timed out: the server sent nothing for 1 s)";
    EXPECT_EQ(H.Only("error:"),
              (std::vector<std::string>{ListFailed + silence, ListFailed + silence}));
    EXPECT_EQ(H.ServerLists[1], UIDs({"abc"})); // announced before the silence
    EXPECT_EQ(H.Only("message:").back(), "message:1");
}

TEST_F(WorkerLimitsTest, ServerSendingAByteAtATimeIsNotSilent) {
    // 22 bytes at 150 ms each: the reply takes three times the limit.
    TFakePOP3Server slow;
    slow.AddMessage("s", "Subject: s\r\n\r\nx\r\n");
    slow.Script("TOP", TAction::Slow);
    slow.SetBytePause(150);
    H.Worker->SilenceLimit = 1000;
    // Silence alone is at stake here: the reply's pace stays above this floor.
    H.Worker->POP3.MinReplyRate = 4;
    H.Add(TWorkerHarness::Job(TJobKind::Check, slow.Port(), 0));
    Run();
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.Only("checkdone"), std::vector<std::string>{"checkdone"});
    ASSERT_EQ(H.Messages.size(), 1u);
    EXPECT_EQ(H.Messages[0], (TStringList{"Subject: s", ""}));
}

TEST_F(WorkerLimitsTest, LongHeadersAreCutAndOneWithoutEndClosesTheConnection) {
    H.Worker->POP3.MaxHeaderBytes = 64 * 1024;
    H.Worker->POP3.MaxReplyBytes = 4 << 20;
    std::string longHeader = "Subject: long\r\n";
    for (int i = 0; i < 2000; ++i)
        longHeader += "X-Line: " + std::string(90, 'x') + "\r\n";
    A.AddMessage("long", longHeader + "\r\nbody\r\n");
    A.AddMessage("endless", Message("endless"));
    A.Script("TOP 4", TAction::Endless, "+OK\r\nSubject: endless\r\n",
             "X-Filler: " + std::string(90, 'f') + "\r\n");
    A.AddMessage("after", Message("after"));
    Add(TJobKind::Check, A);
    Add(TJobKind::Retrieve, A, 5);
    H.Start();
    ASSERT_TRUE(H.RunJobs());
    H.Finish();
    EXPECT_EQ(H.Only("message:"),
              (std::vector<std::string>{"message:1:" + MD5Hex("abc"), "message:2:" + MD5Hex("def"),
                                        "message:3:" + MD5Hex("long"),
                                        "message:4:" + MD5Hex("endless"), "message:5"}));
    ASSERT_EQ(H.Messages.size(), 5u);
    for (int cut : {2, 3}) {
        EXPECT_LE(BytesOf(H.Messages[cut]), 64u * 1024);
        EXPECT_GT(BytesOf(H.Messages[cut]), 60u * 1024);
    }
    EXPECT_EQ(H.Messages[2][0], "Subject: long");
    EXPECT_EQ(H.Messages[3][0], "Subject: endless");
    EXPECT_EQ(H.Only("error:"),
              (std::vector<std::string>{ListFailed + " (The header of message 4 did not end; the "
                                                     "connection was closed)"}));
    EXPECT_EQ(H.ServerLists[0], UIDs({"abc", "def", "long", "endless"}));
}

TEST_F(WorkerLimitsTest, EndlessListOrMessageFailsItsJobCleanly) {
    H.Worker->POP3.MaxListEntries = 10000;
    H.Worker->POP3.MaxReplyBytes = 1 << 20;
    H.ServerLists[0] = UIDs({"abc"});
    A.Script("UIDL", TAction::Endless, "+OK\r\n", "1 abc\r\n");
    B.Script("RETR 1", TAction::Endless, "+OK\r\n", std::string(98, 'r') + "\r\n");
    Add(TJobKind::Check, A);
    Add(TJobKind::Retrieve, B, 1);
    Add(TJobKind::Retrieve, B, 2);
    Run();
    EXPECT_EQ(
        H.Only("error:"),
        (std::vector<std::string>{
            ListFailed + " (More than 10000 entries in the list)",
            "error:1:Server error: Message could not be retrieved! (Reply longer than 1 MB)"}));
    EXPECT_EQ(H.Only("checkdone"), std::vector<std::string>{"checkdone:incomplete"});
    EXPECT_EQ(H.ServerLists[0], UIDs({"abc"}));
    EXPECT_EQ(H.Only("message:"), std::vector<std::string>{"message:2"});
}

// A line over the limit is cut, so the copy kept is not the whole message; downloading it in
// full again brings no more and says so again.
TEST_F(WorkerLimitsTest, MessageWithACutLineIsKeptAsIncompleteEveryTime) {
    TTempDir folder;
    A.AddMessage("wide", Message("wide") + std::string(20000, 'w') + "\r\nafter\r\n");
    for (int round = 0; round < 2; ++round) {
        TQBTaskInfo& task = Add(TJobKind::Retrieve, A, 3);
        task.CacheFile = folder.File("wide.dat");
        task.Full = round == 1;
    }
    const std::string cut = "error:0:Message 3: 1 line(s) longer than " +
                            std::to_string(H.Worker->POP3.MaxLineLength) +
                            " bytes cut to that length.";
    Run();
    EXPECT_EQ(H.Only("error:"), (std::vector<std::string>{cut, cut}));
    EXPECT_EQ(H.Wholes, (std::vector<bool>{false, false}));
    TCacheFile file;
    ASSERT_TRUE(ReadCacheFile(folder.File("wide.dat"), file));
    EXPECT_FALSE(file.Complete);
    EXPECT_NE(file.Text.find("\r\nafter\r\n"), std::string::npos);
    const auto commands = A.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR 3"), 2);
}

TEST_F(WorkerLimitsTest, UnreadableHeadersAreAnnouncedWithAStandInAndThePassGoesOn) {
    const std::string huge =
        "Subject: huge\r\nX-Big: " + std::string(10 << 20, 'h') + "\r\n\r\nb\r\n";
    A.AddMessage("huge", huge);
    A.AddMessage("four", Message("four"));
    A.AddMessage("refused", Message("refused"));
    A.Script("TOP 5", TAction::Reply, "-ERR no\x07 such message\r\n");
    A.AddMessage("six", Message("six"));
    std::vector<int> sizes;
    auto log = H.Worker->Events.Announced;
    H.Worker->Events.Announced = [&, log](TAnnounced& message) {
        sizes.push_back(message.Size);
        log(message);
    };
    Add(TJobKind::Check, A);
    Run();
    EXPECT_EQ(H.Only("message:").size(), 6u);
    EXPECT_EQ(H.Only("checkdone"), std::vector<std::string>{"checkdone"});
    const TStringList standIn = {"Subject: (header could not be read)", ""};
    ASSERT_EQ(H.Messages.size(), 6u);
    // A line far over the limit is cut: the header still shows.
    EXPECT_EQ(H.Messages[2][0], "Subject: huge");
    EXPECT_EQ(H.Messages[2][1], "X-Big: " + std::string(16384 - 7, 'h'));
    EXPECT_EQ(H.Messages[4], standIn);
    EXPECT_EQ(H.Messages[5][0], "Subject: six");
    // Every size comes from the listing; the hint shows it where the header failed.
    EXPECT_EQ(sizes, (std::vector<int>{static_cast<int>(Message("first").size()),
                                       static_cast<int>(Message("second").size()),
                                       static_cast<int>(huge.size()),
                                       static_cast<int>(Message("four").size()),
                                       static_cast<int>(Message("refused").size()),
                                       static_cast<int>(Message("six").size())}));
    EXPECT_EQ(
        H.Only("error:"),
        (std::vector<std::string>{
            "error:0:Server error: Header of message 5 could not be read! (no such message)"}));
    EXPECT_EQ(H.ServerLists[0].size(), 6u);
    EXPECT_EQ(A.Sessions().size(), 1u);
}

TEST_F(WorkerLimitsTest, CheckBrokenOffKeepsTheOldListPlusWhatItAnnounced) {
    H.ServerLists[0] = UIDs({"abc", "gone"});
    for (const char* id : {"m3", "m4", "m5"})
        A.AddMessage(id, Message(id));
    A.Script("TOP 5", TAction::Close, "+OK\r\nSubject: cut");
    Add(TJobKind::Check, A);
    Run();
    EXPECT_EQ(H.Only("checkdone"), std::vector<std::string>{"checkdone:incomplete"});
    EXPECT_EQ(H.ServerLists[0], UIDs({"abc", "gone", "def", "m3", "m4"}));
}
