// The worker's IMAP jobs against the scripted server, for what Dovecot does not do: a server
// without UIDPLUS, and keys from before the mailbox's UIDVALIDITY changed.
#include "FakeIMAPAnswers.h"
#include "FakePOP3Server.h"
#include "WorkerHarness.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>

using TAction = TFakePOP3Server::TAction;

TEST(WorkerIMAP, WithoutUIDPlusRemovalOnlyFlagsAndSaysSoAndOldKeysAreLeftAlone) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 IDLE AUTH=PLAIN SASL-IR";
    ServeIMAP(server, capabilities);
    TWorkerHarness H;
    auto add = [&](TJobKind kind, const std::vector<std::string>& keys) {
        TQBTaskInfo task = TWorkerHarness::Job(kind, server.Port(), 0, 1);
        task.Server.Protocol = TMailProtocol::IMAP;
        for (const std::string& key : keys) {
            TMessageRef ref;
            ref.Number = static_cast<int>(task.Messages.size()) + 1;
            ref.UID = key;
            task.Messages.push_back(ref);
        }
        H.Add(task);
    };
    // The scripted INBOX has UIDVALIDITY 7: "6:5" names a message of a mailbox since gone.
    add(TJobKind::MarkRead, {"7:4", "6:5"});
    add(TJobKind::Remove, {"7:9"});
    H.RunAll([&] { return server.Idle(); });

    std::vector<std::string> commands;
    for (const std::string& line : server.Commands())
        commands.push_back(line.substr(line.find(' ') + 1));
    auto sent = [&](const std::string& command) {
        return std::count(commands.begin(), commands.end(), command);
    };
    EXPECT_EQ(sent("UID STORE 4 +FLAGS.SILENT (\\Seen)"), 1);
    EXPECT_EQ(sent("UID STORE 9 +FLAGS.SILENT (\\Deleted)"), 1);
    EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const std::string& command) {
        return command.find("EXPUNGE") != std::string::npos ||
               command.find(" 5 ") != std::string::npos;
    }));
    // The removed entry goes (the server hides it from
    // now on), and the user learns why the message stays on the server.
    EXPECT_EQ(H.Events, (std::vector<std::string>{
                            "status:Connecting to 127.0.0.1...",
                            "status:Marking messages as read...",
                            "status:",
                            "ended:1",
                            "status:Removing message...",
                            "removed:0",
                            "error:0:The messages were marked as deleted but not expunged: the "
                            "server does not support UIDPLUS, and expunging would also remove "
                            "other messages marked as deleted.",
                            "status:",
                            "ended:2",
                        }));
}

// Keys of another UIDVALIDITY name messages of a mailbox that is gone: a check reads every
// unseen message's header again, whatever the old keys' numbers.
TEST(WorkerIMAP, ChangedUIDValidityReadsTheAccountAgain) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 AUTH=PLAIN SASL-IR";
    ServeIMAP(server, capabilities);
    TWorkerHarness H;
    H.ServerLists[0] = {"6:4", "6:5", "7:9"};
    TQBTaskInfo task = TWorkerHarness::Job(TJobKind::Check, server.Port(), 0, -1);
    task.Server.Protocol = TMailProtocol::IMAP;
    H.Add(task);
    H.RunAll([&] { return server.Idle(); });
    std::vector<std::string> fetches;
    for (const std::string& line : server.Commands())
        if (line.find("UID FETCH") != std::string::npos)
            fetches.push_back(line.substr(line.find(' ') + 1));
    EXPECT_EQ(fetches,
              std::vector<std::string>{"UID FETCH 4:5 (UID RFC822.SIZE BODY.PEEK[HEADER])"});
}

