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
    auto add = [&](uint8_t kind, int msgNum = -1) {
        TQBTaskInfo task = TWorkerHarness::Job(kind, server.Port(), 0, msgNum);
        task.User = TMailutilsServer::User();
        task.Pass = TMailutilsServer::Password();
        if (msgNum > 0)
            task.Messages = {TWorkerHarness::Ref(msgNum)};
        h.Add(task);
    };
    add(tkCheck);
    add(tkRetrieve, 2);
    add(tkRemove, 1);
    add(tkCheck);
    h.Start();
    ASSERT_TRUE(h.RunJobs());
    h.Finish();
    EXPECT_TRUE(h.Only("error:").empty());
    const std::vector<std::string> messages = h.Only("message:");
    ASSERT_EQ(messages.size(), 5u); // three headers, the message read, the one removed
    ASSERT_EQ(h.Messages.size(), 4u);
    const TStringList& read = h.Messages[3];
    EXPECT_NE(std::find(read.begin(), read.end(), "Subject: Test message 2"), read.end());
    EXPECT_EQ(h.Only("renumber:").size(), 2u); // the two left, known from the first check
    EXPECT_EQ(h.ServerLists[0].size(), 2u);
}
