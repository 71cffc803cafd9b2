// Store test base: a program folder per test, the message store with its real worker,
// Dovecot shared by the tests of a suite, and waits that serve the event loop.
#include "StoreTest.h"

#include "DovecotAccount.h"

#include "core/Global.h"
#include "core/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string_view>

std::unique_ptr<TDovecotServer> TStoreTest::FDovecot;
int TStoreTest::FNextUser = 0;

namespace {

constexpr int UserPool = 60;

} // namespace

void TStoreTest::UseTestSettingsFolder() {
    // Settings of the test run go to a folder of its own, not the user's.
    static TTempDir config;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
}

void TStoreTest::SetUpTestSuite() {
    UseTestSettingsFolder();
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "qb_store_tests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

void TStoreTest::TearDownTestSuite() {
    FDovecot.reset();
    FNextUser = 0;
}

void TStoreTest::SetUp() {
    Dir = std::make_unique<TTempDir>();
    AppPath = Dir->Path();
    std::filesystem::create_directories(AppPath + "/cache");
    Settings().Load();
}

void TStoreTest::TearDown() {
    StopProgram();
    Dir.reset();
}

void TStoreTest::StartProgram() {
    Store = std::make_unique<TMessageStore>(Config);
    Store->Start();
}

void TStoreTest::StopProgram() {
    if (Store)
        Store->Shutdown();
    Store.reset();
}

TDovecotServer& TStoreTest::Dovecot() {
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

int TStoreTest::AddDovecotAccount(const std::string& name, int messages, bool active) {
    TDovecotServer& server = Dovecot();
    if (FNextUser >= server.UserCount())
        throw std::runtime_error("the Dovecot user pool is used up");
    const int user = FNextUser++;
    for (int i = 1; i <= messages; ++i)
        server.AddMessage(user, TDovecotServer::GenerateMessage(i));
    TAccount account = DovecotAccount(server, user, name);
    account.Active = active;
    Settings().AddAccount(account);
    return user;
}

int TStoreTest::AddDovecotIMAPAccount(const std::string& name, int messages, bool active) {
    const int user = AddDovecotAccount(name, messages, active);
    const int index = Settings().IndexOf(name);
    TAccountConfig account = Settings().Accounts()[static_cast<size_t>(index)];
    account.Protocol = TMailProtocol::IMAP;
    account.Port = Dovecot().IMAPPort();
    Settings().EditAccount(name, account);
    return user;
}

void TStoreTest::AddLoopbackAccount(const std::string& name, int port, bool active) {
    TAccount account;
    account.AccountName = name;
    account.Host = "127.0.0.1";
    account.Port = port;
    account.User = "user";
    account.Pass = "pass";
    account.Active = active;
    Settings().AddAccount(account);
}

bool TStoreTest::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
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

void TStoreTest::Open(int index) {
    Store->Reader().Open(Store->Entries()[static_cast<size_t>(index)].Id);
}

bool TStoreTest::WaitForJobs(int timeoutMs) {
    // A message opened from its cache file is prepared first, and fetched only when there is
    // none; a fetched one is then prepared: both on the read session's thread.
    return WaitUntil([this] { return Store->Tasks().empty() && !Store->Reader().IsPreparing(); },
                     timeoutMs);
}

void TStoreTest::PrintServerCommands(const std::string& step) {
    WaitUntil(
        [this] {
            const std::vector<std::string> commands = Dovecot().Commands();
            return !commands.empty() && commands.back() == "QUIT";
        },
        5000);
    std::cout << step << ", Dovecot saw:";
    for (const std::string& command : Dovecot().Commands())
        std::cout << " " << command << ";";
    std::cout << "\n";
    Dovecot().ClearCommands();
}

void TStoreTest::LetSessionEnd(size_t staying) {
    // The worker closes its session when it finds no job: the server logs every login, and the
    // end of each logged-in session (its login process logs the ends of connections that never
    // logged in, such as the fixture's probes), so only the ones that stay remain.
    auto open = [](const std::string& log) {
        long sessions = 0;
        for (size_t start = 0; start < log.size();) {
            size_t end = log.find('\n', start);
            if (end == std::string::npos)
                end = log.size();
            const std::string_view line(log.data() + start, end - start);
            if (line.find("-login: ") != std::string_view::npos)
                sessions += line.find("Login: user=") != std::string_view::npos ? 1 : 0;
            else if (line.find(": Disconnected") != std::string_view::npos)
                --sessions;
            start = end + 1;
        }
        return sessions;
    };
    WaitUntil([&] { return open(Dovecot().Log()) <= static_cast<long>(staying); });
}
