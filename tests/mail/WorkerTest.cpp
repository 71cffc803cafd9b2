// Tests of TQBThread against scripted fake servers: job kinds, sessions, events and mends.
#include "FakePOP3Server.h"
#include "LoopbackSocket.h"
#include "WorkerHarness.h"
#include "core/MD5Hex.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

using TTranscript = std::vector<std::string>;
using TAction = TFakePOP3Server::TAction;

namespace {

// A message with about bodyBytes of body in lines of 100 characters.
std::string Message(const std::string& subject, size_t bodyBytes = 20) {
    std::string text = "Subject: " + subject + "\r\nFrom: a@example.org\r\n\r\n";
    for (size_t done = 0; done < bodyBytes; done += 100)
        text += std::string(98, 'x') + "\r\n";
    return text + "last line\r\n";
}

class WorkerTest : public ::testing::Test {
  protected:
    TFakePOP3Server A, B;
    TWorkerHarness H;

    void SetUp() override {
        for (TFakePOP3Server* server : {&A, &B}) {
            server->SetLogin("user", "pass");
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

    // Removes message 1 on a server slow to make its deletions, then fetches the second
    // message, which the store numbers 1 by then.
    void RemoveFirstThenRetrieveTheNewFirst() {
        A.SetQuitDelay(300);
        Add(TJobKind::Remove, A, 1);
        Add(TJobKind::Retrieve, A, 1).Messages = {TWorkerHarness::Ref(1, "def")};
        Run();
    }

    // Runs the queued jobs, lets the idle worker end its session, and stops it.
    void Run() {
        H.RunAll([&] { return A.Idle() && B.Idle(); });
    }
};

} // namespace

TEST_F(WorkerTest, CheckReportsKnownAndNewMessagesThenRetrieveReusesTheSession) {
    H.ServerLists[0] = {MD5Hex("abc")};
    Add(TJobKind::Check, A);
    Add(TJobKind::Retrieve, A, 2);
    Run();
    EXPECT_EQ(A.Sessions(),
              (std::vector<TTranscript>{{"USER user", "PASS pass", "CAPA", "UIDL", "LIST",
                                         "TOP 2 0", "UIDL 2", "LIST 2", "RETR 2", "QUIT"}}));
    EXPECT_EQ(H.Events, (std::vector<std::string>{
                            "status:Connecting to 127.0.0.1...",
                            "status:Retrieving message list...",
                            "renumber:" + MD5Hex("abc") + ":1",
                            "status:Retrieving message information...",
                            "message:2:" + MD5Hex("def"),
                            "checkdone",
                            "status:",
                            "ended:1",
                            "status:Retrieving message size...",
                            "status:Retrieving message...",
                            "message:2",
                            "status:",
                            "ended:2",
                        }));
    EXPECT_EQ(H.ServerLists[0], (TStringList{MD5Hex("abc"), MD5Hex("def")}));
    ASSERT_EQ(H.Messages.size(), 2u);
    EXPECT_EQ(H.Messages[0], (TStringList{"Subject: second", "From: a@example.org", ""}));
    EXPECT_EQ(H.Messages[1].back(), "last line");
    // Progress of the retrieval: bytes so far against the size from LIST.
    ASSERT_FALSE(H.Progress.empty());
    EXPECT_EQ(H.Progress.back().second, static_cast<int64_t>(Message("second").size()));
}

TEST_F(WorkerTest, AJobQueuedWhileTheWorkerSleepsWakesIt) {
    H.Start();
    ASSERT_TRUE(H.Loop.RunUntil([&] { return H.Worker->Idle(); }));
    Add(TJobKind::Check, A);
    Run();
    EXPECT_EQ(H.Only("checkdone").size(), 1u);
}

TEST_F(WorkerTest, AnotherAccountOrChangedLoginGetsANewSession) {
    Add(TJobKind::Check, A);
    Add(TJobKind::Check, B);
    Add(TJobKind::Check, B).Server.APOP = true;
    Add(TJobKind::Check, B).Server.Pass = "changed";
    Add(TJobKind::Check, B).Server.TLS = TTLSMode::STLS;
    Run();
    EXPECT_EQ(A.Sessions().size(), 1u);
    auto b = B.Sessions();
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0][0], "USER user");
    EXPECT_EQ(b[0].back(), "QUIT");
    EXPECT_EQ(b[1][0].substr(0, 10), "APOP user ");
    EXPECT_EQ(b[2], (TTranscript{"USER user", "PASS changed", "QUIT"}));
    // STLS refused: the job fails without a password sent in clear.
    EXPECT_EQ(b[3], (TTranscript{"STLS", "QUIT"}));
    EXPECT_EQ(H.Only("error:"),
              (std::vector<std::string>{
                  "error:1:Could not connect to the mail server! ([AUTH] Authentication failed)",
                  "error:1:Could not connect to the mail server! (The server refused STLS, which "
                  "the account asks for: Unknown command: STLS)"}));
    EXPECT_EQ(H.EndedJobs, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(WorkerTest, UniqueIdsAreHashedAsSentCaseIncluded) {
    A.AddMessage("ABC", Message("third"));
    H.ServerLists[0] = {MD5Hex("abc")};
    Add(TJobKind::Check, A);
    Run();
    EXPECT_NE(MD5Hex("abc"), MD5Hex("ABC"));
    EXPECT_EQ(H.Only("message:"), (std::vector<std::string>{"message:2:" + MD5Hex("def"),
                                                            "message:3:" + MD5Hex("ABC")}));
    EXPECT_EQ(H.ServerLists[0], (TStringList{MD5Hex("abc"), MD5Hex("def"), MD5Hex("ABC")}));
}

TEST_F(WorkerTest, SizeWarningAnswersDecideWhatIsFetched) {
    A.AddMessage("big", Message("big", 30000));
    int size = static_cast<int>(Message("big", 30000).size());
    H.Worker->MaxSize = 20000;
    H.SizeAnswer = TSizeAnswer::FirstLines;
    Add(TJobKind::Retrieve, A, 3);
    H.Start();
    ASSERT_TRUE(H.RunJobs());
    H.SizeAnswer = TSizeAnswer::Cancel;
    Add(TJobKind::Retrieve, A, 3);
    ASSERT_TRUE(H.RunJobs());
    H.SizeAnswer = TSizeAnswer::Whole;
    Add(TJobKind::Retrieve, A, 3);
    ASSERT_TRUE(H.RunJobs());
    H.Worker->MaxSize = -1;
    Add(TJobKind::Retrieve, A, 3);
    ASSERT_TRUE(H.RunJobs());
    // A negative line count, as an edited settings file may hold, never reaches the server.
    H.Worker->MaxSize = 20000;
    H.Worker->MaxLines = -5;
    H.SizeAnswer = TSizeAnswer::FirstLines;
    Add(TJobKind::Retrieve, A, 3);
    ASSERT_TRUE(H.RunJobs());
    H.Finish();
    std::string warning = "sizewarning:" + std::to_string(size);
    EXPECT_EQ(H.Only("sizewarning:"),
              (std::vector<std::string>{warning, warning, warning, warning}));
    EXPECT_EQ(H.Only("message:").size(), 4u) << testing::PrintToString(H.Events);
    TTranscript commands = A.Commands();
    TTranscript fetches;
    for (const std::string& command : commands)
        if (command.rfind("RETR", 0) == 0 || command.rfind("TOP", 0) == 0)
            fetches.push_back(command);
    EXPECT_EQ(fetches, (TTranscript{"TOP 3 2", "RETR 3", "RETR 3", "TOP 3 0"}));
    ASSERT_FALSE(H.Messages.empty());
    EXPECT_EQ(H.Messages[0].size(), 5u); // header, blank line and two body lines
}

TEST_F(WorkerTest, RemoveSeveralDeletesFromTheLastAndEndsTheSession) {
    for (int n = 3; n <= 9; ++n)
        A.AddMessage("id" + std::to_string(n), Message("m"));
    Add(TJobKind::RemoveSeveral, A, 0).Messages = {TWorkerHarness::Ref(3, "id3"),
                                                   TWorkerHarness::Ref(7, "id7"),
                                                   TWorkerHarness::Ref(9, "id9")};
    Add(TJobKind::Check, A);
    Run();
    auto sessions = A.Sessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0], (TTranscript{"USER user", "PASS pass", "CAPA", "UIDL", "DELE 9",
                                        "DELE 7", "DELE 3", "QUIT"}));
    EXPECT_EQ(H.Only("removed:"),
              (std::vector<std::string>{"removed:2", "removed:1", "removed:0"}));
    EXPECT_EQ(H.Only("message:"), (std::vector<std::string>{
                                      "message:1:" + MD5Hex("abc"), "message:2:" + MD5Hex("def"),
                                      "message:3:" + MD5Hex("id4"), "message:4:" + MD5Hex("id5"),
                                      "message:5:" + MD5Hex("id6"), "message:6:" + MD5Hex("id8")}));
    EXPECT_EQ(
        H.Only("status:Removing"),
        (std::vector<std::string>{"status:Removing message 9...", "status:Removing message 7...",
                                  "status:Removing message 3..."}));
}

