// IMAP accounts through the store against Dovecot: the bar follows the server's unseen
// messages; mark read, delete and retrieval act on the server as another client sees it. The
// scripted server refuses what Dovecot takes.
#include "FakeIMAPAnswers.h"
#include "FakePOP3Server.h"
#include "StoreTest.h"

#include "imap/IMAPSession.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using TUIDs = std::vector<uint32_t>;

// The IMAP uid in an entry's key "<uidvalidity>:<uid>".
uint32_t UIDOf(const TEntry& entry) {
    return static_cast<uint32_t>(std::stoul(entry.UID.substr(entry.UID.find(':') + 1)));
}

std::string SubjectOf(const TEntry& entry) {
    return entry.Fields.Subject;
}

// The scripted server's answer to the check's UID FETCH: a header for each of uids.
std::string FetchedHeaders(const std::string& tag, const std::vector<std::string>& uids) {
    std::string fetched;
    int number = 0;
    for (const std::string& uid : uids) {
        const std::string header = "Subject: mail " + uid + "\r\n\r\n";
        fetched += "* " + std::to_string(++number) + " FETCH (UID " + uid +
                   " RFC822.SIZE 100 BODY[HEADER] {" + std::to_string(header.size()) + "}\r\n" +
                   header + ")\r\n";
    }
    return fetched + tag + " OK done\r\n";
}

// How many of the commands the scripted server saw contain text.
long CountCommands(const TFakePOP3Server& server, const std::string& text) {
    const std::vector<std::string> commands = server.Commands();
    return std::count_if(commands.begin(), commands.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

} // namespace

class IMAPStore : public TStoreTest {
  protected:
    // Another mail program on the user's INBOX.
    void ConnectOther(int user) {
        Other.Server.Host = "127.0.0.1";
        Other.Server.Port = Dovecot().IMAPPort();
        Other.Server.User = Dovecot().User(user);
        Other.Server.Pass = Dovecot().Password(user);
        Other.ReadTimeout = 10000;
        Other.Connect(5000);
        Other.Select(false);
    }
    // What the other program sees unseen now (selecting afresh, as a session's view of the
    // mailbox may lag behind).
    TUIDs UnseenNow() {
        Other.Select(false);
        return Other.SearchUnseen();
    }
    // An IMAP account on the scripted server at 127.0.0.1:port.
    static void AddFakeIMAPAccount(int port) {
        AddLoopbackAccount("Fake", port);
        TAccountConfig account = Settings().Accounts()[0];
        account.Protocol = TMailProtocol::IMAP;
        Settings().EditAccount("Fake", account);
    }
    void TearDown() override {
        if (Other.Connected())
            Other.Logout(2000);
        TStoreTest::TearDown();
    }
    TQBIMAP Other;
};

TEST_F(IMAPStore, BarShowsUnseenMessagesAndFollowsTheServer) {
    QB_NEED_DOVECOT_IMAP();
    const int user = AddDovecotIMAPAccount("Mail", 4);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 4u);
    for (const TEntry& entry : Store->Entries())
        EXPECT_FALSE(entry.Read);
    EXPECT_NE(SubjectOf(Store->Entries()[1]).find('2'), std::string::npos);
    EXPECT_EQ(Store->ServerList(0).size(), 4u);
    ConnectOther(user);
    // The check looked without setting \Seen.
    EXPECT_EQ(UnseenNow().size(), 4u);

    // Read in another program: it leaves the bar at the next check.
    const uint32_t readElsewhere = UIDOf(Store->Entries()[1]);
    Other.MarkSeen({readElsewhere});
    Store->CheckNow(0);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);
    for (const TEntry& entry : Store->Entries())
        EXPECT_NE(UIDOf(entry), readElsewhere);
    EXPECT_EQ(Store->Entries()[2].MsgNum, 3);

    // Mark as read: shown read at once, \Seen on the server, no read mark in the settings.
    const uint32_t marked = UIDOf(Store->Entries()[0]);
    const TUIDs left = {UIDOf(Store->Entries()[1]), UIDOf(Store->Entries()[2])};
    Store->MarkRead(0);
    EXPECT_TRUE(Store->Entries()[0].Read);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_TRUE(Settings().Accounts()[0].ReadList.empty());
    EXPECT_EQ(UnseenNow(), left);
    Store->CheckNow(0);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 2u);
    EXPECT_NE(UIDOf(Store->Entries()[0]), marked);
    EXPECT_TRUE(Store->Errors().empty());
}

