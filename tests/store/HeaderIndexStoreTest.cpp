// The header index across restarts of the store: entries known from the last run show at
// once, only new headers are fetched, and an index that is damaged or disagrees with the
// server gives way to what the server says.
#include "StoreTest.h"

#include "FakePOP3Server.h"
#include "cache/CacheFiles.h"
#include "core/Folders.h"
#include "model/HeaderIndex.h"

#include <algorithm>
#include <filesystem>

namespace {

std::string Mail(const std::string& subject, const std::string& body = "Body") {
    return "From: a@example.org\r\nSubject: " + subject + "\r\n\r\n" + body + "\r\n";
}

std::vector<std::string> Captions(const TMessageStore& store) {
    std::vector<std::string> captions;
    for (int i = 0; i < static_cast<int>(store.Entries().size()); ++i)
        captions.push_back(store.Caption(i));
    return captions;
}

std::vector<std::string> TopsSent(const std::vector<std::string>& commands) {
    std::vector<std::string> tops;
    std::copy_if(commands.begin(), commands.end(), std::back_inserter(tops),
                 [](const std::string& command) { return command.rfind("TOP ", 0) == 0; });
    return tops;
}

// The index file of the cache folder, as its text: there is one account.
std::string IndexFile() {
    for (const auto& file : std::filesystem::directory_iterator(CacheFolder())) {
        TCacheFile cached;
        if (ReadCacheFile(file.path(), cached) &&
            cached.Text.rfind("Quillbar header index", 0) == 0)
            return file.path();
    }
    return "";
}

std::vector<std::string> IndexedSubjects() {
    TCacheFile cached;
    std::vector<TIndexedEntry> entries;
    std::vector<std::string> subjects;
    if (ReadCacheFile(IndexFile(), cached) && ParseHeaderIndex(cached.Text, entries))
        for (const TIndexedEntry& entry : entries)
            subjects.push_back(entry.Fields.Subject);
    return subjects;
}

} // namespace

class HeaderIndex : public TStoreTest {
  protected:
    // A scripted server with u1 to u3, whose headers a first run has put in the index.
    void IndexThreeMessages(TFakePOP3Server& server) {
        for (const char* uid : {"u1", "u2", "u3"})
            server.AddMessage(uid, Mail(uid));
        AddLoopbackAccount("Home", server.Port());
        StartProgram();
        ASSERT_TRUE(WaitForJobs());
        StopProgram();
    }
};

TEST_F(HeaderIndex, RestartShowsKnownMessagesAtOnceAndFetchesOnlyNewHeaders) {
    QB_NEED_DOVECOT();
    const int user = AddDovecotAccount("Home", 3);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    Store->MarkRead(0);
    StopProgram();

    Dovecot().DeleteMessage(user, Dovecot().MessageFiles(user)[1]);
    Dovecot().AddMessage(user, TDovecotServer::GenerateMessage(4));
    Dovecot().ClearCommands();
    StartProgram();
    // Before the check has said anything: the last run's entries, read mark and hint.
    ASSERT_EQ(Captions(*Store),
              (std::vector<std::string>{"Test message 1 (Home)", "Test message 2 (Home)",
                                        "Test message 3 (Home)"}));
    EXPECT_TRUE(Store->Entries()[0].Read);
    EXPECT_NE(Store->Hint(2).find("From: sender3@example.org"), std::string::npos);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Captions(*Store),
              (std::vector<std::string>{"Test message 1 (Home)", "Test message 3 (Home)",
                                        "Test message 4 (Home)"}));
    EXPECT_EQ(Store->Entries()[2].MsgNum, 3);
    ASSERT_TRUE(WaitUntil([&] { return !TopsSent(Dovecot().Commands()).empty(); }));
    EXPECT_EQ(TopsSent(Dovecot().Commands()), (std::vector<std::string>{"TOP 3 0"}));
    StopProgram();
    EXPECT_EQ(IndexedSubjects(),
              (std::vector<std::string>{"Test message 1", "Test message 3", "Test message 4"}));
}