TEST_F(WorkerTest, RemovalEndsTheSessionBeforeTheNextJob) {
    // Reusing the session, or starting the next one before the server has made the
    // deletion, would fetch old number 1 instead of old 2, which the store already calls 1.
    RemoveFirstThenRetrieveTheNewFirst();
    auto sessions = A.Sessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0],
              (TTranscript{"USER user", "PASS pass", "CAPA", "UIDL 1", "DELE 1", "QUIT"}));
    EXPECT_EQ(H.Only("removed:"), std::vector<std::string>{"removed:0"});
    EXPECT_EQ(H.Only("message:"), std::vector<std::string>{"message:1"});
    ASSERT_EQ(H.Messages.size(), 1u);
    EXPECT_EQ(H.Messages[0][0], "Subject: second");
}

TEST_F(WorkerTest, RemovalWhoseEventFailedAlsoWaitsForTheDeletion) {
    auto log = H.Worker->Events.Removed;
    H.Worker->Events.Removed = [log](const TRemoved& message) {
        log(message);
        throw std::runtime_error("cache folder gone");
    };
    RemoveFirstThenRetrieveTheNewFirst();
    ASSERT_EQ(H.Messages.size(), 1u);
    EXPECT_EQ(H.Messages[0][0], "Subject: second");
}

