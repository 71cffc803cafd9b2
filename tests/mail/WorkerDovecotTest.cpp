// Tests of TQBThread against a real Dovecot: a check, retrieval and removal round, two
// accounts, APOP over STLS, a wrong password, pipelined checks; asserting on Dovecot's record
// and mailbox.
#include "DovecotServer.h"
#include "WorkerHarness.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <thread>

namespace {

class WorkerDovecotTest : public ::testing::Test {
  protected:
    static std::unique_ptr<TDovecotServer> Dovecot;
    TWorkerHarness H;

    static void SetUpTestSuite() {
        if (TDovecotServer::Unavailable().empty())
            Dovecot = std::make_unique<TDovecotServer>(0);
    }
    static void TearDownTestSuite() { Dovecot.reset(); }

    void SetUp() override {
        if (!Dovecot)
            GTEST_SKIP() << TDovecotServer::Unavailable();
        Dovecot->ClearCommands();
    }

    int NewUser(int messages, const std::string& settings = "") {
        int user = Dovecot->AddUser(settings);
        for (int n = 1; n <= messages; ++n)
            Dovecot->AddMessage(user, TDovecotServer::GenerateMessage(n));
        return user;
    }

    TQBTaskInfo& Add(TJobKind kind, int user, int msgNum = -1) {
        TQBTaskInfo task = TWorkerHarness::Job(kind, Dovecot->Port(), user, msgNum);
        task.Server.User = Dovecot->User(user);
        task.Server.Pass = Dovecot->Password(user);
        if (kind == TJobKind::Retrieve || kind == TJobKind::Remove)
            task.Messages = {TWorkerHarness::Ref(msgNum)};
        return H.Add(task);
    }

    // Runs the jobs and waits until Dovecot has seen the idle worker's QUIT.
    std::vector<std::string> Run(size_t quits) {
        H.Start();
        EXPECT_TRUE(H.RunJobs());
        std::vector<std::string> commands;
        H.Loop.RunUntil(
            [&] {
                commands = Dovecot->Commands();
                return static_cast<size_t>(std::count(commands.begin(), commands.end(), "QUIT")) >=
                       quits;
            },
            10000);
        H.Finish();
        return commands;
    }
};

std::unique_ptr<TDovecotServer> WorkerDovecotTest::Dovecot;

} // namespace

TEST_F(WorkerDovecotTest, CheckRetrieveAndRemoveOverOneSessionThenCheckAgain) {
    int user = NewUser(5);
    Add(TJobKind::Check, user);
    Add(TJobKind::Check, user);
    Add(TJobKind::Retrieve, user, 3);
    Add(TJobKind::RemoveSeveral, user, 0).Messages = TWorkerHarness::Refs({2, 4});
    Add(TJobKind::Check, user);
    std::vector<std::string> commands = Run(2);

    // First session, in order, up to the removal; then the second session's login and check.
    std::vector<std::string> first = {"USER " + Dovecot->User(user),
                                      "PASS " + Dovecot->Password(user),
                                      "CAPA",
                                      "UIDL",
                                      "TOP 1 0",
                                      "LIST 1",
                                      "TOP 2 0",
                                      "LIST 2",
                                      "TOP 3 0",
                                      "LIST 3",
                                      "TOP 4 0",
                                      "LIST 4",
                                      "TOP 5 0",
                                      "LIST 5",
                                      "UIDL",
                                      "LIST",
                                      "UIDL 3",
                                      "LIST 3",
                                      "RETR 3",
                                      "UIDL",
                                      "DELE 4",
                                      "DELE 2"};
    ASSERT_EQ(commands.size(), first.size() + 7);
    const auto firstEnd = commands.begin() + static_cast<ptrdiff_t>(first.size());
    EXPECT_EQ(std::vector<std::string>(commands.begin(), firstEnd), first);
    std::vector<std::string> rest(firstEnd, commands.end());
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest,
              (std::vector<std::string>{"CAPA", "LIST", "PASS " + Dovecot->Password(user), "QUIT",
                                        "QUIT", "UIDL", "USER " + Dovecot->User(user)}));
    std::cout << "Dovecot saw:";
    for (const std::string& command : commands)
        std::cout << " " << command << ";";
    std::cout << "\n";

    EXPECT_EQ(H.Only("message:").size(), 5u + 1u);
    EXPECT_EQ(H.Only("removed:"), (std::vector<std::string>{"removed:1", "removed:0"}));
    EXPECT_EQ(H.Only("renumber:").size(), 5u + 3u);
    ASSERT_EQ(H.Messages.size(), 6u);
    EXPECT_EQ(H.Messages[0][2], "Subject: Test message 1");
    std::string retrieved;
    for (const std::string& line : H.Messages[5])
        retrieved += line + "\r\n";
    EXPECT_EQ(retrieved, TDovecotServer::GenerateMessage(3));
    // After the removal the old 3 and 5 are numbers 2 and 3: known, only renumbered.
    std::vector<std::string> renumbers = H.Only("renumber:");
    EXPECT_EQ(renumbers[5].substr(renumbers[5].size() - 2), ":1");
    EXPECT_EQ(renumbers[7].substr(renumbers[7].size() - 2), ":3");
    EXPECT_EQ(H.ServerLists[user].size(), 3u);
    EXPECT_EQ(Dovecot->MessageCount(user), 3);
    EXPECT_TRUE(H.Only("error:").empty());
}

