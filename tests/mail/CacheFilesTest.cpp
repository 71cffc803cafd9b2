// Cache files: round trips, entries that are no plain file of ours, cut-off writes, leftovers.
#include "cache/CacheFiles.h"
#include "core/Global.h"
#include "core/Options.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CacheFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        FOldAppPath = AppPath;
        AppPath = FDir.Path();
        std::filesystem::create_directories(FDir.File("cache"));
        FPath = CacheFileName("Home", "u1");
    }
    void TearDown() override { AppPath = FOldAppPath; }

    std::vector<std::string> CacheFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(FDir.File("cache")))
            names.push_back(entry.path().filename().string());
        return names;
    }

    TTempDir FDir;
    std::string FPath;

  private:
    std::string FOldAppPath;
};

TEST_F(CacheFiles, WriteThenReadKeepsFlagAndBytesInTheStoredFormat) {
    const std::string text("Subject: x\r\n\r\nnul \0 and \x01\r\n", 28);
    WriteCacheFile(FPath, true, text);
    EXPECT_EQ(TTempDir::ReadFile(FPath), "\x01" + text);
    EXPECT_EQ(std::filesystem::status(FPath).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    TCacheFile file;
    ASSERT_TRUE(ReadCacheFile(FPath, file));
    EXPECT_TRUE(file.Complete);
    EXPECT_EQ(file.Text, text);

    WriteCacheFile(FPath, false, "top");
    ASSERT_TRUE(ReadCacheFile(FPath, file));
    EXPECT_FALSE(file.Complete);
    EXPECT_EQ(file.Text, "top");
    EXPECT_EQ(CacheFolder(), std::vector<std::string>{std::filesystem::path(FPath).filename()});
}

TEST_F(CacheFiles, LinkInPlaceIsAbsentAndTheWriteReplacesTheLinkNotItsTarget) {
    const std::string outside = FDir.File("outside");
    TTempDir::WriteFile(outside, "\x01secret");
    std::filesystem::create_symlink(outside, FPath);
    TCacheFile file;
    EXPECT_FALSE(ReadCacheFile(FPath, file));

    WriteCacheFile(FPath, true, "fetched");
    EXPECT_EQ(TTempDir::ReadFile(outside), "\x01secret");
    EXPECT_FALSE(std::filesystem::is_symlink(FPath));
    ASSERT_TRUE(ReadCacheFile(FPath, file));
    EXPECT_EQ(file.Text, "fetched");
}

TEST_F(CacheFiles, EntriesThatAreNoPlainFileOfOursAreAbsent) {
    TCacheFile file;
    ASSERT_EQ(mkfifo(FPath.c_str(), 0600), 0);
    EXPECT_FALSE(ReadCacheFile(FPath, file)); // and does not wait for a writer
    std::filesystem::remove(FPath);

    std::filesystem::create_directories(FPath + "/inside");
    EXPECT_FALSE(ReadCacheFile(FPath, file));
    std::filesystem::remove_all(FPath);

    // A second name of a file elsewhere.
    const std::string outside = FDir.File("outside");
    TTempDir::WriteFile(outside, "\x01secret");
    std::filesystem::create_hard_link(outside, FPath);
    EXPECT_FALSE(ReadCacheFile(FPath, file));
    std::filesystem::remove(FPath);

    if (geteuid() == 0) {
        TTempDir::WriteFile(FPath, "\x01theirs");
        ASSERT_EQ(chown(FPath.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(ReadCacheFile(FPath, file));
    }
}

TEST_F(CacheFiles, EmptyOrFlaglessFilesAreAbsent) {
    TCacheFile file;
    for (const std::string bytes : {"", "\x02text", "Subject: x"}) {
        TTempDir::WriteFile(FPath, bytes);
        EXPECT_FALSE(ReadCacheFile(FPath, file)) << bytes;
    }
}

// A disk that fills up midway: the former copy stays whole and nothing half written stays.
TEST_F(CacheFiles, CutOffWriteThrowsNamingTheFileAndKeepsTheFormerCopy) {
    WriteCacheFile(FPath, false, "first lines");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        WriteCacheFile(FPath, true, std::string(10000, 'x'));
    } catch (const std::runtime_error& error) {
        message = error.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_NE(message.find(FPath), std::string::npos) << message;
    EXPECT_NE(message.find("File too large"), std::string::npos) << message;
    TCacheFile file;
    ASSERT_TRUE(ReadCacheFile(FPath, file));
    EXPECT_FALSE(file.Complete);
    EXPECT_EQ(file.Text, "first lines");
    EXPECT_EQ(CacheFolder(), std::vector<std::string>{std::filesystem::path(FPath).filename()});
}

// What a crash leaves mid-write goes with the stale files; a current cache file stays.
TEST_F(CacheFiles, StaleCleanupRemovesWhatACutOffWriteLeft) {
    WriteCacheFile(FPath, true, "kept");
    const std::string name = std::filesystem::path(FPath).filename();
    const std::string leftover = FDir.File("cache/." + name + ".a1B2c3");
    TTempDir::WriteFile(leftover, "\x01half");
    TTempDir::WriteFile(FDir.File("cache/notes.txt"), "mine");
    RemoveStaleCacheFiles({CacheFileName("Home", "u1")});
    EXPECT_FALSE(TTempDir::Exists(leftover));
    EXPECT_TRUE(TTempDir::Exists(FPath));
    EXPECT_TRUE(TTempDir::Exists(FDir.File("cache/notes.txt")));
}

} // namespace