TEST_F(WorkerTest, RetrievalWhoseHandlerThrowsEndsAsFailedAndRunsOnce) {
    H.Worker->Events.Retrieved = [](TRetrieved&) { throw std::bad_alloc(); };
    Add(TJobKind::Retrieve, A, 1).Messages = {TWorkerHarness::Ref(1, "abc")};
    Add(TJobKind::Check, A);
    Run();
    int retrievals = 0;
    for (const TTranscript& session : A.Sessions())
        retrievals += static_cast<int>(std::count(session.begin(), session.end(), "RETR 1"));
    EXPECT_EQ(retrievals, 1);
    EXPECT_EQ(H.EndedJobs, (std::vector<int>{1, 2}));
    EXPECT_EQ(H.Results, (std::vector<TJobResult>{TJobResult::Failed, TJobResult::Done}));
    EXPECT_EQ(H.Only("checkdone"), std::vector<std::string>{"checkdone"});
}

TEST_F(WorkerTest, UnreadableSizeEndsTheRetrievalAsFatal) {
    A.Script("LIST", TAction::Reply, "-ERR busy\r\n");
    Add(TJobKind::Retrieve, A, 1);
    Run();
    EXPECT_EQ(H.Only("error:"),
              (std::vector<std::string>{
                  "error:1:Server error: Message size could not be retrieved! (busy)"}));
    EXPECT_TRUE(H.Only("message:").empty());
    EXPECT_EQ(H.EndedJobs, (std::vector<int>{1}));
}

TEST_F(WorkerTest, FailedCheckKeepsTheOldListAndSaysSo) {
    const TStringList before = {MD5Hex("abc"), MD5Hex("gone")};
    H.ServerLists[0] = before;
    A.SetCapabilities({"UIDL"}); // so its refusal is a failure, not a server without UIDL
    A.Script("UIDL", TAction::Reply, "-ERR not now\r\n");
    B.Script("TOP 2", TAction::Close, "+OK\r\nSubject: cut");
    H.ServerLists[1] = before;
    Add(TJobKind::Check, A);
    Add(TJobKind::Check, B);
    Add(TJobKind::Retrieve, B, 1); // the worker goes on, over a new connection
    Run();
    EXPECT_EQ(H.ServerLists[0], before);
    EXPECT_EQ(H.ServerLists[1], before);
    EXPECT_EQ(H.Only("checkdone:incomplete").size(), 2u);
    EXPECT_EQ(H.Only("error:"),
              (std::vector<std::string>{
                  "error:0:Server error: Message list could not be retrieved! (not now)",
                  "error:0:Server error: Message list could not be retrieved! (Connection closed "
                  "gracefully)"}));
    // The error follows the check's last event.
    auto done = std::find(H.Events.begin(), H.Events.end(), "checkdone:incomplete");
    EXPECT_EQ(*(done + 1), "error:0:Server error: Message list could not be retrieved! (not now)");
    EXPECT_EQ(A.Sessions(),
              (std::vector<TTranscript>{{"USER user", "PASS pass", "CAPA", "UIDL", "QUIT"}}));
    EXPECT_EQ(B.Sessions().size(), 2u);
    EXPECT_EQ(H.Only("message:").back(), "message:1");
}

