// The choice between the portable layout and the user's XDG folders.
#include "core/Folders.h"
#include "core/Global.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A program folder and a home in a fresh folder, with the XDG variables of the run put
// back afterwards.
class Folders : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : Variables) {
            const char* value = std::getenv(name);
            FSaved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
        setenv("HOME", Home().c_str(), 1);
        fs::create_directories(App());
    }

    void TearDown() override {
        for (const auto& [name, value] : FSaved)
            value ? setenv(name, value->c_str(), 1) : unsetenv(name);
        // Back to the portable layout that follows AppPath, as every other test expects.
        SetFolders({});
    }

    std::string App() const { return FDir.File("app"); }
    std::string Home() const { return FDir.File("home"); }

    TTempDir FDir;

  private:
    static constexpr const char* Variables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                                "XDG_DATA_HOME"};
    std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
};

} // namespace

TEST_F(Folders, SettingsBesideAWritableProgramFolderMakeItPortable) {
    TTempDir::WriteFile(App() + "/quillbar.ini", "");
    const TFolderLayout layout = ChooseFolders(App());
    EXPECT_TRUE(layout.Portable);
    EXPECT_EQ(layout.Config, App());
    EXPECT_EQ(layout.Cache, App() + "/cache");
}

TEST_F(Folders, WithoutSettingsBesideTheProgramTheXdgFoldersServe) {
    TFolderLayout layout = ChooseFolders(App());
    EXPECT_FALSE(layout.Portable);
    EXPECT_EQ(layout.Config, Home() + "/.config/quillbar");
    EXPECT_EQ(layout.Cache, Home() + "/.cache/quillbar");
    EXPECT_EQ(layout.UserSkins, Home() + "/.local/share/quillbar/skins");

    setenv("XDG_CONFIG_HOME", "/x/config", 1);
    setenv("XDG_CACHE_HOME", "/x/cache", 1);
    setenv("XDG_DATA_HOME", "/x/data", 1);
    layout = ChooseFolders(App());
    EXPECT_EQ(layout.Config, "/x/config/quillbar");
    EXPECT_EQ(layout.Cache, "/x/cache/quillbar");
    EXPECT_EQ(layout.UserSkins, "/x/data/quillbar/skins");
    // A relative path is no XDG folder.
    setenv("XDG_CONFIG_HOME", "config", 1);
    EXPECT_EQ(ChooseFolders(App()).Config, Home() + "/.config/quillbar");
}

// Settings beside a program the user may not write to (an installed one) never make it
// portable. Checked as an ordinary user, since root may write anywhere.
TEST_F(Folders, AFolderTheUserCannotWriteIsNeverPortable) {
    TTempDir::WriteFile(App() + "/quillbar.ini", "");
    fs::permissions(FDir.Path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(App(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                               fs::perms::others_exec);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(2);
        _exit(ChooseFolders(App()).Portable ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    fs::permissions(App(), fs::perms::owner_all);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Folders, UserSkinsComeBeforeTheInstalledOnes) {
    const std::string installed = FDir.File("usr/share/quillbar");
    const std::string user = FDir.File("data/quillbar/skins");
    fs::create_directories(installed + "/skins/Default");
    fs::create_directories(installed + "/skins/Graphite");
    fs::create_directories(user + "/Default");
    setenv("XDG_DATA_HOME", FDir.File("data").c_str(), 1);
    const std::string oldAppPath = AppPath;
    AppPath = FDir.File("usr/bin");
    fs::create_directories(AppPath);
    InitFolders();
    EXPECT_TRUE(InstalledCopy());
    EXPECT_EQ(SkinFolder("Default"), user + "/Default");
    EXPECT_EQ(SkinFolder("Graphite"), AppPath + "/../share/quillbar/skins/Graphite");
    EXPECT_EQ(HelpFile(), AppPath + "/../share/quillbar/quillbar.html");

    // A build tree keeps its skins beside the program and is no installed copy.
    fs::create_directories(AppPath + "/Skins/Default");
    InitFolders();
    EXPECT_FALSE(InstalledCopy());
    EXPECT_EQ(SkinFolders(), (std::vector<std::string>{user, AppPath + "/Skins"}));
    AppPath = oldAppPath;
}
