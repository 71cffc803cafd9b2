// Tests of TQBThread's check against scripted servers that do and do not pipeline.
#include "FakePOP3Server.h"
#include "WorkerHarness.h"
#include "core/MD5Hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

using TTranscript = std::vector<std::string>;
using TAction = TFakePOP3Server::TAction;

namespace {

const TStringList PipeliningServer = {"TOP", "USER", "Pipelining", "UIDL"};

std::string Message(int n) {
    return "Subject: " + std::to_string(n) + "\r\nFrom: a@example.org\r\n\r\nbody\r\n";
}

std::string Id(int n) {
    return "m" + std::to_string(n);
}

// The UIDs of messages 1 to count.
TStringList FirstUIDs(int count) {
    TStringList uids;
    for (int n = 1; n <= count; ++n)
        uids.push_back(MD5Hex(Id(n)));
    return uids;
}

// Run with the announcements waited for and queued: both must give the same events.
class WorkerPipeliningTest : public ::testing::TestWithParam<bool> {
  protected:
    TFakePOP3Server A, B;
    TWorkerHarness H;

    WorkerPipeliningTest() {
        if (GetParam())
            H.QueueAnnouncements();
    }

    void Fill(TFakePOP3Server& server, int count) {
        for (int n = 1; n <= count; ++n)
            server.AddMessage(Id(n), Message(n));
    }

    // A retrieval or removal names the message the server holds at msgNum now.
    TQBTaskInfo& Add(TJobKind kind, TFakePOP3Server& server, int msgNum = -1) {
        TQBTaskInfo task = TWorkerHarness::Job(kind, server.Port(), &server == &A ? 0 : 1, msgNum);
        if (kind == TJobKind::Retrieve || kind == TJobKind::Remove)
            task.Messages = {TWorkerHarness::Ref(msgNum, server.UniqueIdAt(msgNum))};
        return H.Add(task);
    }

    void Run() {
        H.RunAll([&] { return A.Idle() && B.Idle(); });
    }

    // The check's per-message events, in order.
    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        for (const std::string& event : H.Events)
            if (event.rfind("message:", 0) == 0 || event.rfind("renumber:", 0) == 0 ||
                event.rfind("error:", 0) == 0)
                entries.push_back(event);
        return entries;
    }
};

} // namespace

TEST_P(WorkerPipeliningTest, BurstsAreReadInOrderWithFewCallsToTheMainThread) {
    const int count = 150;
    Fill(A, count);
    A.SetCapabilities(PipeliningServer);
    A.SetBurst(true);
    A.Script("TOP 71 ", TAction::Reply, "-ERR gone\r\n");
    for (int n = 5; n <= count; n += 5)
        H.ServerLists[0].push_back(MD5Hex(Id(n)));
    int standInSize = 0;
    auto log = H.Worker->Events.Announced;
    H.Worker->Events.Announced = [&](TAnnounced& message) {
        if (message.Number == 71)
            standInSize = message.Size;
        log(message);
    };
    Add(TJobKind::Check, A);
    Run();

    std::vector<std::string> expected;
    TTranscript commands = {"USER user", "PASS pass", "CAPA", "UIDL", "LIST"};
    for (int n = 1; n <= count; ++n) {
        if (n % 5 == 0) {
            expected.push_back("renumber:" + MD5Hex(Id(n)) + ":" + std::to_string(n));
            continue;
        }
        expected.push_back("message:" + std::to_string(n) + ":" + MD5Hex(Id(n)));
        if (n == 71)
            expected.push_back("error:0:Server error: Header of message 71 could not be read! "
                               "(gone)");
        commands.push_back("TOP " + std::to_string(n) + " 0");
        commands.push_back("LIST " + std::to_string(n));
    }
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(standInSize, static_cast<int>(Message(71).size()));
    ASSERT_EQ(H.Messages.size(), 120u);
    EXPECT_EQ(H.Messages[0][0], "Subject: 1");
    EXPECT_EQ(H.Messages[56][0], std::string("Subject: ") + UnreadableHeaderSubject);
    EXPECT_EQ(H.Messages.back()[0], "Subject: 149");
    EXPECT_EQ(H.Only("status:"),
              (std::vector<std::string>{"status:Connecting to 127.0.0.1...",
                                        "status:Retrieving message list...",
                                        "status:Retrieving message information...", "status:"}));
    EXPECT_EQ(H.Only("checkdone"), (std::vector<std::string>{"checkdone"}));
    EXPECT_EQ(H.ServerLists[0], FirstUIDs(count));

    // Each header with its size, whose reply names the message; the unreadable one's size
    // comes from there too.
    commands.push_back("QUIT");
    EXPECT_EQ(A.Commands(), commands);
    EXPECT_GT(A.Overlaps(), 0);
    // One call per window and per status rather than two per message.
    EXPECT_LT(H.Synchronized.load(), 20);
}