TEST_F(WorkerDovecotTest, TwoAccountsTwoSessions) {
    int first = NewUser(2), second = NewUser(3);
    Add(TJobKind::Check, first);
    Add(TJobKind::Check, second);
    Run(2);
    EXPECT_EQ(H.Only("checkdone").size(), 2u);
    EXPECT_EQ(H.ServerLists[first].size(), 2u);
    EXPECT_EQ(H.ServerLists[second].size(), 3u);
    std::string log = Dovecot->Log();
    EXPECT_NE(log.find("Login: user=<" + Dovecot->User(first) + ">"), std::string::npos);
    EXPECT_NE(log.find("Login: user=<" + Dovecot->User(second) + ">"), std::string::npos);
}

// A large check takes the later half of its headers from a second session of its own: every
// header still comes once, in the mailbox's order, each its own message's.
TEST_F(WorkerDovecotTest, LargeCheckSharesItsHeadersWithASecondSession) {
    const int user = NewUser(6);
    H.Worker->ParallelHeaderMinimum = 2;
    Add(TJobKind::Check, user);
    const std::vector<std::string> commands = Run(2);
    ASSERT_EQ(H.Messages.size(), 6u);
    for (size_t n = 0; n < 6; ++n)
        EXPECT_NE(std::find(H.Messages[n].begin(), H.Messages[n].end(),
                            "Subject: Test message " + std::to_string(n + 1)),
                  H.Messages[n].end());
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.ServerLists[user].size(), 6u);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "UIDL"), 2);
    for (int n = 1; n <= 6; ++n)
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "TOP " + std::to_string(n) + " 0"),
                  1)
            << n;
}

// A server that keeps one session at a time holds a second login (this one for ten seconds)
// before refusing it: the checks neither wait for it nor miss a header.
TEST_F(WorkerDovecotTest, ServerOfOneSessionAtATimeDoesNotHoldTheCheck) {
    const int user = NewUser(6, "userdb_pop3_lock_session=yes");
    H.Worker->ParallelHeaderMinimum = 2;
    Add(TJobKind::Check, user);
    Add(TJobKind::Check, user);
    const auto start = std::chrono::steady_clock::now();
    Run(1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_EQ(H.Messages.size(), 6u);
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.Only("checkdone"), (std::vector<std::string>{"checkdone", "checkdone"}));
}

TEST_F(WorkerDovecotTest, APOPCheck) {
    int user = NewUser(2);
    Add(TJobKind::Check, user).Server.APOP = true;
    std::vector<std::string> commands = Run(1);
    ASSERT_EQ(commands.size(), 8u);
    EXPECT_EQ(commands[0].substr(0, commands[0].rfind(' ')), "APOP " + Dovecot->User(user));
    EXPECT_EQ(std::vector<std::string>(commands.begin() + 1, commands.end()),
              (std::vector<std::string>{"CAPA", "UIDL", "TOP 1 0", "LIST 1", "TOP 2 0", "LIST 2",
                                        "QUIT"}));
    std::cout << "Dovecot saw:";
    for (const std::string& command : commands)
        std::cout << " " << command << ";";
    std::cout << "\n";
}

TEST_F(WorkerDovecotTest, APOPOverSTLSWithTheTestCA) {
    int user = NewUser(2);
    H.Worker->POP3.TLSCAFile = Dovecot->CAFile();
    TQBTaskInfo& task = Add(TJobKind::Check, user);
    task.Server.APOP = true;
    task.Server.TLS = TTLSMode::STLS;
    Run(1);
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.ServerLists[user].size(), 2u);
    EXPECT_NE(Dovecot->Log().find("Login: user=<" + Dovecot->User(user) + ">, method=APOP"),
              std::string::npos);
}

