// GUI test base: the application on the offscreen platform, a program folder per test,
// the real bar and message list, and a Dovecot server shared by the tests of a suite.
#include "GuiTest.h"

#include "DovecotServer.h"
#include "bar/FMain.h"
#include "core/UGlobal.h"
#include "core/UOptions.h"
#include "windows/FMsgList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

std::unique_ptr<TDovecotServer> TGuiTest::FDovecot;
int TGuiTest::FNextUser = 0;

namespace {

constexpr int UserPool = 60;

QApplication* App() {
    static int argc = 1;
    static char name[] = "qb_gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // The list's column layout goes to a folder of the test run, not the user's.
        static TTempDir config;
        setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        return new QApplication(argc, argv);
    }();
    return app;
}

} // namespace

void TGuiTest::SetUpTestSuite() {
    App();
}

void TGuiTest::TearDownTestSuite() {
    FDovecot.reset();
    FNextUser = 0;
}

void TGuiTest::SetUp() {
    Dir = std::make_unique<TTempDir>();
    AppPath = Dir->Path();
    std::filesystem::create_directories(AppPath + "/cache");
    Options = TOptions();
    Accounts.clear();
    QSettings("Norvane", "Quillbar").clear();
}

void TGuiTest::TearDown() {
    StopProgram();
    Accounts.clear();
    Dir.reset();
}

TDovecotServer& TGuiTest::Dovecot() {
    if (!FDovecot) {
        const std::string why = TDovecotServer::Unavailable();
        if (!why.empty())
            throw std::runtime_error("Dovecot unavailable: " + why);
        // Users made up front: Dovecot may not see a user added within the same second
        // as the password file's last change.
        FDovecot = std::make_unique<TDovecotServer>(UserPool, 0);
    }
    return *FDovecot;
}

int TGuiTest::AddDovecotAccount(const std::string& name, int messages, bool active) {
    TDovecotServer& server = Dovecot();
    if (FNextUser >= server.UserCount())
        throw std::runtime_error("the Dovecot user pool is used up");
    const int user = FNextUser++;
    for (int i = 1; i <= messages; ++i)
        server.AddMessage(user, TDovecotServer::GenerateMessage(i));
    TAccount account;
    account.AccountName = name;
    account.POPHost = "127.0.0.1";
    account.POPPort = server.Port();
    account.POPUser = server.User(user);
    account.POPPass = server.Password(user);
    account.Active = active;
    AddAccount(account, true);
    return user;
}

void TGuiTest::AddLoopbackAccount(const std::string& name, int port, bool active) {
    TAccount account;
    account.AccountName = name;
    account.POPHost = "127.0.0.1";
    account.POPPort = port;
    account.POPUser = "user";
    account.POPPass = "pass";
    account.Active = active;
    AddAccount(account, true);
}

void TGuiTest::StartProgram() {
    Main = std::make_unique<TfrmMain>();
    List = std::make_unique<TfrmMsgList>(Main.get());
}

void TGuiTest::StopProgram() {
    Main.reset();
    List.reset();
}

bool TGuiTest::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    // A real event loop, so that the worker's events are served as the program serves them.
    if (condition())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || elapsed.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(2);
    loop.exec();
    return condition();
}

bool TGuiTest::WaitForJobs(int timeoutMs) {
    return WaitUntil([this] { return Main->Tasks.empty(); }, timeoutMs);
}

void TGuiTest::LetSessionEnd() {
    // The worker asks for a job every 500 ms and quits its session when there is none.
    QElapsedTimer timer;
    timer.start();
    WaitUntil([&] { return timer.elapsed() > 800; });
}