TEST_P(WorkerPipeliningTest, DropInTheMiddleOfAWindowKeepsWhatWasAnnounced) {
    Fill(A, 100);
    A.SetCapabilities(PipeliningServer);
    A.SetBurst(true);
    A.Script("TOP 80 ", TAction::Close, "+OK\r\nSubject: cu");
    Add(TJobKind::Check, A);
    Add(TJobKind::Retrieve, A, 2); // the worker goes on, over a new connection
    Run();
    std::vector<std::string> messages = H.Only("message:");
    ASSERT_EQ(messages.size(), 80u);
    EXPECT_EQ(messages[78], "message:79:" + MD5Hex(Id(79)));
    EXPECT_EQ(messages[79], "message:2");
    auto done = std::find(H.Events.begin(), H.Events.end(), "checkdone:incomplete");
    ASSERT_NE(done, H.Events.end());
    EXPECT_EQ(*(done + 1), "error:0:Server error: Message list could not be retrieved! "
                           "(Connection closed gracefully)");
    EXPECT_EQ(H.ServerLists[0], FirstUIDs(79));
    EXPECT_EQ(A.Connections(), 2);
}

TEST_P(WorkerPipeliningTest, WithoutPipeliningEachCommandWaitsForTheReplyBeforeIt) {
    // A answers CAPA with -ERR; B lists capabilities without PIPELINING.
    Fill(A, 5);
    Fill(B, 5);
    B.SetCapabilities({"TOP", "UIDL", "USER"});
    Add(TJobKind::Check, A);
    Add(TJobKind::Check, B);
    Add(TJobKind::Retrieve, B, 3);
    Run();
    TTranscript check = {"USER user", "PASS pass", "CAPA",    "UIDL",    "LIST", "TOP 1 0",
                         "TOP 2 0",   "TOP 3 0",   "TOP 4 0", "TOP 5 0", "QUIT"};
    EXPECT_EQ(A.Sessions(), std::vector<TTranscript>{check});
    check.insert(check.end() - 1, {"UIDL 3", "LIST 3", "RETR 3"});
    EXPECT_EQ(B.Sessions(), std::vector<TTranscript>{check});
    EXPECT_EQ(A.Overlaps(), 0);
    EXPECT_EQ(B.Overlaps(), 0);
    EXPECT_EQ(H.Only("message:").size(), 11u);
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.ServerLists[0], FirstUIDs(5));
    EXPECT_EQ(H.ServerLists[1], FirstUIDs(5));
}

TEST_P(WorkerPipeliningTest, CancelInTheMiddleOfAWindowEndsTheCheckAsBefore) {
    Fill(A, 100);
    Fill(B, 1);
    A.SetCapabilities(PipeliningServer);
    A.SetBurst(true);
    A.Script("TOP 80 ", TAction::Silent);
    Add(TJobKind::Check, A);
    Add(TJobKind::Retrieve, B, 1);
    H.Start();
    std::string last = "message:64:" + MD5Hex(Id(64));
    ASSERT_TRUE(H.Loop.RunUntil([&] { return !H.Only(last).empty(); }));
    H.Worker->Stop(); // the worker waits for TOP 80, with TOP 65 to 79 read
    ASSERT_TRUE(H.RunJobs());
    H.Finish();
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.Only("checkdone"), (std::vector<std::string>{"checkdone:incomplete"}));
    // What was read before the stall may have gone ahead of the window's end.
    std::vector<std::string> announced;
    for (const std::string& event : H.Only("message:"))
        if (event.find(':', 8) != std::string::npos)
            announced.push_back(event);
    ASSERT_GE(announced.size(), 64u);
    ASSERT_LT(announced.size(), 80u);
    EXPECT_EQ(announced.back(), "message:" + std::to_string(announced.size()) + ":" +
                                    MD5Hex(Id(static_cast<int>(announced.size()))));
    EXPECT_EQ(H.ServerLists[0], FirstUIDs(static_cast<int>(announced.size())));
    EXPECT_EQ(H.After("ended:1"), TWorkerHarness::SecondJobRetrievingMessage1());
}

