// Start-up in process: skin choice, the missing-skin box, the lock, windows, cache folder,
// save at the end.
#include "app/Startup.h"
#include "bar/FMain.h"
#include "core/Global.h"
#include "core/Settings.h"
#include "platform/ForceForeground.h"
#include "platform/MessageBox.h"
#include "skin/Skin.h"

#include "TempDir.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace {

// The running program's bar, found as a user's tools would find it: by its name.
QWidget* Bar() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "frmMain")
            return window;
    return nullptr;
}

// Points AppPath, the runtime folder and the temporary folder at a fresh folder.
class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FOldAppPath = AppPath;
        AppPath = FDir.File("app");
        std::filesystem::create_directories(AppPath);
        std::filesystem::create_directories(FDir.File("run"));
        chmod(FDir.File("run").c_str(), 0700);
        std::filesystem::create_directories(FDir.File("tmp"));
        FOldRuntime = Saved("XDG_RUNTIME_DIR");
        FOldTemp = Saved("TMPDIR");
        qputenv("XDG_RUNTIME_DIR", FDir.File("run").c_str());
        qputenv("TMPDIR", FDir.File("tmp").c_str());
        ClearRecordedMessageBoxes();
    }
    void TearDown() override {
        AppPath = FOldAppPath;
        Restore("XDG_RUNTIME_DIR", FOldRuntime);
        Restore("TMPDIR", FOldTemp);
        ClearRecordedMessageBoxes();
    }

    // A copy of the shipped Default skin under another folder name.
    void AddSkin(const std::string& name) const {
        std::filesystem::create_directories(AppPath + "/Skins");
        std::filesystem::copy(QB_SKINS_DIR "/Default", AppPath + "/Skins/" + name);
    }

    TTempDir FDir;

  private:
    static std::optional<QByteArray> Saved(const char* name) {
        return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<QByteArray>& value) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }

    std::string FOldAppPath;
    std::optional<QByteArray> FOldRuntime, FOldTemp;
};

} // namespace

TEST_F(StartupTest, NoSkinsShowsTheBoxAndNoWindow) {
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    EXPECT_EQ(RunQuillbar(), 1);
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].Caption, "Error");
    EXPECT_EQ(RecordedMessageBoxes()[0].Text, "No skins were found, please re-install Quillbar!");
    EXPECT_EQ(RecordedMessageBoxes()[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Bar(), nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(AppPath + "/cache"));
}

TEST_F(StartupTest, RunsWindowsInOrderAndSavesAfterTheyAreGone) {
    AddSkin("Default");
    AddSkin("Zebra");
    // The stored name differs in case only: it does not match and the first skin is used.
    TTempDir::WriteFile(AppPath + "/quillbar.ini", "[Options]\nSkin=zebra\n");

    bool barShown = false;
    int barHeight = 0;
    QString barName;
    bool cacheExists = false;
    QTimer::singleShot(0, [&] {
        barShown = Bar() && Bar()->isVisible();
        barName = Bar() ? Bar()->objectName() : QString();
        barHeight = Bar() ? Bar()->height() : 0;
        cacheExists = std::filesystem::is_directory(AppPath + "/cache");
        // Ends the run as a desktop's kill would.
        std::raise(SIGTERM);
    });
    EXPECT_EQ(RunQuillbar(), 0);

    EXPECT_TRUE(barShown);
    EXPECT_EQ(barName, "frmMain");
    EXPECT_EQ(barHeight, Skin().Height > 0 ? Skin().Height : 24);
    EXPECT_TRUE(cacheExists);
    EXPECT_EQ(Bar(), nullptr);
    EXPECT_EQ(Settings().Options().Skin, "Default");
    EXPECT_NE(TTempDir::ReadFile(AppPath + "/quillbar.ini").find("Skin=Default\n"),
              std::string::npos);
}