TEST_F(IMAPStore, RetrievalGivesTheTextLeavesItUnseenAndDeleteRemovesExactlyIt) {
    QB_NEED_DOVECOT_IMAP();
    const int user = AddDovecotIMAPAccount("Mail", 3);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);
    QSignalSpy ready(&Store->Reader(), &TReadSession::Ready);
    Open(1);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(ready.size(), 1);
    EXPECT_EQ(*ready[0][1].value<TReadViewPtr>()->Source, TDovecotServer::GenerateMessage(2));
    // Over the size limit, "first lines" gives the header and that many body lines.
    SetOption(&TOptions::MaxWarning, true);
    SetOption(&TOptions::MaxSize, 10);
    SetOption(&TOptions::MaxLines, 2);
    Store->Reader().AskSize = [](int, int, int) { return TSizeAnswer::FirstLines; };
    Open(2);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(ready.size(), 2);
    const std::string third = TDovecotServer::GenerateMessage(3);
    size_t end = third.find("\r\n\r\n") + 4;
    for (int line = 0; line < 2; ++line)
        end = third.find("\r\n", end) + 2;
    EXPECT_EQ(*ready[1][1].value<TReadViewPtr>()->Source, third.substr(0, end));
    ConnectOther(user);
    EXPECT_EQ(UnseenNow().size(), 3u);
    Other.Logout(2000);

    const uint32_t gone = UIDOf(Store->Entries()[1]);
    Store->DeleteMessage(Store->Entries()[1].Id);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 2u);
    EXPECT_EQ(Dovecot().MessageCount(user), 2);
    ConnectOther(user);
    const TUIDs unseen = UnseenNow();
    EXPECT_EQ(unseen, (TUIDs{UIDOf(Store->Entries()[0]), UIDOf(Store->Entries()[1])}));
    EXPECT_EQ(std::count(unseen.begin(), unseen.end(), gone), 0);
    // The rest keep their places, as the next check numbers them.
    EXPECT_EQ(Store->Entries()[1].MsgNum, 2);
    EXPECT_TRUE(Store->Errors().empty());
}

// No timed check runs: what changes comes through the account's IDLE connection, which the
// exit ends with a goodbye and without waiting.
TEST_F(IMAPStore, PushShowsNewMailAndDropsWhatIsReadElsewhere) {
    QB_NEED_DOVECOT_IMAP();
    const int user = AddDovecotIMAPAccount("Mail", 1);
    auto count = [&](const std::string& command) {
        const std::vector<std::string> commands = Dovecot().Commands();
        return std::count_if(commands.begin(), commands.end(), [&](const std::string& line) {
            return line == command || line.find(" " + command) != std::string::npos;
        });
    };
    // Only the watcher's connection idles.
    const auto idles = count("IDLE");
    // A short pause between the checks the watcher asks for keeps the worker's session short
    // after each, and so the waits for it to end.
    Config.PushCheckSpacing = std::chrono::milliseconds(500);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 1u);
    ASSERT_TRUE(WaitUntil([&] { return count("IDLE") > idles; }, 5000));

    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(2));
    ASSERT_TRUE(WaitUntil([&] { return Store->Entries().size() == 2; }, 5000));
    EXPECT_NE(SubjectOf(Store->Entries()[1]).find('2'), std::string::npos);

    ConnectOther(user);
    const uint32_t first = UIDOf(Store->Entries()[0]);
    Other.MarkSeen({first});
    ASSERT_TRUE(WaitUntil([&] { return Store->Entries().size() == 1; }, 5000));
    EXPECT_NE(UIDOf(Store->Entries()[0]), first);

    // Cut off by the server, the watcher comes back and has the account checked: mail that
    // came meanwhile shows without a timed check.
    ASSERT_TRUE(WaitForJobs());
    LetSessionEnd(2); // the watcher's and the other client's
    const auto idlesBeforeKick = count("IDLE");
    Dovecot().Kick(user);
    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(3));
    ASSERT_TRUE(WaitUntil([&] { return Store->Entries().size() == 2; }, 8000));
    EXPECT_TRUE(WaitUntil([&] { return count("IDLE") > idlesBeforeKick; }, 5000));
    EXPECT_TRUE(Store->Errors().empty());

    ASSERT_TRUE(WaitForJobs());
    // The worker's own session ends first, so that the only one left is the watcher's (the
    // kick ended the other client's).
    LetSessionEnd(1);
    const auto dones = count("DONE");
    const auto logouts = count("LOGOUT");
    QElapsedTimer exit;
    exit.start();
    StopProgram();
    EXPECT_LT(exit.elapsed(), 2000);
    EXPECT_TRUE(WaitUntil(
        [&] { return count("DONE") == dones + 1 && count("LOGOUT") == logouts + 1; }, 5000));
}

