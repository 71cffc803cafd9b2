// Benchmark: the bar's store and worker announcing every message of Dovecot mailboxes of
// 1,000 and 10,000 messages (bar entry and list row), against the bare worker doing the
// same check with handlers that only count, in the same run.
#include "DovecotAccount.h"
#include "DovecotServer.h"
#include "ProcessMemory.h"
#include "PythonPeer.h"
#include "TempDir.h"
#include "WorkerCheck.h"
#include "bar/FMain.h"
#include "core/Global.h"
#include "core/Settings.h"
#include "store/MessageStore.h"
#include "windows/FMsgList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct TRun {
    double Seconds = 0;
    double MemoryMiB = 0; // resident growth while the run's data was held
};

// The program's store with the bar and the message list observing it.
TRun Store(TDovecotServer& dovecot, int user, int expected) {
    TTempDir folder;
    AppPath = folder.Path();
    std::filesystem::create_directories(AppPath + "/cache");
    Settings().Load();
    Settings().AddAccount(DovecotAccount(dovecot, user, "Bench"));

    const double before = ResidentMiB();
    QElapsedTimer timer;
    timer.start();
    auto* store = new TMessageStore;
    auto* bar = new TfrmMain(*store);
    auto* list = new TfrmMsgList(*store);
    bar->show();
    list->show();
    store->Start();
    while (!(store->Entries().size() == static_cast<size_t>(expected) &&
             list->RowCount() == expected)) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (timer.elapsed() > 600000) {
            std::cerr << "store_bench: timed out at " << store->Entries().size() << "\n";
            break;
        }
    }
    TRun run{timer.elapsed() / 1000.0, ResidentMiB() - before};
    store->Shutdown();
    delete list;
    delete bar;
    delete store;
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

    // Medians of three runs each, after a first check that lets Dovecot build its index.
    const int runs = 3;
    double store[2], peer[2], memory[2] = {0, 0};
    for (int user = 0; user < 2; ++user) {
        int messages = 0;
        WorkerCheck(dovecot, user, messages);
        std::vector<double> ours, bare;
        for (int run = 0; run < runs; ++run) {
            bare.push_back(WorkerCheck(dovecot, user, messages));
            if (messages != sizes[user])
                std::cerr << "store_bench: the worker saw " << messages << " messages\n";
            const TRun one = Store(dovecot, user, sizes[user]);
            ours.push_back(one.Seconds);
            memory[user] = std::max(memory[user], one.MemoryMiB);
        }
        store[user] = Median(ours);
        peer[user] = Median(bare);
    }
    std::printf("%-10s %14s %14s %12s %14s\n", "messages", "store s", "worker-only s", "store/peer",
                "held MiB");
    for (int i = 0; i < 2; ++i)
        std::printf("%-10d %14.3f %14.3f %12.2f %14.1f\n", sizes[i], store[i], peer[i],
                    store[i] / peer[i], memory[i]);
    std::printf("10,000 / 1,000: store %.2f, worker-only %.2f (linear cost: about 10)\n",
                store[1] / store[0], peer[1] / peer[0]);
    std::printf("peak resident memory of the run: %.1f MiB\n", PeakMiB());
    return 0;
}