TEST_F(WorkerTest, FailedRemovalIsReportedAfterItsEvent) {
    A.AddMessage("ghi", Message("third"));
    A.Script("DELE 2", TAction::Reply, "-ERR locked\r\n");
    Add(TJobKind::Remove, A, 2);
    Add(TJobKind::RemoveSeveral, A, 0).Messages = {TWorkerHarness::Ref(1, "abc"),
                                                   TWorkerHarness::Ref(2, "def"),
                                                   TWorkerHarness::Ref(3, "ghi")};
    Run();
    EXPECT_EQ(H.Only("removed:"),
              (std::vector<std::string>{"removed:0", "removed:2", "removed:1"}));
    EXPECT_EQ(
        H.Only("error:"),
        (std::vector<std::string>{"error:0:Server error: Message could not be removed! (locked)",
                                  "error:0:Server error: Message could not be removed! (locked)"}));
    auto sessions = A.Sessions();
    ASSERT_EQ(sessions.size(), 2u);
    // DELE 3 stood; the failure at 2 ends the job, and QUIT makes DELE 3 take effect.
    EXPECT_EQ(sessions[1],
              (TTranscript{"USER user", "PASS pass", "CAPA", "UIDL", "DELE 3", "DELE 2", "QUIT"}));
    EXPECT_EQ(A.MessageCount(), 2);
}

TEST_F(WorkerTest, CancelSilencesOnlyTheJobItStops) {
    A.Script("TOP", TAction::Silent);
    Add(TJobKind::Check, A);
    Add(TJobKind::Retrieve, B, 1);
    H.Start();
    ASSERT_TRUE(
        H.Loop.RunUntil([&] { return !H.Only("status:Retrieving message information").empty(); }));
    H.Worker->Stop(); // from the main thread, while the worker waits for TOP
    ASSERT_TRUE(H.RunJobs());
    H.Finish();
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.Only("checkdone:incomplete").size(), 1u);
    EXPECT_EQ(H.ServerLists[0], TStringList{}); // the broken-off check changed nothing
    // The next job reports as usual.
    EXPECT_EQ(H.After("ended:1"), TWorkerHarness::SecondJobRetrievingMessage1());
}

TEST_F(WorkerTest, ConnectFailureStillEndsTheJob) {
    TQBTaskInfo job = TWorkerHarness::Job(TJobKind::Check, A.Port(), 0);
    job.Server.Port = 1; // nothing listens there
    H.Add(job);
    Run();
    EXPECT_EQ(H.Events, (std::vector<std::string>{
                            "status:Connecting to 127.0.0.1...",
                            "error:1:Could not connect to the mail server! (Connection refused)",
                            "status:", "ended:1"}));
}

TEST_F(WorkerTest, APortBeyondTheRangeIsRefusedWithoutConnecting) {
    // Wrapped to 16 bits, this port would be A's.
    const int port = A.Port() + 65536;
    H.Add(TWorkerHarness::Job(TJobKind::Check, port, 0));
    Run();
    EXPECT_EQ(A.Connections(), 0);
    EXPECT_EQ(H.Events, (std::vector<std::string>{
                            "error:1:The server's port " + std::to_string(port) +
                                " is not between 1 and 65535; correct it in the account's "
                                "settings.",
                            "status:", "ended:1"}));
}