// A server that answers the header fetch with the size alone: each such message is shown with
// the stand-in and its size, one error says why, and a message not answered at all is gone.
TEST(WorkerIMAP, FetchWithoutTheHeaderAnnouncesTheMessageAsUnreadable) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 AUTH=PLAIN SASL-IR";
    ServeIMAP(server, capabilities, [](const std::string& line) -> std::optional<std::string> {
        const size_t fetch = line.find(" UID FETCH ");
        if (fetch == std::string::npos)
            return std::nullopt;
        // Message 9 was expunged after the search.
        return "* 1 FETCH (UID 4 RFC822.SIZE 1200)\r\n* 2 FETCH (RFC822.SIZE 3400 UID 5)\r\n" +
               line.substr(0, fetch) + " OK done\r\n";
    });
    TWorkerHarness H;
    TQBTaskInfo task = TWorkerHarness::Job(TJobKind::Check, server.Port(), 0, -1);
    task.Server.Protocol = TMailProtocol::IMAP;
    H.Add(task);
    H.RunAll([&] { return server.Idle(); });
    EXPECT_EQ(H.Only("message:"), (std::vector<std::string>{"message:1:7:4", "message:2:7:5"}));
    ASSERT_EQ(H.Announced.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(H.Announced[i].Unreadable);
        EXPECT_EQ(H.Messages[i], (TStringList{"Subject: (header could not be read)", ""}));
    }
    EXPECT_EQ(H.Announced[0].Size, 1200);
    EXPECT_EQ(H.Announced[1].Size, 3400);
    EXPECT_EQ(H.Only("error:"),
              std::vector<std::string>{"error:0:Server error: The server sent 2 message(s) "
                                       "without their header; they are shown by their size."});
    EXPECT_EQ(H.Only("checkdone"), std::vector<std::string>{"checkdone"});
}

// After a check the push connection asked for, the session stays for the next one, which sees
// first that it lives and logs in afresh when the server has ended it; an account edit and the
// exit each end a kept session with LOGOUT at once.
TEST(WorkerIMAP, PushedChecksShareAKeptSessionWhileItLives) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 AUTH=PLAIN SASL-IR";
    ServeIMAP(server, capabilities);
    TWorkerHarness H;
    // Counts the times the worker found the queue empty, after which it keeps its session.
    int emptyQueue = 0;
    auto getJob = H.Worker->Events.GetJob;
    H.Worker->Events.GetJob = [&]() {
        auto order = getJob();
        emptyQueue += order ? 0 : 1;
        return order;
    };
    H.Start();
    auto checkPushed = [&] {
        const int before = emptyQueue;
        TQBTaskInfo task = TWorkerHarness::Job(TJobKind::Check, server.Port(), 0, -1);
        task.Server.Protocol = TMailProtocol::IMAP;
        // Longer than the test: only the worker ends it.
        task.KeepSessionMs = 120000;
        H.Add(task);
        ASSERT_TRUE(H.RunJobs());
        ASSERT_TRUE(H.Loop.RunUntil([&] { return emptyQueue > before; }));
    };
    auto sessionEnds = [&](size_t sessions) {
        EXPECT_TRUE(H.Loop.RunUntil([&] { return server.Idle(); }, 10000));
        const auto all = server.Sessions();
        ASSERT_EQ(all.size(), sessions);
        EXPECT_NE(all.back().back().find("LOGOUT"), std::string::npos);
    };
    checkPushed();
    checkPushed();
    server.Script("NOOP", TFakePOP3Server::TAction::Close, "* BYE idle too long\r\n");
    checkPushed();
    H.Worker->EndKeptSession();
    sessionEnds(2);
    checkPushed();
    H.Finish();
    sessionEnds(3);

    const auto sessions = server.Sessions();
    auto count = [](const std::vector<std::string>& session, const std::string& command) {
        return std::count_if(session.begin(), session.end(), [&](const std::string& line) {
            return line.find(" " + command) != std::string::npos;
        });
    };
    EXPECT_EQ(count(sessions[0], "AUTHENTICATE"), 1);
    EXPECT_EQ(count(sessions[0], "UID SEARCH"), 2);
    EXPECT_EQ(count(sessions[0], "NOOP"), 2);
    EXPECT_EQ(count(sessions[1], "UID SEARCH"), 1);
    EXPECT_EQ(H.Results, std::vector<TJobResult>(4, TJobResult::Done));
    EXPECT_TRUE(H.Only("error:").empty());
}