// The scripted server, whose three unseen messages the check lists, refuses to set \Seen.
TEST_F(IMAPStore, MarkReadTheServerRefusesShowsTheMessageUnreadAgain) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 AUTH=PLAIN SASL-IR";
    server.SetGreeting("* OK [CAPABILITY " + capabilities + "] fake ready");
    auto answers = std::make_shared<TIMAPAnswers>(capabilities);
    server.SetResponder([answers](const std::string& line) {
        const std::string tag = line.substr(0, line.find(' '));
        if (line.find(" UID STORE ") != std::string::npos)
            return tag + " NO [CANNOT] flags are read-only\r\n";
        if (line.find(" UID FETCH ") == std::string::npos)
            return (*answers)(line);
        return FetchedHeaders(tag, {"4", "5", "9"});
    });
    server.SetTagged(true);
    AddFakeIMAPAccount(server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);

    QSignalSpy changed(Store.get(), &TMessageStore::EntryChanged);
    Store->MarkSeveralRead({0, 2});
    EXPECT_TRUE(Store->Entries()[2].Read);
    ASSERT_TRUE(WaitForJobs());
    for (const TEntry& entry : Store->Entries())
        EXPECT_FALSE(entry.Read);
    // Each shown read, then unread again.
    EXPECT_EQ(changed.size(), 4);
    ASSERT_EQ(Store->Errors().size(), 1u);
    EXPECT_NE(Store->Errors()[0].Text.find("could not be marked as read"), std::string::npos);
}

// A server that reports news without pause while the account idles has it checked once per
// pause, on one login that the checks share; the last news is checked all the same.
TEST_F(IMAPStore, FloodOfNewsWhileIdlingIsCheckedAtAPaceOnOneLogin) {
    TFakePOP3Server server;
    const std::string capabilities = "IMAP4rev1 AUTH=PLAIN SASL-IR IDLE";
    server.SetGreeting("* OK [CAPABILITY " + capabilities + "] fake ready");
    auto answers = std::make_shared<TIMAPAnswers>(capabilities);
    auto arrived = std::make_shared<std::atomic<bool>>(false);
    server.SetResponder([answers, arrived](const std::string& line) {
        const std::string tag = line.substr(0, line.find(' '));
        std::vector<std::string> uids = {"4", "5", "9"};
        if (*arrived)
            uids.push_back("12");
        if (line.find(" UID SEARCH ") != std::string::npos) {
            std::string found = "* SEARCH";
            for (const std::string& uid : uids)
                found += " " + uid;
            return found + "\r\n" + tag + " OK\r\n";
        }
        if (line.find(" UID FETCH ") != std::string::npos)
            return FetchedHeaders(tag, uids);
        return (*answers)(line);
    });
    server.SetTagged(true);
    server.SetBytePause(10);
    server.Script("IDLE", TFakePOP3Server::TAction::Flood, "", "* 3 EXISTS\r\n");
    AddFakeIMAPAccount(server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);

    QElapsedTimer flood;
    flood.start();
    WaitUntil([] { return false; }, 4000);
    *arrived = true;
    WaitUntil([] { return false; }, 200);
    server.Unscript("IDLE");
    const double seconds = static_cast<double>(flood.elapsed()) / 1000;
    EXPECT_TRUE(WaitUntil([&] { return Store->Entries().size() == 4; }, 10000));
    const long logins = CountCommands(server, " AUTHENTICATE ");
    const long checks = CountCommands(server, " UID SEARCH ");
    std::cout << "In a flood of " << seconds << " s the server saw " << logins << " logins and "
              << checks << " checks.\n";
    // The watcher's, the first check's and the one the pushed checks share.
    EXPECT_LE(logins, 3);
    const double pause = std::chrono::duration<double>(TStoreConfig().PushCheckSpacing).count();
    // The first check, one at the first news, one per pause and one after the last news.
    EXPECT_LE(checks, 3 + static_cast<long>(seconds / pause));
    EXPECT_TRUE(Store->Errors().empty());
}