// The first start writes its defaults at once, before any window could write a section of
// its own; a file that exists, lacking those keys, keeps what they meant before.
TEST_F(StartupTest, FirstStartWritesTimedDockedDefaultsAndAnOldFileKeepsItsOwn) {
    AddSkin("Default");
    const std::string ini = AppPath + "/quillbar.ini";
    // A notification service here is this process holding the name, where a bus exists.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const bool service = bus.isConnected() && bus.registerService("org.freedesktop.Notifications");
    std::string whileRunning;
    QTimer::singleShot(0, [&] {
        if (TTempDir::Exists(ini))
            whileRunning = TTempDir::ReadFile(ini);
        std::raise(SIGTERM);
    });
    EXPECT_EQ(RunQuillbar(), 0);
    if (service)
        bus.unregisterService("org.freedesktop.Notifications");
    for (const char* line : {"IntervalCheck=1\n", "Interval=5\n", "Edge=1\n"})
        EXPECT_NE(whileRunning.find(line), std::string::npos) << line << whileRunning;
    EXPECT_NE(whileRunning.find(service ? "Notify=1\n" : "Notify=0\n"), std::string::npos)
        << whileRunning;

    TTempDir::WriteFile(ini, "[Options]\nSkin=Default\n");
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    EXPECT_EQ(RunQuillbar(), 0);
    const std::string kept = TTempDir::ReadFile(ini);
    for (const char* line : {"IntervalCheck=0\n", "Notify=0\n", "Edge=5\n"})
        EXPECT_NE(kept.find(line), std::string::npos) << line << kept;
}

// A skin whose bitmap is broken, or a folder without skin.ini, must not end the program
// with an unhandled error: the failure is shown and the next skin that loads is used.
TEST_F(StartupTest, UnloadableSkinIsShownAndTheNextSkinThatLoadsIsUsed) {
    AddSkin("Broken");
    TTempDir::WriteFile(AppPath + "/Skins/Broken/button.bmp", "not a bitmap");
    std::filesystem::create_directories(AppPath + "/Skins/Empty");
    AddSkin("Zebra");
    TTempDir::WriteFile(AppPath + "/quillbar.ini", "[Options]\nSkin=Broken\n");
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    bool barShown = false;
    QTimer::singleShot(0, [&] {
        barShown = Bar() && Bar()->isVisible();
        std::raise(SIGTERM);
    });
    EXPECT_EQ(RunQuillbar(), 0);
    EXPECT_TRUE(barShown);
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    EXPECT_EQ(RecordedMessageBoxes()[0].Caption, "Error");
    EXPECT_EQ(RecordedMessageBoxes()[0].Text, "Bitmap image is not valid");
    EXPECT_FALSE(Skin().Button.Bitmap.isNull());
    // The other skin is for this run only: the user's choice is kept.
    EXPECT_EQ(Settings().Options().Skin, "Broken");
    EXPECT_NE(TTempDir::ReadFile(AppPath + "/quillbar.ini").find("Skin=Broken\n"),
              std::string::npos);

    // Nothing loads: the reason, then the missing-skin box, and no window.
    ClearRecordedMessageBoxes();
    TTempDir::WriteFile(AppPath + "/Skins/Zebra/background.bmp", "");
    TTempDir::WriteFile(AppPath + "/quillbar.ini", "[Options]\nSkin=Empty\n");
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    EXPECT_EQ(RunQuillbar(), 1);
    ASSERT_EQ(RecordedMessageBoxes().size(), 2u);
    EXPECT_EQ(RecordedMessageBoxes()[0].Text, "The specified skin does not exist!");
    EXPECT_EQ(RecordedMessageBoxes()[1].Text, "No skins were found, please re-install Quillbar!");
    EXPECT_EQ(Bar(), nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

// A termination signal while a start-up box waits for the user ends the program then,
// not only once someone answers the box, and no later box (here: no skin loads) holds it.
TEST_F(StartupTest, TerminationDuringAStartUpBoxEndsTheProgram) {
    AddSkin("Broken");
    TTempDir::WriteFile(AppPath + "/Skins/Broken/arrows.bmp", "not a bitmap");
    TTempDir::WriteFile(AppPath + "/quillbar.ini", "[Options]\nSkin=Broken\n");
    bool boxShown = false, answeredByTest = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!boxShown && QApplication::activeModalWidget()) {
            boxShown = true;
            std::raise(SIGTERM);
        }
    });
    watch.start(10);
    // Only so that a failure cannot hang the test run.
    QTimer safety;
    QObject::connect(&safety, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            answeredByTest = true;
            box->close();
        }
        if (QWidget* bar = Bar())
            bar->close();
    });
    safety.start(5000);
    EXPECT_EQ(RunQuillbar(), 0);
    EXPECT_TRUE(boxShown);
    EXPECT_FALSE(answeredByTest);
    EXPECT_EQ(Bar(), nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

// A runtime folder where the lock cannot be made is not another running copy: the start
// fails with the folder and the reason. A regular file as parent defeats even root.
TEST_F(StartupTest, LockThatCannotBeMadeEndsTheStartWithTheReason) {
    AddSkin("Default");
    TTempDir::WriteFile(FDir.File("file"), "");
    qputenv("XDG_RUNTIME_DIR", FDir.File("file/run").c_str());
    qputenv("TMPDIR", FDir.File("file/tmp").c_str());
    SetNextMessageBoxAnswer(QMessageBox::Ok);
    // Only so that a start that wrongly succeeds cannot hang the test run.
    QTimer::singleShot(5000, [] {
        if (QWidget* bar = Bar())
            bar->close();
    });
    EXPECT_EQ(RunQuillbar(), 1);
    ASSERT_EQ(RecordedMessageBoxes().size(), 1u);
    const QString text = RecordedMessageBoxes()[0].Text;
    EXPECT_TRUE(text.startsWith("Quillbar cannot start")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(FDir.File("file/")))) << text.toStdString();
    EXPECT_TRUE(text.contains("Not a directory")) << text.toStdString();
    EXPECT_FALSE(TTempDir::Exists(AppPath + "/quillbar.ini"));
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

TEST_F(StartupTest, LeftoverSavesFromBeforeTheStartAreRemoved) {
    namespace fs = std::filesystem;
    using namespace std::chrono_literals;
    AddSkin("Default");
    const auto now = fs::file_time_type::clock::now();
    const auto makeFile = [&](const std::string& name, fs::file_time_type written) {
        TTempDir::WriteFile(AppPath + "/" + name, "[Options]\n");
        fs::last_write_time(AppPath + "/" + name, written);
    };
    makeFile(".quillbar.ini.a1B2c3", now - 1h);
    makeFile(".quillbar.ini.later1", now + 1h); // written after the start: not a leftover
    makeFile(".quillbar.ini.bak", now - 1h);    // not a name the settings writer makes
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    EXPECT_EQ(RunQuillbar(), 0);
    EXPECT_FALSE(TTempDir::Exists(AppPath + "/.quillbar.ini.a1B2c3"));
    EXPECT_TRUE(TTempDir::Exists(AppPath + "/.quillbar.ini.later1"));
    EXPECT_TRUE(TTempDir::Exists(AppPath + "/.quillbar.ini.bak"));
}

TEST(ForceForeground, ShowsAndActivatesAHiddenWindow) {
    QWidget window;
    EXPECT_TRUE(ForceForeground(&window));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ForceForeground(&window));
    EXPECT_FALSE(ForceForeground(nullptr));
}