TEST_F(WorkerDovecotTest, ConnectErrorsNameTheirCause) {
    int user = NewUser(1);
    Add(TJobKind::Check, user).Server.Pass = "wrong";
    Add(TJobKind::Check, user).Server.TLS =
        TTLSMode::STLS; // no trusted CA given for the test certificate
    Run(1);             // the failed handshake leaves no session for a QUIT
    std::vector<std::string> errors = H.Only("error:");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "error:1:Could not connect to the mail server! ([AUTH] Authentication "
                         "failed)");
    EXPECT_EQ(errors[1].rfind("error:1:Could not connect to the mail server! (Certificate "
                              "verification failed: ",
                              0),
              0u)
        << errors[1];
    EXPECT_EQ(H.EndedJobs, (std::vector<int>{1, 2}));
}

TEST_F(WorkerDovecotTest, PipelinedChecksGiveTheEntriesAndCommandsOfOneAtATime) {
    const int count = 150; // more than two windows of TOP commands
    int user = NewUser(count);
    bool pipelined = false;
    TStringList known; // handed to the second check
    auto getJob = H.Worker->Events.GetJob;
    H.Worker->Events.GetJob = [&] {
        auto order = getJob();
        if (order && order->Task.Id == TJobId(2))
            order->ServerList = known;
        return order;
    };
    auto done = H.Worker->Events.CheckEnded;
    H.Worker->Events.CheckEnded = [&](TCheckEnded& check) {
        // The worker waits for this event: its session is still as the check left it.
        pipelined = H.Worker->POP3.Pipelining;
        done(check);
    };
    Add(TJobKind::Check, user);
    H.Start();
    ASSERT_TRUE(H.RunJobs());
    ASSERT_EQ(H.ServerLists[user].size(), static_cast<size_t>(count));
    // Every third message becomes new again: known and new ones alternate in the windows.
    const TStringList first = H.ServerLists[user];
    for (int n = 1; n <= count; ++n)
        if (n % 3 != 0)
            known.push_back(first[static_cast<size_t>(n - 1)]);
    Add(TJobKind::Check, user);
    std::vector<std::string> commands = Run(1);
    EXPECT_TRUE(pipelined);
    EXPECT_TRUE(H.Only("error:").empty());

    // Knowing nothing yet, the first check lists no sizes beforehand: each TOP's LIST gives them.
    std::vector<std::string> expected = {"USER " + Dovecot->User(user),
                                         "PASS " + Dovecot->Password(user), "CAPA", "UIDL"};
    // Each header is followed by its size, whose reply names the message it belongs to.
    auto header = [&](int n) {
        expected.push_back("TOP " + std::to_string(n) + " 0");
        expected.push_back("LIST " + std::to_string(n));
    };
    for (int n = 1; n <= count; ++n)
        header(n);
    expected.push_back("UIDL");
    expected.push_back("LIST");
    for (int n = 3; n <= count; n += 3)
        header(n);
    expected.push_back("QUIT");
    EXPECT_EQ(commands, expected);

    // Both checks' entries in list order: kind, number and UID.
    std::vector<std::string> entries, inOrder;
    for (const std::string& event : H.Events)
        if (event.rfind("message:", 0) == 0 || event.rfind("renumber:", 0) == 0)
            entries.push_back(event);
    for (int pass = 0; pass < 2; ++pass)
        for (int n = 1; n <= count; ++n) {
            const std::string& uid = first[static_cast<size_t>(n - 1)];
            inOrder.push_back(pass == 1 && n % 3 != 0 ? "renumber:" + uid + ":" + std::to_string(n)
                                                      : "message:" + std::to_string(n) + ":" + uid);
        }
    EXPECT_EQ(entries, inOrder);
    ASSERT_EQ(H.Messages.size(), static_cast<size_t>(count + count / 3));
    for (int n = 1; n <= count; ++n)
        EXPECT_EQ(H.Messages[static_cast<size_t>(n - 1)][2],
                  "Subject: Test message " + std::to_string(n));
    for (int i = 0; i < count / 3; ++i)
        EXPECT_EQ(H.Messages[static_cast<size_t>(count + i)][2],
                  "Subject: Test message " + std::to_string(3 * (i + 1)));
    EXPECT_EQ(H.ServerLists[user], first);
    EXPECT_EQ(H.Only("checkdone"), (std::vector<std::string>{"checkdone", "checkdone"}));
}