TEST_F(HeaderIndex, IndexThatDisagreesWithTheServerOrIsDamagedIsMadeAgain) {
    TFakePOP3Server server;
    IndexThreeMessages(server);
    ASSERT_EQ(IndexedSubjects(), (std::vector<std::string>{"u1", "u2", "u3"}));

    // The server now gives u2's key to a message of another size.
    server.RemoveMessage(2);
    server.AddMessage("u2", Mail("another u2", "A longer body"));
    ASSERT_TRUE(server.WaitIdle());
    const size_t before = server.Commands().size();
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Captions(*Store),
              (std::vector<std::string>{"u1 (Home)", "another u2 (Home)", "u3 (Home)"}));
    const std::vector<std::string> commands = server.Commands();
    EXPECT_EQ(TopsSent({commands.begin() + static_cast<ptrdiff_t>(before), commands.end()}),
              (std::vector<std::string>{"TOP 3 0"}));
    StopProgram();

    // Cut short, or of another version: every header is fetched again and the index made anew.
    const std::string path = IndexFile();
    TCacheFile cached;
    ASSERT_TRUE(ReadCacheFile(path, cached));
    std::string otherVersion = cached.Text;
    otherVersion.replace(0, otherVersion.find('\n'), "Quillbar header index 1");
    for (const std::string& damaged :
         {cached.Text.substr(0, cached.Text.size() / 2), otherVersion}) {
        WriteCacheFile(path, true, damaged);
        ASSERT_TRUE(server.WaitIdle());
        const size_t start = server.Commands().size();
        StartProgram();
        EXPECT_TRUE(Store->Entries().empty());
        ASSERT_TRUE(WaitForJobs());
        EXPECT_EQ(Captions(*Store).size(), 3u);
        const std::vector<std::string> sent = server.Commands();
        EXPECT_EQ(TopsSent({sent.begin() + static_cast<ptrdiff_t>(start), sent.end()}).size(), 3u);
        StopProgram();
        EXPECT_EQ(IndexedSubjects(), (std::vector<std::string>{"u1", "u3", "another u2"}));
    }
}

TEST_F(HeaderIndex, CheckThatEndsEarlyKeepsWhatTheIndexKnew) {
    TFakePOP3Server server;
    IndexThreeMessages(server);

    // u1 has gone, and the check breaks off at the header of the new u4.
    server.RemoveMessage(1);
    server.AddMessage("u4", Mail("u4"));
    server.Script("TOP 3", TFakePOP3Server::TAction::Close);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Captions(*Store), (std::vector<std::string>{"u1 (Home)", "u2 (Home)", "u3 (Home)"}));
    StopProgram();
    EXPECT_EQ(IndexedSubjects(), (std::vector<std::string>{"u1", "u2", "u3"}));
}

TEST_F(HeaderIndex, EditedIndexTextIsCleanedAndCutAsTextFromTheServerIs) {
    TFakePOP3Server server;
    IndexThreeMessages(server);
    const std::string hostile = "Pay\x01\x1B[31m \xE2\x80\xAEgpj.exe";
    server.AddMessage("u4", Mail(hostile));
    TCacheFile cached;
    std::vector<TIndexedEntry> entries;
    ASSERT_TRUE(ReadCacheFile(IndexFile(), cached) && ParseHeaderIndex(cached.Text, entries));
    entries[0].Fields.Subject = hostile;
    entries[1].Fields.Subject = std::string(1 << 20, 'x');
    WriteCacheFile(IndexFile(), true, HeaderIndexText(entries));

    StartProgram();
    const std::vector<std::string> loaded = Captions(*Store);
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_LT(loaded[1].size(), size_t(64) << 10);
    ASSERT_TRUE(WaitForJobs());
    const std::vector<std::string> checked = Captions(*Store);
    ASSERT_EQ(checked.size(), 4u);
    EXPECT_EQ(loaded[0], checked[3]);
    EXPECT_EQ(checked[3], "Pay[31m gpj.exe (Home)");
}

TEST_F(HeaderIndex, IndexIsWrittenWhileTheProgramRunsAndAgainAfterLaterChanges) {
    // More entries than the index takes in one turn of the event loop.
    TFakePOP3Server server;
    const int count = 5000;
    for (int n = 1; n <= count; ++n)
        server.AddMessage("u" + std::to_string(n), Mail("s" + std::to_string(n)));
    AddLoopbackAccount("Home", server.Port());
    StartProgram();
    ASSERT_TRUE(WaitForJobs(120000));
    // Taken away while the index may be in the middle of being written.
    Store->RemoveEntry(count - 1);
    Store->RemoveEntry(0);
    ASSERT_TRUE(WaitUntil([] { return IndexedSubjects().size() >= count - 2; }));
    StopProgram();
    const std::vector<std::string> subjects = IndexedSubjects();
    ASSERT_EQ(subjects.size(), count - 2u);
    EXPECT_EQ(subjects.front(), "s2");
    EXPECT_EQ(subjects.back(), "s4999");
}
