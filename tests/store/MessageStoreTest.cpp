// The message store against Dovecot and the scripted server, without any window: the
// entries, the queue, the read marks, the cache files and the exit.
#include "StoreTest.h"

#include "FakePOP3Server.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/MD5Hex.h"
#include "core/Settings.h"

#include <QSignalSpy>

#include <algorithm>
#include <filesystem>

class MessageStore : public TStoreTest {};

TEST_F(MessageStore, MessageDeletedOnTheServerLeavesWithCacheFileAndReadMark) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 4);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 4u);
    const std::string gone = Store->Entries()[1].UID;
    const std::string kept = Store->Entries()[3].UID;
    TTempDir::WriteFile(CacheFileName("Home", gone), "\x01text");
    TTempDir::WriteFile(CacheFileName("Home", kept), "\x01text");
    Store->MarkRead(1);
    ASSERT_EQ(Settings().Accounts()[0].ReadList.size(), 1u);

    // Another program deletes message 2.
    Dovecot().DeleteMessage(user, Dovecot().MessageFiles(user)[1]);
    LetSessionEnd();
    Store->CheckNow(0);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);
    for (const TEntry& entry : Store->Entries())
        EXPECT_NE(entry.UID, gone);
    EXPECT_FALSE(std::filesystem::exists(CacheFileName("Home", gone)));
    EXPECT_TRUE(std::filesystem::exists(CacheFileName("Home", kept)));
    EXPECT_TRUE(Settings().Accounts()[0].ReadList.empty());
    // The server now numbers the rest 1, 2, 3; the store must agree, or a removal
    // would hit the wrong message.
    EXPECT_EQ(Store->Entries()[0].MsgNum, 1);
    EXPECT_EQ(Store->Entries()[1].MsgNum, 2);
    EXPECT_EQ(Store->Entries()[2].MsgNum, 3);
    // The read mark is gone from the settings file too.
    EXPECT_TRUE(TIniFile(AppPath + "/quillbar.ini").ReadString("Account=Home", "X0", "") == "");
}

TEST_F(MessageStore, ExitDeletesCacheFilesOfMessagesNoLongerOnAServer) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("Home", 2);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    // Known as soon as the check is done, so that an exit right now keeps the file.
    ASSERT_EQ(Store->ServerList(0).size(), 2u);
    const std::string kept = CacheFileName("Home", Store->Entries()[0].UID);
    const std::string stale = CacheFileName("Home", std::string(32, 'f'));
    // A file of the former naming (the bare key) of a message still on the server.
    const std::string oldNamed = AppPath + "/cache/" + Store->Entries()[0].UID + ".dat";
    const std::string stray = AppPath + "/cache/notes.dat";
    const std::string other = AppPath + "/cache/keep.txt";
    for (const std::string& file : {kept, stale, oldNamed, stray, other})
        TTempDir::WriteFile(file, "\x01x");
    StopProgram();
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_FALSE(std::filesystem::exists(stray));
    EXPECT_FALSE(std::filesystem::exists(oldNamed));
    EXPECT_TRUE(std::filesystem::exists(other));
}

TEST_F(MessageStore, SettingsFileHoldsExactlyTheReadMarks) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("Home", 3);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    Store->MarkRead(2);
    Store->MarkRead(0);
    Store->CheckNow(-1);
    ASSERT_TRUE(WaitForJobs());
    TIniFile ini(AppPath + "/quillbar.ini");
    std::vector<std::string> marks;
    for (const auto& [key, value] : ini.ReadSectionValues("Account=Home"))
        if (!key.empty() && key[0] == 'X')
            marks.push_back(key + "=" + value);
    EXPECT_EQ(marks, (std::vector<std::string>{"X0=" + Store->Entries()[2].UID,
                                               "X1=" + Store->Entries()[0].UID}));
}

