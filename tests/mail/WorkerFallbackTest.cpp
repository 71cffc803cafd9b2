// Tests of TQBThread against scripted servers that lack the optional commands UIDL or TOP.
#include "FakePOP3Server.h"
#include "WorkerHarness.h"
#include "core/MD5Hex.h"
#include "worker/MessageLocator.h"

#include <gtest/gtest.h>

using TTranscript = std::vector<std::string>;
using TAction = TFakePOP3Server::TAction;

namespace {

class WorkerFallbackTest : public ::testing::Test {
  protected:
    TFakePOP3Server A;
    TWorkerHarness H;

    void SetUp() override {
        A.SetLogin("user", "pass");
        A.AddMessage("abc", "Subject: first\r\nFrom: a@example.org\r\n\r\none\r\ntwo\r\nthree\r\n");
        A.AddMessage("def", "Subject: second\r\nFrom: b@example.org\r\n\r\nfour\r\n");
    }

    TQBTaskInfo& Add(TJobKind kind, int msgNum = -1) {
        TQBTaskInfo& task = H.Add(TWorkerHarness::Job(kind, A.Port(), 0, msgNum));
        if (msgNum > 0)
            task.Messages = {TWorkerHarness::Ref(msgNum)}; // keyed as the last check keyed it
        return task;
    }

    void Run() {
        H.RunAll([&] { return A.Idle(); });
    }
};

} // namespace

// Without UIDL, messages are keyed by their headers: a second check knows them again, the
// note says so once, and a retrieval finds its message by the header.
TEST_F(WorkerFallbackTest, ServerWithoutUIDLKeysMessagesByTheirHeaders) {
    A.Script("UIDL", TAction::Reply, "-ERR unknown command\r\n");
    Add(TJobKind::Check);
    Add(TJobKind::Check);
    Add(TJobKind::Retrieve, 2);
    Run();
    const std::string first = HeaderKey({"Subject: first", "From: a@example.org", ""});
    const std::string second = HeaderKey({"Subject: second", "From: b@example.org"});
    EXPECT_EQ(H.Only("message:"),
              (std::vector<std::string>{"message:1:" + first, "message:2:" + second, "message:2"}));
    EXPECT_EQ(H.Only("renumber:"),
              (std::vector<std::string>{"renumber:" + first + ":1", "renumber:" + second + ":2"}));
    EXPECT_EQ(H.Only("error:").size(), 1u);
    EXPECT_EQ(H.Only("checkdone"), (std::vector<std::string>{"checkdone", "checkdone"}));
    EXPECT_EQ(H.ServerLists[0], (TStringList{first, second}));
    EXPECT_EQ(H.Messages.back().front(), "Subject: second");
}

// Without TOP, the first refusal is followed by RETR; every later header and the first
// lines of a message to read come with RETR at once.
TEST_F(WorkerFallbackTest, ServerWithoutTOPGivesHeadersAndFirstLinesByRETR) {
    A.Script("TOP", TAction::Reply, "-ERR unknown command\r\n");
    Add(TJobKind::Check);
    Add(TJobKind::Retrieve, 1);
    H.Worker->MaxSize = 10;
    H.SizeAnswer = TSizeAnswer::FirstLines;
    Run();
    EXPECT_EQ(A.Sessions(), (std::vector<TTranscript>{{"USER user", "PASS pass", "CAPA", "UIDL",
                                                       "LIST", "TOP 1 0", "RETR 1", "RETR 2",
                                                       "UIDL 1", "LIST 1", "RETR 1", "QUIT"}}));
    EXPECT_TRUE(H.Only("error:").empty());
    ASSERT_EQ(H.Messages.size(), 3u);
    EXPECT_EQ(H.Messages[0], (TStringList{"Subject: first", "From: a@example.org", ""}));
    EXPECT_EQ(H.Messages[1].front(), "Subject: second");
    EXPECT_EQ(H.Messages[2],
              (TStringList{"Subject: first", "From: a@example.org", "", "one", "two"}));
}
