// Tests of TQBIMAP against a real Dovecot: TLS logins, unseen headers, fetch, flags, deletion,
// IDLE.
#include "DovecotUserTest.h"
#include "WorkerHarness.h"
#include "imap/IMAPSession.h"
#include "net/MailError.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

using TUIDs = std::vector<uint32_t>;

class IMAPDovecotTest : public TDovecotUserTest<true> {
  protected:
    TQBIMAP Session;

    void SetUp() override {
        TDovecotUserTest::SetUp();
        if (IsSkipped())
            return;
        Session.Server.Host = "127.0.0.1";
        Session.Server.Port = Dovecot->IMAPPort();
        Session.Server.TLS = TTLSMode::STLS;
        Session.TLSCAFile = Dovecot->CAFile();
        Session.ReadTimeout = 10000;
        Session.Server.User = Dovecot->User(User);
        Session.Server.Pass = Dovecot->Password(User);
    }

    // Connected, INBOX selected for changes, the three messages unseen.
    TUIDs Open() {
        Session.Connect(5000);
        Session.Select(false);
        TUIDs uids = Session.SearchUnseen();
        EXPECT_EQ(uids.size(), 3u);
        return uids;
    }

    // The commands after login, tags taken off; Dovecot writes its raw logs as the session goes,
    // so this waits for the LOGOUT. The login process records the TLS bytes, not the commands.
    std::vector<std::string> CommandsUntilLogout() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::vector<std::string> commands;
        do {
            commands.clear();
            for (const std::string& line : Dovecot->Commands())
                if (line.size() > 2 && line[0] == 'A' &&
                    std::isdigit(static_cast<unsigned char>(line[1])) &&
                    line.find(' ') != std::string::npos)
                    commands.push_back(line.substr(line.find(' ') + 1));
            if (!commands.empty() && commands.back() == "LOGOUT")
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < deadline);
        // STARTTLS went in clear text, before the login process's log turned to ciphertext.
        if (!commands.empty() && commands.front() == "STARTTLS")
            commands.erase(commands.begin());
        return commands;
    }

    static std::string HeaderOf(const std::string& message) {
        return message.substr(0, message.find("\r\n\r\n") + 4);
    }
};

} // namespace

TEST_F(IMAPDovecotTest, LogsInOverSTARTTLSAndImplicitTLS) {
    for (auto [tls, port] : {std::pair{TTLSMode::STLS, Dovecot->IMAPPort()},
                             std::pair{TTLSMode::Implicit, Dovecot->IMAPTLSPort()}}) {
        Session.Server.TLS = tls;
        Session.Server.Port = port;
        Session.Connect(5000);
        EXPECT_TRUE(Session.UIDPlus());
        EXPECT_TRUE(Session.CanIdle());
        Session.Select(true);
        EXPECT_EQ(Session.Exists, 3u);
        EXPECT_NE(Session.UIDValidity, 0u);
        EXPECT_NE(Session.UIDNext, 0u);
        EXPECT_TRUE(Session.Logout(5000));
        EXPECT_FALSE(Session.Connected());
    }
    EXPECT_NE(Dovecot->Log().find("user=<" + Session.Server.User + ">, method=PLAIN"),
              std::string::npos);

    Session.Server.Pass = "not the password";
    EXPECT_THROW(Session.Connect(5000), EMailReplyError);
    EXPECT_FALSE(Session.Connected());
}

TEST_F(IMAPDovecotTest, HeadersOfUnseenMessagesAndMarkSeen) {
    TUIDs uids = Open();
    std::vector<TIMAPHeader> headers;
    Session.FetchHeaders(uids, [&](TIMAPHeader&& header) { headers.push_back(std::move(header)); });
    ASSERT_EQ(headers.size(), 3u);
    for (int n = 1; n <= 3; ++n) {
        const std::string message = TDovecotServer::GenerateMessage(n);
        const TIMAPHeader& header = headers[static_cast<size_t>(n - 1)];
        EXPECT_EQ(header.UID, uids[static_cast<size_t>(n - 1)]);
        EXPECT_EQ(header.Size, message.size());
        EXPECT_EQ(header.Header, HeaderOf(message));
        EXPECT_FALSE(header.Cut);
    }
    // Reading the headers did not mark them seen; MarkSeen does.
    EXPECT_EQ(Session.SearchUnseen(), uids);
    Session.MarkSeen({uids[1]});
    EXPECT_EQ(Session.SearchUnseen(), (TUIDs{uids[0], uids[2]}));
    Session.Logout(5000);
    EXPECT_EQ(
        CommandsUntilLogout(),
        (std::vector<std::string>{
            "SELECT INBOX", "UID SEARCH UNSEEN",
            "UID FETCH " + std::to_string(uids[0]) + ":" + std::to_string(uids[2]) +
                " (UID RFC822.SIZE BODY.PEEK[HEADER])",
            "UID SEARCH UNSEEN", "UID STORE " + std::to_string(uids[1]) + " +FLAGS.SILENT (\\Seen)",
            "UID SEARCH UNSEEN", "LOGOUT"}));
}