// An account removed in the options: its entries and queued jobs go, and every later
// account's entries and jobs name the same account as before.
TEST_F(MessageStore, RemovedAccountLeavesNoEntryOrJobNamingTheWrongAccount) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("First", 2);
    AddDovecotAccount("Second", 2);
    AddDovecotAccount("Third", 1);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 5u);
    const std::string thirdUID = Store->Entries()[4].UID;
    // Jobs wait while this thread does not serve the worker.
    Store->CheckNow(0);
    Store->CheckNow(2);
    ASSERT_EQ(Store->Tasks().size(), 2u);

    Settings().RemoveAccount("First");
    ASSERT_EQ(Store->Entries().size(), 3u);
    EXPECT_EQ(Store->Entries()[0].Account, 0); // "Second"
    EXPECT_EQ(Store->Entries()[2].Account, 1); // "Third"
    EXPECT_EQ(Store->Entries()[2].UID, thirdUID);
    // The head job may be running already: it stays, naming no account, and ends
    // without effect; the waiting job now names "Third" by its new index.
    ASSERT_EQ(Store->Tasks().size(), 2u);
    EXPECT_EQ(Store->Tasks()[0].Account, -1);
    EXPECT_EQ(Store->Tasks()[1].Account, 1);
    ASSERT_TRUE(WaitForJobs());
    // The check of "Third" keeps its message under the right account.
    ASSERT_EQ(Store->Entries().size(), 3u);
    EXPECT_EQ(Store->Entries()[2].Account, 1);
}

// The windows learn everything through the store's signals; after the exit the store
// has no worker and queues nothing more.
TEST_F(MessageStore, CheckIsAnnouncedThroughSignalsAndShutdownEndsTheWork) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("Home", 3);
    Store = std::make_unique<TMessageStore>();
    QSignalSpy added(Store.get(), &TMessageStore::EntryAdded);
    QSignalSpy queued(Store.get(), &TMessageStore::TaskAdded);
    QSignalSpy ended(Store.get(), &TMessageStore::TaskRemoved);
    QSignalSpy newMail(Store.get(), &TMessageStore::NewMailArrived);
    Store->Start();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);
    EXPECT_EQ(added.count(), 3);
    EXPECT_EQ(added.at(2).at(0).toInt(), 2);
    EXPECT_EQ(queued.count(), 1);
    EXPECT_EQ(ended.count(), 1);
    ASSERT_EQ(newMail.count(), 1);
    // The messages the check brought, by identity, oldest first.
    EXPECT_EQ(newMail.at(0).at(0).value<std::vector<TEntryId>>(),
              (std::vector<TEntryId>{Store->Entries()[0].Id, Store->Entries()[1].Id,
                                     Store->Entries()[2].Id}));
    EXPECT_EQ(Store->ServerList(0).size(), 3u);

    Store->Shutdown();
    Store->CheckNow(0);
    EXPECT_TRUE(Store->Tasks().empty());
    EXPECT_EQ(queued.count(), 1);
}

namespace {

std::string Mail(const std::string& subject) {
    return "From: a@example.org\r\nSubject: " + subject + "\r\n\r\nBody\r\n";
}

std::vector<std::string> Marks() {
    std::vector<std::string> marks;
    for (const auto& [key, value] :
         TIniFile(AppPath + "/quillbar.ini").ReadSectionValues("Account=Home"))
        if (!key.empty() && key[0] == 'X')
            marks.push_back(value);
    return marks;
}

// The message text of a Ready signal's view.
std::string SourceOf(const QList<QVariant>& ready) {
    return *ready[1].value<TReadViewPtr>()->Source;
}

} // namespace

// A check broken off by the server or cancelled by the user saw only part of the
// mailbox: what was announced stays, with its read marks and cache files.
TEST_F(MessageStore, CheckThatEndsEarlyKeepsEntriesReadMarksAndCacheFiles) {
    TFakePOP3Server server;
    for (const char* uid : {"u1", "u2", "u3", "u4"})
        server.AddMessage(uid, Mail(uid));
    server.Script("TOP 3", TFakePOP3Server::TAction::Close);
    AddLoopbackAccount("Home", server.Port());
    Settings().AddReadMark(0, MD5Hex("u1"));
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 2u);
    EXPECT_TRUE(Store->Entries()[0].Read);
    EXPECT_EQ(Store->ServerList(0), (std::vector<std::string>{MD5Hex("u1"), MD5Hex("u2")}));
    TTempDir::WriteFile(CacheFileName("Home", MD5Hex("u2")), "\x01text");

    // The next check stops in the middle, and is cancelled.
    server.Script("TOP 3", TFakePOP3Server::TAction::Silent);
    ASSERT_TRUE(server.WaitIdle());
    Store->CheckNow(0);
    ASSERT_TRUE(WaitUntil([&] {
        const auto commands = server.Commands();
        return !commands.empty() && commands.back() == "TOP 3 0";
    }));
    Store->CancelTask();
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Store->Entries().size(), 2u);
    EXPECT_EQ(Settings().Accounts()[0].ReadList, (std::vector<std::string>{MD5Hex("u1")}));
    EXPECT_EQ(Marks(), (std::vector<std::string>{MD5Hex("u1")}));
    StopProgram();
    EXPECT_TRUE(std::filesystem::exists(CacheFileName("Home", MD5Hex("u2"))));
}