TEST_P(WorkerPipeliningTest, FailingHandlerEndsTheCheckAfterTheEntriesBeforeIt) {
    Fill(A, 100);
    A.SetCapabilities(PipeliningServer);
    auto log = H.Worker->Events.Announced;
    H.Worker->Events.Announced = [&](TAnnounced& message) {
        if (message.Number == 30)
            throw std::runtime_error("no room");
        log(message);
    };
    Add(TJobKind::Check, A);
    Run();
    EXPECT_EQ(H.Only("message:").size(), 29u);
    EXPECT_EQ(H.Only("checkdone"), (std::vector<std::string>{"checkdone:incomplete"}));
    EXPECT_EQ(H.Only("error:"), (std::vector<std::string>{"error:0:Server error: Message list "
                                                          "could not be retrieved! (no room)"}));
    EXPECT_EQ(H.ServerLists[0], FirstUIDs(29));
}

// A server whose pipelined replies come out of order, go missing or come twice: what was
// read from there on is never announced as belonging to another message.
TEST_P(WorkerPipeliningTest, RepliesOutOfStepEndTheCheckBeforeAnyHeaderIsMisplaced) {
    auto top = [](int n) { return "+OK\r\nSubject: " + std::to_string(n) + "\r\n\r\n.\r\n"; };
    auto size = [](int n) { return "+OK " + std::to_string(n) + " 40\r\n"; };
    struct TFault {
        std::vector<std::pair<std::string, std::string>> Scripts;
        size_t Announced; // messages announced before the fault shows
    };
    const std::vector<TFault> faults = {
        {{{"TOP 2 ", top(3)}, {"LIST 2", size(3)}, {"TOP 3 ", top(2)}, {"LIST 3", size(2)}}, 1},
        {{{"TOP 2 ", ""}}, 1},
        {{{"TOP 2 ", top(2) + "+OK\r\n"}}, 1},
        {{{"TOP 2 ", top(2) + "junk\r\n"}}, 1},
        {{{"LIST 4", size(4) + size(4)}}, 4},
    };
    std::vector<std::unique_ptr<TFakePOP3Server>> servers;
    for (size_t account = 0; account < faults.size(); ++account) {
        servers.push_back(std::make_unique<TFakePOP3Server>());
        TFakePOP3Server& server = *servers.back();
        Fill(server, 4);
        server.SetCapabilities(PipeliningServer);
        server.SetBurst(true);
        for (const auto& [prefix, raw] : faults[account].Scripts)
            server.Script(prefix, TAction::Reply, raw);
        H.Add(TWorkerHarness::Job(TJobKind::Check, server.Port(), static_cast<int>(account)));
    }
    H.RunAll([&] {
        return std::all_of(servers.begin(), servers.end(), [](auto& s) { return s->Idle(); });
    });
    std::vector<std::string> expected;
    for (size_t account = 0; account < faults.size(); ++account) {
        for (size_t n = 1; n <= faults[account].Announced; ++n)
            expected.push_back("message:" + std::to_string(n) + ":" +
                               MD5Hex(Id(static_cast<int>(n))));
        expected.push_back("checkdone:incomplete");
        expected.push_back("error");
        EXPECT_EQ(H.ServerLists[static_cast<int>(account)],
                  FirstUIDs(static_cast<int>(faults[account].Announced)));
        // The session ends there: nothing more is sent on a stream out of step.
        EXPECT_EQ(servers[account]->Sessions()[0].back().rfind("LIST", 0), 0u);
    }
    std::vector<std::string> events;
    for (const std::string& event : H.Events) {
        if (event.rfind("error:", 0) == 0) {
            EXPECT_NE(event.find("out of step"), std::string::npos) << event;
            events.push_back("error");
        } else if (event.rfind("message:", 0) == 0 || event.rfind("checkdone", 0) == 0)
            events.push_back(event);
    }
    EXPECT_EQ(events, expected);
    // Each announced header is the message's own.
    std::vector<std::string> subjects, expectedSubjects;
    for (const TStringList& header : H.Messages)
        subjects.push_back(header[0]);
    for (const TFault& fault : faults)
        for (size_t n = 1; n <= fault.Announced; ++n)
            expectedSubjects.push_back("Subject: " + std::to_string(n));
    EXPECT_EQ(subjects, expectedSubjects);
}