// The switches the benchmarks use reach the program; --help and an unknown option end it at
// once, the latter as an error.
TEST(CommandLine, BenchmarkSwitchesHelpAndUnknownOptions) {
    const auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "quillbar");
        return ParseCommandLine(static_cast<int>(args.size()), const_cast<char**>(args.data()));
    };
    const TCommandLine plain = parse({});
    EXPECT_TRUE(plain.Pipelining);
    EXPECT_TRUE(plain.StallLog.isEmpty());
    EXPECT_FALSE(plain.Done);
    const TCommandLine bench = parse({"--no-pipelining", "--stall-log", "/tmp/stall"});
    EXPECT_FALSE(bench.Pipelining);
    EXPECT_EQ(bench.StallLog, "/tmp/stall");
    testing::internal::CaptureStdout();
    const TCommandLine help = parse({"--help"});
    const std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(help.Done);
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(shown.find("Usage: quillbar [options]"), std::string::npos);
    EXPECT_NE(shown.find("--no-pipelining"), std::string::npos);
    testing::internal::CaptureStderr();
    const TCommandLine wrong = parse({"--bogus"});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Unknown option 'bogus'"),
              std::string::npos);
    EXPECT_TRUE(wrong.Done);
    EXPECT_EQ(wrong.ExitCode, 2);
}