// A server that gives two messages one unique id: a removal of the first removes the
// first, and one whose target can no longer be told apart is refused.
TEST_F(MessageStore, DuplicateUniqueIdsNeverRemoveTheWrongMessage) {
    TFakePOP3Server server;
    server.AddMessage("same", Mail("first"));
    server.AddMessage("other", Mail("between"));
    server.AddMessage("same", Mail("second"));
    server.AddMessage("same", Mail("third"));
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 4u);
    ASSERT_EQ(Store->Entries()[0].MsgNum, 1);
    Store->DeleteMessage(Store->Entries()[0].Id);
    ASSERT_TRUE(WaitForJobs());
    const auto commands = server.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "DELE 1"), commands.end());
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "DELE 3"), commands.end());

    // Another client removes one of the two left: which one the entry meant cannot be told
    // any more, so the removal is refused, not guessed.
    ASSERT_EQ(Store->Entries().size(), 3u);
    ASSERT_TRUE(server.WaitIdle());
    server.RemoveMessage(2);
    Store->DeleteMessage(Store->Entries()[2].Id);
    ASSERT_TRUE(WaitForJobs());
    const auto after = server.Commands();
    EXPECT_EQ(std::count_if(after.begin(), after.end(),
                            [](const std::string& c) { return c.rfind("DELE", 0) == 0; }),
              1);
    ASSERT_FALSE(Store->Errors().empty());
    EXPECT_NE(Store->Errors().back().Text.find("same unique id"), std::string::npos);
}

// Two servers that give one unique id to different messages: each account opens its own.
TEST_F(MessageStore, AccountsSharingAUniqueIdKeepTheirOwnCachedMessages) {
    TFakePOP3Server first, second;
    first.AddMessage("same", Mail("From the first"));
    second.AddMessage("same", Mail("From the second"));
    AddLoopbackAccount("First", first.Port());
    AddLoopbackAccount("Second", second.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 2u);
    ASSERT_EQ(Store->Entries()[0].UID, Store->Entries()[1].UID);
    QSignalSpy loaded(&Store->Reader(), &TReadSession::Ready);
    for (int index : {0, 1, 0, 1}) {
        Open(index);
        ASSERT_TRUE(WaitForJobs());
    }
    ASSERT_EQ(loaded.size(), 4);
    // The last two came from the cache files.
    EXPECT_NE(SourceOf(loaded[2]).find("From the first"), std::string::npos);
    EXPECT_NE(SourceOf(loaded[3]).find("From the second"), std::string::npos);
    EXPECT_EQ(first.MessageCount() + second.MessageCount(), 2);
}

// The server closes the connection instead of confirming QUIT, so it deleted nothing:
// a check at once brings the entry back with its number, and the error list says so.
TEST_F(MessageStore, RemovalWithoutConfirmedQuitIsUndoneByACheck) {
    TFakePOP3Server server;
    for (const char* uid : {"u1", "u2", "u3"})
        server.AddMessage(uid, Mail(uid));
    server.Script("QUIT", TFakePOP3Server::TAction::Close);
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);
    Store->DeleteMessage(Store->Entries()[1].Id);
    ASSERT_TRUE(WaitUntil([&] {
        return Store->Tasks().empty() && !Store->Errors().empty() && Store->Entries().size() == 3;
    }));
    std::vector<int> numbers;
    for (const TEntry& entry : Store->Entries())
        numbers.push_back(entry.MsgNum);
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3}));
    EXPECT_NE(Store->Errors().back().Text.find("did not complete"), std::string::npos);
}

// A cache file that cannot be written is listed with its path; the job still ends.
TEST_F(MessageStore, UnwritableCacheFileIsListedAndTheRetrievalStillEnds) {
    TFakePOP3Server server;
    server.AddMessage("u1", Mail("u1"));
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    const std::string path = CacheFileName("Home", Store->Entries()[0].UID);
    std::filesystem::create_directories(path + "/in-the-way");
    Open(0);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_FALSE(Store->Errors().empty());
    EXPECT_NE(Store->Errors().back().Text.find(path), std::string::npos);
}

