// The real program started more than once in its own folder: one copy runs, later ones
// tell it and leave; termination signals end it the normal way and save the settings.
#include "core/Global.h"

#include "TempDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr int PatienceMs = 20000;

// A copy of the executable in a folder of its own with the Default skin beside it, and its own
// runtime and temporary folders so that lock and socket are private to the test.
class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directories(FDir.File("app/Skins"));
        fs::copy(QB_SKINS_DIR "/Default", FDir.File("app/Skins/Default"));
        fs::copy_file(QB_QUILLBAR_EXE, FDir.File("app/quillbar"));
        fs::create_directories(FDir.File("run"));
        chmod(FDir.File("run").c_str(), 0700);
        fs::create_directories(FDir.File("tmp"));
    }

    std::unique_ptr<QProcess> Start() const {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(FDir.File("run")));
        env.insert("TMPDIR", QString::fromStdString(FDir.File("tmp")));
        // Without settings beside it the copy keeps them in the home folder: a private one.
        env.insert("HOME", QString::fromStdString(FDir.File("home")));
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            env.remove(name);
        process->setProcessEnvironment(env);
        process->start(QString::fromStdString(FDir.File("app/quillbar")), {});
        EXPECT_TRUE(process->waitForStarted(PatienceMs));
        return process;
    }

    // True once the lock file names process as its holder.
    bool WaitForLock(const QProcess& process) const {
        return Eventually([&] {
            QFile lock(QString::fromStdString(FDir.File("run/Quillbar")));
            return lock.open(QIODevice::ReadOnly) &&
                   lock.readLine().trimmed().toLongLong() == process.processId();
        });
    }

    static bool WaitForOutput(QProcess& process, const QByteArray& text) {
        QByteArray seen;
        return Eventually([&] {
            process.waitForReadyRead(50);
            seen += process.readAllStandardError();
            return seen.contains(text);
        });
    }

    static bool Finished(QProcess& process) {
        return process.waitForFinished(PatienceMs) && process.exitStatus() == QProcess::NormalExit;
    }

    std::string Settings() const { return TTempDir::ReadFile(FDir.File("app/quillbar.ini")); }

    template <typename TCondition> static bool Eventually(TCondition condition) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < PatienceMs) {
            if (condition())
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    TTempDir FDir;
};

} // namespace

TEST_F(SingleInstanceTest, SecondCopyExitsAtOnceAndTheFirstIsTold) {
    auto first = Start();
    ASSERT_TRUE(WaitForLock(*first));

    auto second = Start();
    ASSERT_TRUE(Finished(*second));
    EXPECT_EQ(second->exitCode(), 0);
    // The second copy leaves the running copy's settings file alone.
    EXPECT_FALSE(TTempDir::Exists(FDir.File("app/quillbar.ini")));
    EXPECT_TRUE(WaitForOutput(*first, "another copy was started"));
    EXPECT_EQ(first->state(), QProcess::Running);

    first->terminate();
    ASSERT_TRUE(Finished(*first));
    EXPECT_EQ(first->exitCode(), 0);
}

TEST_F(SingleInstanceTest, TerminationSignalsSaveTheSettings) {
    for (int signalNumber : {SIGTERM, SIGINT}) {
        TTempDir::WriteFile(FDir.File("app/quillbar.ini"),
                            "[Options]\nSkin=Gone\n[Account=Home]\nX4=uid-a\nX9=uid-b\n");
        auto program = Start();
        ASSERT_TRUE(WaitForLock(*program));
        kill(static_cast<pid_t>(program->processId()), signalNumber);
        ASSERT_TRUE(Finished(*program)) << "signal " << signalNumber;
        EXPECT_EQ(program->exitCode(), 0);
        const std::string settings = Settings();
        EXPECT_NE(settings.find("Skin=Default\n"), std::string::npos) << settings;
        EXPECT_NE(settings.find("[Account=Home]\nX0=uid-a\nX1=uid-b\n"), std::string::npos)
            << settings;
        EXPECT_TRUE(std::filesystem::is_directory(FDir.File("app/cache")));
    }
}

TEST_F(SingleInstanceTest, LockOfAKilledCopyIsTakenOver) {
    auto dead = Start();
    ASSERT_TRUE(WaitForLock(*dead));
    dead->kill();
    dead->waitForFinished(PatienceMs);

    auto first = Start();
    ASSERT_TRUE(WaitForLock(*first));
    auto second = Start();
    ASSERT_TRUE(Finished(*second));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(WaitForOutput(*first, "another copy was started"));
    first->terminate();
    EXPECT_TRUE(Finished(*first));
}
