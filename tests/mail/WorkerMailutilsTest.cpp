// TQBThread against a second real POP3 server, GNU mailutils' pop3d: a check, a retrieval, a
// removal and the check after it.
#include "MailutilsServer.h"
#include "WorkerHarness.h"

#include <gtest/gtest.h>

TEST(WorkerMailutils, CheckReadDeleteAndCheckAgain) {
    if (!TMailutilsServer::Unavailable().empty())
        GTEST_SKIP() << TMailutilsServer::Unavailable();
    TMailutilsServer server(3);
    TWorkerHarness h;
    auto add = [&](TJobKind kind, int msgNum = -1) {
        TQBTaskInfo task = TWorkerHarness::Job(kind, server.Port(), 0, msgNum);
        task.Server.User = TMailutilsServer::User();
        task.Server.Pass = TMailutilsServer::Password();
        if (msgNum > 0)
            task.Messages = {TWorkerHarness::Ref(msgNum)};
        h.Add(task);
    };
    add(TJobKind::Check);
    add(TJobKind::Retrieve, 2);
    add(TJobKind::Remove, 1);
    add(TJobKind::Check);
    h.Start();
    ASSERT_TRUE(h.RunJobs());
    h.Finish();
    EXPECT_TRUE(h.Only("error:").empty());
    const std::vector<std::string> messages = h.Only("message:");
    ASSERT_EQ(messages.size(), 4u); // three headers and the message read
    EXPECT_EQ(h.Only("removed:"), std::vector<std::string>{"removed:0"});
    ASSERT_EQ(h.Messages.size(), 4u);
    const TStringList& read = h.Messages[3];
    EXPECT_NE(std::find(read.begin(), read.end(), "Subject: Test message 2"), read.end());
    EXPECT_EQ(h.Only("renumber:").size(), 2u); // the two left, known from the first check
    EXPECT_EQ(h.ServerLists[0].size(), 2u);
}