// The server gave a uid to another message under the same UIDVALIDITY: opening it and
// removing it announce the new header in its place, and the removal leaves it on the server.
TEST(WorkerIMAP, UIDNowNamingAnotherMessageIsAnnouncedAfreshNeitherFetchedNorRemoved) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 UIDPLUS AUTH=PLAIN SASL-IR";
    const std::map<uint32_t, std::string> ids = {{4, "<new@example.org>"},
                                                 {9, "<nine@example.org>"}};
    ServeIMAP(server, capabilities, [ids](const std::string& line) -> std::optional<std::string> {
        const size_t fetch = line.find(" UID FETCH ");
        if (fetch == std::string::npos)
            return std::nullopt;
        const bool idOnly = line.find("MESSAGE-ID") != std::string::npos;
        std::string reply;
        for (const auto& [uid, id] : ids) {
            if (line.find(" " + std::to_string(uid)) == std::string::npos)
                continue;
            const std::string fields = "Message-ID: " + id + "\r\n";
            const std::string body = idOnly ? fields + "\r\n" : fields + "Subject: new\r\n\r\n";
            reply += "* 1 FETCH (UID " + std::to_string(uid) + " RFC822.SIZE 80 BODY[" +
                     (idOnly ? "HEADER.FIELDS (MESSAGE-ID)" : "HEADER") + "] {" +
                     std::to_string(body.size()) + "}\r\n" + body + ")\r\n";
        }
        return reply + line.substr(0, fetch) + " OK done\r\n";
    });
    TWorkerHarness H;
    auto add = [&](TJobKind kind, const std::vector<std::pair<std::string, std::string>>& refs) {
        TQBTaskInfo task = TWorkerHarness::Job(kind, server.Port(), 0, 1);
        task.Server.Protocol = TMailProtocol::IMAP;
        for (const auto& [key, id] : refs) {
            TMessageRef ref;
            ref.Number = static_cast<int>(task.Messages.size()) + 1;
            ref.UID = key;
            ref.MessageID = id;
            task.Messages.push_back(ref);
        }
        H.Add(task);
    };
    add(TJobKind::Retrieve, {{"7:4", "<old@example.org>"}});
    add(TJobKind::RemoveSeveral, {{"7:4", "<old@example.org>"}, {"7:9", "<nine@example.org>"}});
    H.RunAll([&] { return server.Idle(); });

    std::vector<std::string> commands;
    for (const std::string& line : server.Commands())
        if (line.find(" UID ") != std::string::npos)
            commands.push_back(line.substr(line.find(' ') + 1));
    EXPECT_EQ(commands, (std::vector<std::string>{
                            "UID FETCH 4 (UID RFC822.SIZE BODY.PEEK[HEADER])",
                            "UID FETCH 4,9 (UID BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])",
                            "UID FETCH 4 (UID RFC822.SIZE BODY.PEEK[HEADER])",
                            "UID STORE 9 +FLAGS.SILENT (\\Deleted)",
                            "UID EXPUNGE 9",
                        }));
    EXPECT_EQ(H.Only("changed:"), (std::vector<std::string>{"changed:0:1:<new@example.org>",
                                                            "changed:0:1:<new@example.org>"}));
    EXPECT_EQ(H.Only("removed:"), std::vector<std::string>{"removed:1"});
    EXPECT_EQ(H.Only("error:"),
              (std::vector<std::string>{
                  "error:1:The message has changed on the server (Message-ID "
                  "\"<new@example.org>\" instead of \"<old@example.org>\"); its entry now shows "
                  "the new one.",
                  std::string("error:0:") + ChangedBeforeRemovalText}));
}

namespace {

// A server of four unseen messages (uids 1 to 4, "Subject: Message <uid>") whose second
// session, the check's helper, answers as helper says where it gives a value.
using THelperAnswer =
    std::function<std::optional<std::string>(const std::string& tag, const std::string& command)>;

void ServeFourMessages(TFakePOP3Server& server, THelperAnswer helper) {
    ServeIMAP(server, "IMAP4rev1 AUTH=PLAIN SASL-IR");
    server.SetConnectionResponder(
        [helper](size_t connection, const std::string& line) -> std::optional<std::string> {
            const std::string tag = line.substr(0, line.find(' '));
            const std::string command = line.substr(tag.size() + 1);
            if (connection == 1)
                if (std::optional<std::string> own = helper(tag, command))
                    return own;
            if (command == "EXAMINE INBOX")
                return "* 4 EXISTS\r\n* OK [UIDVALIDITY 7] ok\r\n" + tag + " OK\r\n";
            if (command.rfind("UID SEARCH", 0) == 0)
                return "* SEARCH 1 2 3 4\r\n" + tag + " OK\r\n";
            if (command.rfind("UID FETCH", 0) == 0)
                return IMAPHeadersAnswer(line, "Message");
            return std::nullopt;
        });
}

// Runs a check of the four messages with a helper for the later two; returns the commands of
// the worker's session and of the helper's.
std::pair<std::vector<std::string>, std::vector<std::string>>
CheckFourMessages(TFakePOP3Server& server, TWorkerHarness& H) {
    H.Worker->ParallelHeaderMinimum = 2;
    TQBTaskInfo task = TWorkerHarness::Job(TJobKind::Check, server.Port(), 0, -1);
    task.Server.Protocol = TMailProtocol::IMAP;
    H.Add(task);
    H.RunAll([&] { return server.Idle(); });
    EXPECT_EQ(H.Only("error:"), std::vector<std::string>{});
    EXPECT_EQ(H.Only("checkdone"), std::vector<std::string>{"checkdone"});
    std::vector<TStringList> subjects;
    for (int uid = 1; uid <= 4; ++uid)
        subjects.push_back({"Subject: Message " + std::to_string(uid), ""});
    EXPECT_EQ(H.Messages, subjects);
    std::vector<std::vector<std::string>> sessions = server.Sessions();
    sessions.resize(2);
    auto commands = [](const std::vector<std::string>& lines) {
        std::vector<std::string> found;
        for (const std::string& line : lines)
            found.push_back(line.substr(line.find(' ') + 1));
        return found;
    };
    return {commands(sessions[0]), commands(sessions[1])};
}

// The uid sets of the header fetches among commands.
std::vector<std::string> Fetched(const std::vector<std::string>& commands) {
    std::vector<std::string> sets;
    for (const std::string& command : commands)
        if (command.rfind("UID FETCH ", 0) == 0)
            sets.push_back(command.substr(10, command.find(' ', 10) - 10));
    return sets;
}

} // namespace

