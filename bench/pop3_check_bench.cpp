// Benchmark: a worker check of a 1,000- and a 10,000-message Dovecot mailbox, against
// Python's poplib doing the same UIDL and TOP n 0 in the same run; then a 5,000-message
// mailbox on GNU mailutils' pop3d, which sends each reply in small writes, checked one command
// at a time and pipelined, against a poplib that sets TCP_QUICKACK before every read.
#include "DovecotServer.h"
#include "MailutilsServer.h"
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

const int MailutilsMessages = 5000;
const int MailutilsRuns = 3;

// Prints the figures of the mailutils mailbox; false when a check saw the wrong count.
bool MeasureMailutils() {
    std::cout << "Check of a " << MailutilsMessages << "-message GNU pop3d mailbox (UIDL + TOP n "
              << "0), " << MailutilsRuns << " runs each, median\n";
    TMailutilsServer server(MailutilsMessages);
    const int port = server.Port();
    const std::string user = TMailutilsServer::User(), password = TMailutilsServer::Password();
    int counts[3] = {};
    std::vector<double> single, pipelined, quickAck;
    for (int run = 0; run < MailutilsRuns; ++run) {
        server.WaitIdle();
        single.push_back(WorkerCheck(port, user, password, counts[0], false));
        server.WaitIdle();
        pipelined.push_back(WorkerCheck(port, user, password, counts[1], true));
        server.WaitIdle();
        quickAck.push_back(PythonCheck(QB_BENCH_DIR "/poplib_check.py", port, user, password,
                                       counts[2], "--quickack"));
    }
    for (int count : counts)
        if (count != MailutilsMessages) {
            std::cerr << "pop3_check_bench: expected " << MailutilsMessages << " messages, got "
                      << count << "\n";
            return false;
        }
    const double quick = Median(quickAck);
    std::printf("quillbar, one command at a time: %8.1f ms\n", Median(single) * 1000);
    std::printf("quillbar, pipelined:             %8.1f ms\n", Median(pipelined) * 1000);
    std::printf("python poplib with TCP_QUICKACK: %8.1f ms\n", quick * 1000);
    std::printf("ratio quillbar one at a time / quick-ack poplib: %.2f (goal: at most 1.5)\n",
                Median(single) / quick);
    std::printf("ratio quillbar pipelined / quick-ack poplib:     %.2f (goal: at most 1.5)\n",
                Median(pipelined) / quick);
    std::fflush(stdout);
    // Without quick acknowledgements each reply waits for the delayed ACK: once is enough.
    server.WaitIdle();
    int plainCount = 0;
    const double plain =
        PythonCheck(QB_BENCH_DIR "/poplib_check.py", port, user, password, plainCount);
    std::printf("python poplib as it comes:       %8.1f ms (%d messages)\n", plain * 1000,
                plainCount);
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
    why = TMailutilsServer::Unavailable();
    if (!why.empty()) {
        std::cout << "GNU pop3d left out: " << why << "\n";
        return 0;
    }
    return MeasureMailutils() ? 0 : 1;
}
