// Benchmark: the bar's store and worker announcing every message of Dovecot mailboxes of
// 1,000 and 10,000 messages (bar entry and list row), against the bare worker doing the
// same check with handlers that only count, in the same run.
#include "DovecotServer.h"
#include "MainLoop.h"
#include "TempDir.h"
#include "bar/FMain.h"
#include "core/UGlobal.h"
#include "core/UOptions.h"
#include "windows/FMsgList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// Resident memory now, in MiB.
double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
}

// Peak resident memory of the process so far, in MiB.
double PeakMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

struct TRun {
    double Seconds = 0;
    double MemoryMiB = 0; // resident growth while the run's data was held
};

// The peer: one check by the worker alone, its events counting on a plain loop.
TRun WorkerOnly(TDovecotServer& dovecot, int user, int expected) {
    TMainLoop loop;
    TQBThread worker(
        30000, [&](const std::function<void()>& call) { loop.Synchronize(call); }, nullptr);
    bool handedOver = false, done = false;
    int messages = 0;
    worker.OnGetTask = [&](TQBThread& sender, bool& hasTask) {
        hasTask = !handedOver;
        if (!hasTask)
            return;
        handedOver = true;
        sender.Task.Kind = tkCheck;
        sender.Task.Host = "127.0.0.1";
        sender.Task.Port = dovecot.Port();
        sender.Task.User = dovecot.User(user);
        sender.Task.Pass = dovecot.Password(user);
        sender.Task.Account = 0;
        sender.ServerList.clear();
    };
    worker.OnMessage = [&](TQBThread&, const TStringList*, int, const std::string&) { ++messages; };
    worker.OnCheckDone = [&](TQBThread&) { done = true; };
    const double before = ResidentMiB();
    QElapsedTimer timer;
    timer.start();
    worker.Resume();
    loop.RunUntil([&] { return done; }, 600000);
    TRun run{timer.elapsed() / 1000.0, ResidentMiB() - before};
    worker.Terminate();
    loop.RunUntil([&] { return worker.Finished.load(); }, 10000);
    if (messages != expected)
        std::cerr << "store_bench: the worker saw " << messages << " of " << expected << "\n";
    return run;
}

// The program's store: the bar (which queues the first check) and the message list.
TRun Store(TDovecotServer& dovecot, int user, int expected) {
    TTempDir folder;
    AppPath = folder.Path();
    std::filesystem::create_directories(AppPath + "/cache");
    Options = TOptions();
    Accounts.clear();
    TAccount account;
    account.AccountName = "Bench";
    account.POPHost = "127.0.0.1";
    account.POPPort = dovecot.Port();
    account.POPUser = dovecot.User(user);
    account.POPPass = dovecot.Password(user);
    AddAccount(account, true);

    const double before = ResidentMiB();
    QElapsedTimer timer;
    timer.start();
    auto* bar = new TfrmMain;
    auto* list = new TfrmMsgList(bar);
    bar->show();
    list->show();
    while (
        !(bar->Buttons.size() == static_cast<size_t>(expected) && list->RowCount() == expected)) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (timer.elapsed() > 600000) {
            std::cerr << "store_bench: timed out at " << bar->Buttons.size() << "\n";
            break;
        }
    }
    TRun run{timer.elapsed() / 1000.0, ResidentMiB() - before};
    delete list;
    delete bar;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TTempDir config;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    QApplication app(argc, argv);
    const std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "store_bench: " << why << "\n";
        return 1;
    }
    const int sizes[2] = {1000, 10000};
    TDovecotServer dovecot(2, 0);
    for (int user = 0; user < 2; ++user)
        for (int n = 1; n <= sizes[user]; ++n)
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(n));

    TRun store[2], peer[2];
    for (int user = 0; user < 2; ++user) {
        peer[user] = WorkerOnly(dovecot, user, sizes[user]);
        store[user] = Store(dovecot, user, sizes[user]);
    }
    std::printf("%-10s %14s %14s %12s %14s\n", "messages", "store s", "worker-only s", "store/peer",
                "store MiB");
    for (int i = 0; i < 2; ++i)
        std::printf("%-10d %14.3f %14.3f %12.2f %14.1f\n", sizes[i], store[i].Seconds,
                    peer[i].Seconds, store[i].Seconds / peer[i].Seconds, store[i].MemoryMiB);
    std::printf("10,000 / 1,000: store %.2f, worker-only %.2f (linear cost: about 10)\n",
                store[1].Seconds / store[0].Seconds, peer[1].Seconds / peer[0].Seconds);
    std::printf("peak resident memory of the run: %.1f MiB\n", PeakMiB());
    return 0;
}
