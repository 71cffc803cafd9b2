// Benchmark: a worker check of a 1,000- and a 10,000-message Dovecot mailbox, against
// Python's poplib doing the same UIDL and TOP n 0 in the same run.
#include "DovecotServer.h"
#include "PythonPeer.h"
#include "WorkerCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TMailboxRun {
    int Messages;
    int Runs;
};
const TMailboxRun MailboxRuns[] = {{1000, 5}, {10000, 3}};

double PoplibCheck(TDovecotServer& dovecot, int& messages) {
    return PythonCheck(QB_BENCH_DIR "/poplib_check.py", dovecot.Port(), dovecot.User(0),
                       dovecot.Password(0), messages);
}

// Prints the figures of one mailbox size; false when a check saw the wrong count.
bool Measure(int messageCount, int runs) {
    std::cout << "Check of a " << messageCount << "-message Dovecot mailbox (UIDL + TOP n 0), "
              << runs << " runs each, median\n";
    TDovecotServer dovecot(1, messageCount);
    int messages = 0;
    PoplibCheck(dovecot, messages); // Dovecot builds its index on first access

    dovecot.ClearCommands();
    WorkerCheck(dovecot, 0, messages);
    std::vector<std::string> commands;
    for (int i = 0; i < 100 && std::count(commands.begin(), commands.end(), "QUIT") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        commands = dovecot.Commands();
    }
    if (commands.size() >= 4)
        std::cout << "quillbar worker: " << commands.size() << " commands sent for " << messages
                  << " new messages (" << commands.front() << ", PASS, " << commands[2] << ", "
                  << commands[3] << " ... " << commands[commands.size() - 2] << ", "
                  << commands.back() << ")\n";

    std::vector<double> ours, theirs;
    int poplibMessages = 0;
    for (int run = 0; run < runs; ++run) {
        ours.push_back(WorkerCheck(dovecot, 0, messages));
        theirs.push_back(PoplibCheck(dovecot, poplibMessages));
    }
    if (messages != messageCount || poplibMessages != messageCount) {
        std::cerr << "pop3_check_bench: expected " << messageCount << " messages, got " << messages
                  << " and " << poplibMessages << "\n";
        return false;
    }
    double oursMedian = Median(ours), theirsMedian = Median(theirs);
    std::printf("quillbar worker check: %8.1f ms\n", oursMedian * 1000);
    std::printf("python poplib check:   %8.1f ms\n", theirsMedian * 1000);
    std::printf("ratio poplib / quillbar: %.2f\n", theirsMedian / oursMedian);
    return true;
}

} // namespace

int main() {
    std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "pop3_check_bench: " << why << "\n";
        return 1;
    }
    for (const TMailboxRun& run : MailboxRuns)
        if (!Measure(run.Messages, run.Runs))
            return 1;
    return 0;
}