// A large check takes the later half of its headers from a second session of its own: every
// header still comes once, in the mailbox's order.
TEST_F(IMAPDovecotTest, WorkerCheckSharesItsHeadersWithASecondSession) {
    TWorkerHarness h;
    h.Worker->ParallelHeaderMinimum = 2;
    h.Worker->POP3.TLSCAFile = Dovecot->CAFile();
    TQBTaskInfo task = TWorkerHarness::Job(TJobKind::Check, Dovecot->IMAPPort(), 0);
    task.Server.Protocol = TMailProtocol::IMAP;
    task.Server.TLS = TTLSMode::STLS;
    task.Server.User = Session.Server.User;
    task.Server.Pass = Session.Server.Pass;
    h.Add(task);
    h.Start();
    ASSERT_TRUE(h.RunJobs());
    h.Finish();
    ASSERT_EQ(h.Messages.size(), 3u);
    for (size_t n = 0; n < 3; ++n)
        EXPECT_NE(std::find(h.Messages[n].begin(), h.Messages[n].end(),
                            "Subject: Test message " + std::to_string(n + 1)),
                  h.Messages[n].end());
    EXPECT_EQ(h.Only("checkdone"), std::vector<std::string>{"checkdone"});
    EXPECT_TRUE(h.Only("error:").empty());
    int examined = 0;
    for (int wait = 0; wait < 500 && examined < 2; ++wait) {
        const std::vector<std::string> commands = Dovecot->Commands();
        examined = static_cast<int>(
            std::count_if(commands.begin(), commands.end(), [](const std::string& line) {
                return line.find("EXAMINE INBOX") != std::string::npos;
            }));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(examined, 2);
}

TEST_F(IMAPDovecotTest, FetchesWholeMessageAndItsFirstPart) {
    TUIDs uids = Open();
    const std::string second = TDovecotServer::GenerateMessage(2);
    int64_t progress = 0;
    Session.OnWork = [&](int64_t position) { progress = position; };
    std::string text;
    ASSERT_TRUE(Session.FetchMessage(uids[1], text));
    EXPECT_EQ(text, second);
    EXPECT_GE(progress, static_cast<int64_t>(second.size()));
    ASSERT_TRUE(Session.FetchMessage(uids[1], text, 40));
    EXPECT_EQ(text, second.substr(0, 40));
    EXPECT_FALSE(Session.FetchMessage(uids[2] + 100, text));
    EXPECT_EQ(Session.SearchUnseen(), uids);
}

TEST_F(IMAPDovecotTest, DeleteWithUIDPlusRemovesExactlyThose) {
    TUIDs uids = Open();
    ASSERT_TRUE(Session.UIDPlus());
    EXPECT_TRUE(Session.Delete({uids[0], uids[2]}));
    Session.Select(false);
    EXPECT_EQ(Session.Exists, 1u);
    EXPECT_EQ(Session.SearchUnseen(), (TUIDs{uids[1]}));
    EXPECT_EQ(Dovecot->MessageCount(User), 1);
}

TEST_F(IMAPDovecotTest, IdleSeesANewMessageAndEndsOnDrop) {
    TUIDs uids = Open();
    Session.StartIdle();
    EXPECT_EQ(Session.WaitIdle(100), unsigned(ieNone));
    Dovecot->AddMessage(User, TDovecotServer::GenerateMessage(4));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Session.WaitIdle(2000) & ieExists, unsigned(ieExists));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(Session.Exists, 4u);
    Session.StopIdle();
    EXPECT_EQ(Session.SearchUnseen().size(), 4u);

    // A program exit breaks off a long wait at once.
    Session.StartIdle();
    std::thread dropper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Session.DropConnection();
    });
    start = std::chrono::steady_clock::now();
    EXPECT_THROW(Session.WaitIdle(60000), EMailError);
    dropper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(Session.Connected());
}
