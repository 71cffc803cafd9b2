// Benchmark: a worker check of a 1000-message Dovecot mailbox, against Python's poplib
// doing the same UIDL and TOP n 0 in the same run.
#include "DovecotServer.h"
#include "MainLoop.h"
#include "mail/QBThread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

const int MessageCount = 1000;
const int Runs = 5;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One check job from start to OnCheckDone; returns seconds and counts the headers.
double WorkerCheck(TDovecotServer& dovecot, int& messages) {
    TMainLoop loop;
    TQBThread worker(
        30000, [&](const std::function<void()>& call) { loop.Synchronize(call); }, nullptr);
    bool handedOver = false, done = false;
    messages = 0;
    worker.OnGetTask = [&](TQBThread& sender, bool& hasTask) {
        hasTask = !handedOver;
        if (!hasTask)
            return;
        handedOver = true;
        sender.Task.Kind = tkCheck;
        sender.Task.Host = "127.0.0.1";
        sender.Task.Port = dovecot.Port();
        sender.Task.User = dovecot.User(0);
        sender.Task.Pass = dovecot.Password(0);
        sender.Task.Account = 0;
        sender.ServerList.clear();
    };
    worker.OnMessage = [&](TQBThread&, const TStringList* lines, int, const std::string&) {
        if (lines && !lines->empty())
            ++messages;
    };
    worker.OnCheckDone = [&](TQBThread&) { done = true; };
    auto start = std::chrono::steady_clock::now();
    worker.Resume();
    loop.RunUntil([&] { return done; }, 120000);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worker.Terminate();
    loop.RunUntil([&] { return worker.Finished.load(); }, 10000);
    return seconds;
}

double PoplibCheck(TDovecotServer& dovecot, int& messages) {
    std::string command = "python3 " QB_BENCH_DIR "/poplib_check.py 127.0.0.1 " +
                          std::to_string(dovecot.Port()) + " " + dovecot.User(0) + " " +
                          dovecot.Password(0);
    FILE* pipe = popen(command.c_str(), "r");
    double seconds = -1;
    int headerLines = 0;
    messages = 0;
    if (pipe) {
        if (fscanf(pipe, "%lf %d %d", &seconds, &messages, &headerLines) != 3)
            seconds = -1;
        pclose(pipe);
    }
    return seconds;
}

} // namespace

int main() {
    std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "pop3_check_bench: " << why << "\n";
        return 1;
    }
    std::cout << "Check of a " << MessageCount << "-message Dovecot mailbox (UIDL + TOP n 0), "
              << Runs << " runs each, median\n";
    TDovecotServer dovecot(1, MessageCount);
    int messages = 0;
    PoplibCheck(dovecot, messages); // Dovecot builds its index on first access

    dovecot.ClearCommands();
    WorkerCheck(dovecot, messages);
    std::vector<std::string> commands;
    for (int i = 0; i < 100 && std::count(commands.begin(), commands.end(), "QUIT") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        commands = dovecot.Commands();
    }
    std::cout << "quillbar worker: " << commands.size() << " commands sent for " << messages
              << " new messages (" << commands.front() << ", PASS, " << commands[2] << ", "
              << commands[3] << " ... " << commands[commands.size() - 2] << ", " << commands.back()
              << ")\n";

    std::vector<double> ours, theirs;
    int poplibMessages = 0;
    for (int run = 0; run < Runs; ++run) {
        ours.push_back(WorkerCheck(dovecot, messages));
        theirs.push_back(PoplibCheck(dovecot, poplibMessages));
    }
    if (messages != MessageCount || poplibMessages != MessageCount) {
        std::cerr << "pop3_check_bench: expected " << MessageCount << " messages, got " << messages
                  << " and " << poplibMessages << "\n";
        return 1;
    }
    double oursMedian = Median(ours), theirsMedian = Median(theirs);
    std::printf("quillbar worker check: %8.1f ms\n", oursMedian * 1000);
    std::printf("python poplib check:   %8.1f ms\n", theirsMedian * 1000);
    std::printf("ratio poplib / quillbar: %.2f\n", theirsMedian / oursMedian);
    return 0;
}