// Entries removed while a retrieval runs: the file is still that of the fetched message.
TEST_F(MessageStore, RetrievalStoresItsOwnMessageAfterEarlierEntriesWent) {
    TFakePOP3Server server;
    for (const char* uid : {"u1", "u2", "u3"})
        server.AddMessage(uid, Mail(uid));
    server.SetBytePause(2);
    server.Script("RETR", TFakePOP3Server::TAction::Slow);
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    Open(1);
    ASSERT_TRUE(WaitUntil([&] {
        const auto commands = server.Commands();
        return !commands.empty() && commands.back() == "RETR 2";
    }));
    Store->RemoveEntry(0, false);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_NE(TTempDir::ReadFile(CacheFileName("Home", MD5Hex("u2"))).find("Subject: u2"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(CacheFileName("Home", MD5Hex("u3"))));
}

// A server that reuses a unique id for another message of the same size: opening it tells
// the user and shows the new header in the entry, so the next open shows the new message.
TEST_F(MessageStore, OpeningAMessageWhoseUniqueIdNowNamesAnotherShowsItAtTheNextOpen) {
    TFakePOP3Server server;
    server.AddMessage("u1", "Message-ID:\r\n <one@example.org>\r\n" + Mail("one"));
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 1u);
    EXPECT_EQ(Store->Entries()[0].MessageID, "<one@example.org>");
    server.ReplaceMessage(1, "Message-ID:\r\n <two@example.org>\r\n" + Mail("two"));
    QSignalSpy loaded(&Store->Reader(), &TReadSession::Ready);
    Open(0);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(loaded.size(), 0);
    EXPECT_FALSE(std::filesystem::exists(CacheFileName("Home", MD5Hex("u1"))));
    ASSERT_EQ(Store->Errors().size(), 1u);
    EXPECT_NE(Store->Errors()[0].Text.find("changed"), std::string::npos);
    EXPECT_NE(Store->Errors()[0].Text.find("<two@example.org>"), std::string::npos);
    EXPECT_EQ(Store->Entries()[0].MessageID, "<two@example.org>");
    EXPECT_EQ(Store->Entries()[0].Fields.Subject, "two");

    Open(0);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_NE(SourceOf(loaded[0]).find("Subject: two"), std::string::npos);
    EXPECT_EQ(Store->Errors().size(), 1u);
}

// The same on removal: TOP n 0 goes with the others' (pipelined), the message that is another
// one now stays on the server and shows in its entry, unread; removing it then works.
TEST_F(MessageStore, RemovalLeavesAMessageWhoseUniqueIdNowNamesAnotherAndShowsIt) {
    TFakePOP3Server server;
    server.SetCapabilities({"TOP", "UIDL", "USER", "PIPELINING"});
    server.AddMessage("u1", "Message-ID: <one@example.org>\r\n" + Mail("one"));
    server.AddMessage("u2", "Message-ID: <two@example.org>\r\n" + Mail("two"));
    server.AddMessage("u3", "Message-ID: <old@example.org>\r\n" + Mail("old"));
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Entries().size(), 3u);
    Store->MarkRead(2);
    const std::string cached = CacheFileName("Home", MD5Hex("u3"));
    TTempDir::WriteFile(cached, "\x01old");
    ASSERT_TRUE(WaitUntil([&] { return server.Idle(); }));
    server.ReplaceMessage(3, "Message-ID: <new@example.org>\r\n" + Mail("new"));
    const TEntryId changed = Store->Entries()[2].Id;
    Store->DeleteMessages({Store->Entries()[0].Id, changed}, 0);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_TRUE(WaitUntil([&] { return server.Idle(); }));
    EXPECT_EQ(server.Sessions().back(),
              (std::vector<std::string>{"USER user", "PASS pass", "CAPA", "UIDL", "TOP 1 0",
                                        "LIST 1", "TOP 3 0", "LIST 3", "DELE 1", "QUIT"}));
    ASSERT_EQ(Store->Entries().size(), 2u);
    const TEntry& entry = Store->Entries()[1];
    EXPECT_EQ(entry.Id, changed);
    EXPECT_EQ(entry.Fields.Subject, "new");
    EXPECT_EQ(entry.MessageID, "<new@example.org>");
    EXPECT_FALSE(entry.Read);
    EXPECT_TRUE(Marks().empty());
    EXPECT_FALSE(std::filesystem::exists(cached));
    ASSERT_EQ(Store->Errors().size(), 1u);
    EXPECT_NE(Store->Errors()[0].Text.find("not removed"), std::string::npos);

    Store->DeleteMessage(changed);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_TRUE(WaitUntil([&] { return server.Idle(); }));
    EXPECT_EQ(server.Sessions().back(),
              (std::vector<std::string>{"USER user", "PASS pass", "CAPA", "UIDL 2", "TOP 2 0",
                                        "LIST 2", "DELE 2", "QUIT"}));
    EXPECT_EQ(server.MessageCount(), 1);
    EXPECT_EQ(Store->Entries().size(), 1u);
}