INSTANTIATE_TEST_SUITE_P(WaitedAndQueued, WorkerPipeliningTest, ::testing::Bool());

TEST(WorkerCapabilityTest, UnansweredCAPALogsInAgainWithoutItAndNeverSendsItAgain) {
    TFakePOP3Server server;
    server.AddMessage("abc", Message(1));
    server.AddMessage("def", Message(2));
    server.Script("CAPA", TAction::Silent);
    TWorkerHarness h(500);
    h.Add(TWorkerHarness::Job(TJobKind::Check, server.Port(), 0));
    h.Add(TWorkerHarness::Job(TJobKind::Remove, server.Port(), 0, 1)).Messages =
        TWorkerHarness::Refs({1});
    h.Add(TWorkerHarness::Job(TJobKind::Check, server.Port(), 0));
    h.Start();
    ASSERT_TRUE(h.RunJobs());
    EXPECT_TRUE(h.Loop.RunUntil([&] { return server.Idle(); }));
    h.Finish();
    EXPECT_TRUE(h.Only("error:").empty());
    EXPECT_EQ(server.Sessions(),
              (std::vector<TTranscript>{{"USER user", "PASS pass", "CAPA"},
                                        {"USER user", "PASS pass", "UIDL", "LIST", "TOP 1 0",
                                         "TOP 2 0", "UIDL 1", "DELE 1", "QUIT"},
                                        {"USER user", "PASS pass", "UIDL", "LIST", "QUIT"}}));
    EXPECT_EQ(h.ServerLists[0], TStringList{MD5Hex("def")});
}

// A second session that stops answering its TOP commands once logged in does not hold the
// check: the worker waits for it a little beyond its pace, then reads its half itself.
TEST(WorkerSecondSessionTest, StalledSecondSessionLeavesItsHalfToTheWorker) {
    TFakePOP3Server server;
    for (int n = 1; n <= 4; ++n)
        server.AddMessage(Id(n), Message(n));
    server.SetCapabilities(PipeliningServer);
    server.SetConnectionResponder(
        [](size_t connection, const std::string& line) -> std::optional<std::string> {
            if (connection == 1 && line.rfind("TOP ", 0) == 0)
                return "";
            return std::nullopt;
        });
    TWorkerHarness h;
    h.Worker->ParallelHeaderMinimum = 2;
    h.Worker->HelperPatienceMs = 200;
    h.Add(TWorkerHarness::Job(TJobKind::Check, server.Port(), 0));
    h.RunAll([&] { return server.Idle(); });
    EXPECT_TRUE(h.Only("error:").empty());
    EXPECT_EQ(h.Only("checkdone"), std::vector<std::string>{"checkdone"});
    ASSERT_EQ(h.Messages.size(), 4u);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(h.Messages[static_cast<size_t>(n) - 1][0], "Subject: " + std::to_string(n));
    const std::vector<TTranscript> sessions = server.Sessions();
    ASSERT_EQ(sessions.size(), 2u);
    for (const char* top : {"TOP 3 0", "TOP 4 0"}) {
        EXPECT_EQ(std::count(sessions[0].begin(), sessions[0].end(), top), 1) << top;
        EXPECT_EQ(std::count(sessions[1].begin(), sessions[1].end(), top), 1) << top;
    }
}