TEST_F(WorkerTest, IdleWorkerHoldsNoSessionAndExitsPromptly) {
    Add(TJobKind::Check, A);
    H.Start();
    ASSERT_TRUE(H.RunJobs());
    ASSERT_TRUE(H.Loop.RunUntil([&] { return A.Idle(); })); // QUIT once the queue is empty
    EXPECT_EQ(A.Sessions()[0].back(), "QUIT");
    auto start = std::chrono::steady_clock::now();
    H.Finish();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(WorkerTest, StopAtExitBreaksABlockedRead) {
    A.Script("RETR", TAction::Silent);
    Add(TJobKind::Retrieve, A, 1);
    H.Start();
    ASSERT_TRUE(H.Loop.RunUntil([&] { return !H.Only("status:Retrieving message...").empty(); }));
    H.Finish(); // Stop, Terminate, wait for Finished while serving events
    EXPECT_FALSE(H.EventsAfterFinish);
    EXPECT_TRUE(H.Only("error:").empty());
}

TEST_F(WorkerTest, WorkerDestroyedAfterItsLoopEndsTheSessionWithQuit) {
    Add(TJobKind::Check, A);
    H.Start();
    ASSERT_TRUE(H.RunJobs());
    H.Worker->Terminate();
    ASSERT_TRUE(H.Loop.RunUntil([&] { return H.Worker->Finished(); }));
    H.Worker.reset();
    ASSERT_TRUE(A.WaitIdle());
    EXPECT_EQ(A.Sessions(), (std::vector<TTranscript>{{"USER user", "PASS pass", "CAPA", "UIDL",
                                                       "LIST", "TOP 1 0", "TOP 2 0", "QUIT"}}));
}

TEST_F(WorkerTest, CancelBreaksOffAConnectWaitingForTheGreeting) {
    A.SetSilentGreeting(true);
    Add(TJobKind::Check, A);
    Add(TJobKind::Check, B);
    H.Start();
    ASSERT_TRUE(H.Loop.RunUntil([&] { return A.Connections() == 1; }));
    H.Worker->Stop();
    ASSERT_TRUE(H.RunJobs());
    H.Finish();
    EXPECT_TRUE(H.Only("error:").empty());
    EXPECT_EQ(H.Only("checkdone").size(), 1u); // B's: A's check never ran
    EXPECT_EQ(B.Sessions().size(), 1u);
}

TEST(WorkerAbandonTest, AbandonReturnsAtOnceAndTheWorkerRaisesAndPostsNothingMore) {
    // Statics: an abandoned worker may still run after the test has returned, and
    // the leak checker sees the never-destroyed worker as reachable.
    static std::atomic<bool> release{false};
    static std::atomic<int> events{0};
    static std::atomic<int> posts{0};
    static TQBThread* worker = nullptr;
    worker = new TQBThread(
        1000, [](const std::function<void()>& call) { call(); },
        [](const TWorkerProgress&) { ++posts; });
    worker->Events.GetJob = []() -> std::optional<TJobOrder> {
        ++events;
        // An event the main thread could never serve: held until released.
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // A job whose end would be told.
        TJobOrder order;
        order.Task.Kind = TJobKind::Retrieve;
        order.Task.Server.Host = "127.0.0.1";
        order.Task.Server.Port = FreeLoopbackPort();
        return order;
    };
    worker->Events.Status = [](const std::string&) { ++events; };
    worker->Events.Error = [](const TWorkerError&) { ++events; };
    worker->Events.JobEnded = [](const TJobEnded&) { ++events; };
    worker->Resume();
    while (events == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    worker->Abandon();
    release = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(events, 1);
    EXPECT_EQ(posts, 0);
    EXPECT_TRUE(worker->IsTerminated());
}

// Some servers separate the fields of the unique id listing with tabs or several blanks,
// or start its lines with one: the messages are the same as with single blanks.
TEST_F(WorkerTest, UniqueIdListingWithTabsAndExtraBlanksReadsAsUsual) {
    H.ServerLists[0] = {MD5Hex("abc")};
    A.Script("UIDL", TAction::Reply, "+OK\r\n 1 abc\r\n2\t def \r\n.\r\n");
    Add(TJobKind::Check, A);
    Run();
    const auto has = [this](const std::string& event) {
        return std::find(H.Events.begin(), H.Events.end(), event) != H.Events.end();
    };
    EXPECT_TRUE(has("renumber:" + MD5Hex("abc") + ":1"));
    EXPECT_TRUE(has("message:2:" + MD5Hex("def")));
    EXPECT_TRUE(has("checkdone"));
}