// The size question waits for the user, who may open another message meanwhile: the answer
// belongs to the message it was asked for and does not touch the one shown by then.
TEST_F(MessageStore, SizeAnswerGivenAfterTheWindowMovedOnLeavesTheShownMessageAlone) {
    TFakePOP3Server server;
    server.AddMessage("big", Mail("big") + std::string(3000, 'x') + "\r\n");
    server.AddMessage("small", Mail("small"));
    AddLoopbackAccount("Home", server.Port());
    SetOption(&TOptions::MaxWarning, true);
    SetOption(&TOptions::MaxSize, 1000);
    SetOption(&TOptions::MaxLines, 1);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    QSignalSpy download(&Store->Reader(), &TReadSession::DownloadEnabled);
    QSignalSpy loaded(&Store->Reader(), &TReadSession::Ready);
    Store->Reader().AskSize = [this](int, int, int) {
        Open(1);
        return TSizeAnswer::FirstLines;
    };
    Open(0);
    ASSERT_TRUE(WaitForJobs());
    // Opening the small one turned "Download all" off; the answer did not turn it on again.
    ASSERT_FALSE(download.isEmpty());
    EXPECT_FALSE(download.last()[0].toBool());
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0][0].value<TEntryId>(), Store->Entries()[1].Id);
    // The big one's first lines are cached for when it is opened again.
    TCacheFile file;
    ASSERT_TRUE(ReadCacheFile(CacheFileName("Home", MD5Hex("big")), file));
    EXPECT_FALSE(file.Complete);
}

// A retrieval that fails for any reason ends its job with one error, caches nothing and
// tells the read window; opening again asks the server again. A line over the limit is cut,
// not a reason to fail.
TEST_F(MessageStore, FailedRetrievalEndsOnceWithoutCachingAndALongLineIsCut) {
    TFakePOP3Server server;
    server.AddMessage("refused", Mail("refused"));
    server.AddMessage("dropped", Mail("dropped"));
    server.AddMessage("long", Mail("long") + std::string(100000, 'l') + "\r\nafter\r\n");
    server.Script("RETR 1", TFakePOP3Server::TAction::Reply, "-ERR locked\r\n");
    server.Script("RETR 2", TFakePOP3Server::TAction::Close, "+OK\r\nSubject: dropp");
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    QSignalSpy failed(&Store->Reader(), &TReadSession::Failed);
    QSignalSpy loaded(&Store->Reader(), &TReadSession::Ready);
    for (int index : {0, 1, 0}) {
        Open(index);
        ASSERT_TRUE(WaitForJobs());
    }
    ASSERT_EQ(failed.size(), 3);
    EXPECT_EQ(failed[0][1].value<std::string>(),
              "Server error: Message could not be retrieved! (locked)");
    // The same refusal twice keeps one row.
    ASSERT_EQ(Store->Errors().size(), 2u);
    EXPECT_EQ(Store->Errors()[0].Count, 2);
    const auto commands = server.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR 1"), 2);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR 2"), 1);
    for (const char* uid : {"refused", "dropped"})
        EXPECT_FALSE(std::filesystem::exists(CacheFileName("Home", MD5Hex(uid))));
    EXPECT_EQ(loaded.size(), 0);

    QSignalSpy download(&Store->Reader(), &TReadSession::DownloadEnabled);
    Open(2);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(loaded.size(), 1);
    // Cut, so kept as incomplete, and the full download stays offered.
    ASSERT_FALSE(download.isEmpty());
    EXPECT_TRUE(download.last()[0].toBool());
    TCacheFile file;
    ASSERT_TRUE(ReadCacheFile(CacheFileName("Home", MD5Hex("long")), file));
    EXPECT_FALSE(file.Complete);
    const std::string source = SourceOf(loaded[0]);
    EXPECT_NE(source.find(std::string(16384, 'l') + "\r\nafter\r\n"), std::string::npos);
    EXPECT_EQ(source.find(std::string(16385, 'l')), std::string::npos);
    EXPECT_NE(Store->Errors().back().Text.find("1 line(s) longer than 16384 bytes"),
              std::string::npos);
}