// A second session that finds another mailbox under the name (another UIDVALIDITY) has uids
// of other messages: the worker fetches that half itself.
TEST(WorkerIMAP, SecondSessionOfAnotherValidityLeavesItsHalfToTheWorker) {
    TFakePOP3Server server;
    ServeFourMessages(
        server,
        [](const std::string& tag, const std::string& command) -> std::optional<std::string> {
            if (command == "EXAMINE INBOX")
                return "* 4 EXISTS\r\n* OK [UIDVALIDITY 8] ok\r\n" + tag + " OK\r\n";
            if (command.rfind("UID FETCH", 0) == 0)
                return IMAPHeadersAnswer(tag + " " + command, "Other");
            return std::nullopt;
        });
    TWorkerHarness H;
    const auto [worker, helper] = CheckFourMessages(server, H);
    EXPECT_EQ(Fetched(worker), std::vector<std::string>{"1:4"});
    EXPECT_EQ(Fetched(helper), std::vector<std::string>{});
}

// A second session that stops answering once logged in does not hold the check: the worker
// waits for it a little beyond its pace, then fetches its half itself.
TEST(WorkerIMAP, StalledSecondSessionLeavesItsHalfToTheWorker) {
    TFakePOP3Server server;
    ServeFourMessages(
        server,
        [](const std::string& tag, const std::string& command) -> std::optional<std::string> {
            return command.rfind("UID FETCH", 0) == 0 && !tag.empty()
                       ? std::optional<std::string>("")
                       : std::nullopt;
        });
    TWorkerHarness H;
    H.Worker->HelperPatienceMs = 200;
    const auto [worker, helper] = CheckFourMessages(server, H);
    EXPECT_EQ(Fetched(worker), std::vector<std::string>{"1:4"});
    EXPECT_EQ(Fetched(helper), std::vector<std::string>{"3:4"});
}

// A search naming more messages than the mailbox holds ends the check with an error once it
// has named that many, and nothing is fetched.
TEST(WorkerIMAP, SearchNamingMoreMessagesThanTheMailboxHoldsEndsTheCheck) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 AUTH=PLAIN SASL-IR";
    ServeIMAP(server, capabilities);
    std::string uids = "* SEARCH";
    for (int uid = 1; uid <= 500; ++uid)
        uids += " " + std::to_string(uid);
    server.Script("UID SEARCH", TAction::Endless, "", uids + "\r\n");
    TWorkerHarness H;
    H.Worker->IMAP.MaxReplyBytes = size_t(8) << 20;
    TQBTaskInfo task = TWorkerHarness::Job(TJobKind::Check, server.Port(), 0, -1);
    task.Server.Protocol = TMailProtocol::IMAP;
    H.Add(task);
    H.RunAll([&] { return server.Idle(); });
    EXPECT_EQ(H.Only("error:"),
              std::vector<std::string>{"error:0:Server error: Message list could not be "
                                       "retrieved! (The server's search named more unseen "
                                       "messages than the 3 in the mailbox)"});
    const std::vector<std::string> commands = server.Commands();
    EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const std::string& line) {
        return line.find("UID FETCH") != std::string::npos;
    }));
}