// Marking the last unread message read, wherever it is done, leaves the read window nothing
// to show.
TEST_F(MessageStore, ARepeatedFailureCountsOnOneRowAndGoesWhenTheEditedAccountIsCheckedAtOnce) {
    QB_NEED_DOVECOT();
    AddDovecotAccount("Broken", 1);
    TAccountConfig account = Settings().Accounts()[0];
    const std::string password = account.Pass;
    account.Pass = "wrong";
    Settings().EditAccount("Broken", account);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    for (int round = 0; round < 2; ++round) {
        Store->CheckNow(0);
        ASSERT_TRUE(WaitForJobs());
    }
    Store->AddError("Not about an account.");
    ASSERT_EQ(Store->Errors().size(), 2u);
    EXPECT_EQ(Store->Errors()[0].Text,
              "Could not connect to the mail server! ([AUTH] Authentication failed) (Broken)");
    EXPECT_EQ(Store->Errors()[0].Count, 3);
    EXPECT_FALSE(Store->LastSuccess("Broken"));
    PrintServerCommands("Three checks with the wrong password");

    QSignalSpy removed(Store.get(), &TMessageStore::ErrorRemoved);
    account.Pass = password;
    Settings().EditAccount("Broken", account);
    Store->AccountEdited("Broken");
    ASSERT_EQ(Store->Tasks().size(), 1u);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Store->Entries().size(), 1u);
    ASSERT_EQ(Store->Errors().size(), 1u);
    EXPECT_EQ(Store->Errors()[0].Text, "Not about an account.");
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][0].toInt(), 0);
    EXPECT_TRUE(Store->LastSuccess("Broken"));
    PrintServerCommands("The check after the edit");
}

TEST_F(MessageStore, MarkingTheLastUnreadReadHidesTheReadWindow) {
    TFakePOP3Server server;
    for (const char* uid : {"u1", "u2", "u3"})
        server.AddMessage(uid, Mail(uid));
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    QSignalSpy hidden(&Store->Reader(), &TReadSession::Hidden);
    Open(0);
    ASSERT_TRUE(WaitForJobs());
    Store->MarkRead(2);
    EXPECT_TRUE(Store->Reader().IsShown());
    Store->MarkAllRead();
    EXPECT_EQ(hidden.size(), 1);
    EXPECT_FALSE(Store->Reader().IsShown());
}

// The view is prepared on a thread of its own: opening another message while a large one is
// still being prepared shows only the later one.
TEST_F(MessageStore, ALaterOpenSupersedesAPreparationStillRunning) {
    TFakePOP3Server server;
    server.AddMessage("big", Mail("big"));
    server.AddMessage("small", Mail("small"));
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    std::string big = Mail("big");
    while (big.size() < (size_t(16) << 20))
        big += std::string(76, 'x') + "\r\n";
    WriteCacheFile(Store->CachePath(0, Store->Entries()[0].UID), true, big);
    QSignalSpy ready(&Store->Reader(), &TReadSession::Ready);
    Open(0);
    Open(1);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(ready.size(), 1);
    EXPECT_EQ(ready[0][0].value<TEntryId>(), Store->Entries()[1].Id);
    EXPECT_EQ(ready[0][1].value<TReadViewPtr>()->Subject, "small");
}

// A body of many megabytes is cut for the Text tab, on a character boundary, and says where the
// rest is; the source stays whole.
TEST(ReadView, AHugeBodyIsCutForTheTextTabAndSaysWhereTheRestIs) {
    std::string text = "Subject: long\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n";
    while (text.size() < (size_t(6) << 20))
        text += "Grüße aus der Ferne, " + std::to_string(text.size()) + "\r\n";
    const auto source = std::make_shared<const std::string>(text);
    const std::atomic<bool> cancelled{false};
    const TReadView view = PrepareReadView(source, true, cancelled, nullptr);
    EXPECT_LT(view.BodyHtml.size(), qsizetype(5) << 20);
    EXPECT_TRUE(view.BodyHtml.contains("Grüße aus der Ferne, 60"));
    EXPECT_TRUE(view.BodyHtml.contains("MB more; the Source tab has the whole message."));
    EXPECT_FALSE(view.BodyHtml.contains(QChar::ReplacementCharacter));
    EXPECT_EQ(view.Source, source);
}
