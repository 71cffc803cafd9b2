// Benchmark: a worker check of a 1,000- and a 10,000-message Dovecot mailbox, against
// Python's poplib doing the same UIDL and TOP n 0 in the same run; then 5,000-message mailboxes
// on servers that send each reply in small writes (popa3d and solid-pop3d, which answer one
// command at a time, and GNU mailutils' pop3d, checked one command at a time and pipelined),
// against a poplib that sets TCP_QUICKACK before every read. Arguments (dovecot, popa3d,
// solid-pop3d, mailutils) pick some of the servers; none runs them all.
#include "DovecotServer.h"
#include "InetdServer.h"
#include "MailutilsServer.h"
#include "PythonPeer.h"
#include "WorkerCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <stdexcept>
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

const int SmallWriteMessages = 5000;
const int SmallWriteRuns = 3;

// One client of a comparison; its check returns the seconds and sets the messages it saw.
struct TClient {
    std::string Label;
    std::function<double(int& messages)> Check;
};

// Runs every client SmallWriteRuns times in turn, the server idle before each, and prints
// their medians beside the last client's. False when a check saw the wrong count.
bool Compare(const std::vector<TClient>& clients, const std::function<void()>& waitIdle) {
    std::vector<std::vector<double>> seconds(clients.size());
    std::vector<int> counts(clients.size());
    for (int run = 0; run < SmallWriteRuns; ++run)
        for (size_t i = 0; i < clients.size(); ++i) {
            waitIdle();
            seconds[i].push_back(clients[i].Check(counts[i]));
        }
    for (int count : counts)
        if (count != SmallWriteMessages) {
            std::cerr << "pop3_check_bench: expected " << SmallWriteMessages << " messages, got "
                      << count << "\n";
            return false;
        }
    for (size_t i = 0; i < clients.size(); ++i)
        std::printf("%-34s %8.1f ms\n", (clients[i].Label + ":").c_str(),
                    Median(seconds[i]) * 1000);
    const double peer = Median(seconds.back());
    for (size_t i = 0; i + 1 < clients.size(); ++i)
        std::printf("ratio %s / quick-ack poplib: %.2f (goal: at most 1.5)\n",
                    clients[i].Label.c_str(), Median(seconds[i]) / peer);
    std::fflush(stdout);
    return true;
}

TClient QuickAckPoplib(int port, const std::string& user, const std::string& password) {
    return {"python poplib with TCP_QUICKACK", [=](int& messages) {
                return PythonCheck(QB_BENCH_DIR "/poplib_check.py", port, user, password, messages,
                                   "--quickack");
            }};
}

// popa3d switches to a user of its own and shuts itself into an empty folder before a login.
const TInetdDaemon Popa3d = {.Name = "popa3d",
                             .Packages = {"popa3d"},
                             .Program = "/usr/sbin/popa3d",
                             .SystemUsers = {"popa3d"},
                             .Folders = {"/var/lib/popa3d"}};
// solid-pop3d also reads its configuration as a user of its own; the password goes through
// PAM, the mail is the user's mbox under /var/mail.
const TInetdDaemon SolidPop3d = {.Name = "solid-pop3d",
                                 .Packages = {"solid-pop3d", "liblockfile1"},
                                 .Program = "/usr/sbin/solid-pop3d",
                                 .Config = "<Global>\n"
                                           "  MailDropName \"/var/mail/%s\"\n"
                                           "  MailDropType mailbox\n"
                                           "  UserOverride no\n"
                                           "  AddBulletins no\n"
                                           "  LogStatistics no\n"
                                           "</Global>\n",
                                 .ConfigOption = "-f",
                                 .SystemUsers = {"spop3d"}};

// Prints the figures of a daemon run the inetd way; false when a check saw the wrong count.
bool MeasureInetd(const TInetdDaemon& daemon) {
    std::cout << "Check of a " << SmallWriteMessages << "-message " << daemon.Name
              << " mailbox (UIDL + TOP n 0; no pipelining offered), " << SmallWriteRuns
              << " runs each, median\n";
    std::string why = TInetdServer::Unavailable();
    try {
        if (why.empty()) {
            TInetdServer server(daemon, QB_INETD_PACKAGES, SmallWriteMessages);
            const int port = server.Port();
            const std::string user = TInetdServer::User(), password = server.Password();
            return Compare(
                {{"quillbar worker check",
                  [&](int& messages) { return WorkerCheck(port, user, password, messages); }},
                 QuickAckPoplib(port, user, password)},
                [&] { server.WaitIdle(); });
        }
    } catch (const std::runtime_error& error) {
        why = error.what();
    }
    std::cout << daemon.Name << " left out: " << why << "\n";
    return true;
}

// Prints the figures of the mailutils mailbox; false when a check saw the wrong count.
bool MeasureMailutils() {
    std::cout << "Check of a " << SmallWriteMessages << "-message GNU pop3d mailbox (UIDL + TOP n "
              << "0), " << SmallWriteRuns << " runs each, median\n";
    const std::string why = TMailutilsServer::Unavailable();
    if (!why.empty()) {
        std::cout << "GNU pop3d left out: " << why << "\n";
        return true;
    }
    TMailutilsServer server(SmallWriteMessages);
    const int port = server.Port();
    const std::string user = TMailutilsServer::User(), password = TMailutilsServer::Password();
    const auto worker = [&](bool pipelining) {
        return
            [=](int& messages) { return WorkerCheck(port, user, password, messages, pipelining); };
    };
    if (!Compare({{"quillbar, one command at a time", worker(false)},
                  {"quillbar, pipelined", worker(true)},
                  QuickAckPoplib(port, user, password)},
                 [&] { server.WaitIdle(); }))
        return false;
    // Without quick acknowledgements each reply waits for the delayed ACK: once is enough.
    server.WaitIdle();
    int plainCount = 0;
    const double plain =
        PythonCheck(QB_BENCH_DIR "/poplib_check.py", port, user, password, plainCount);
    std::printf("%-34s %8.1f ms (%d messages)\n", "python poplib as it comes:", plain * 1000,
                plainCount);
    return true;
}

bool Wanted(int argc, char** argv, const std::string& name) {
    return argc < 2 || std::find(argv + 1, argv + argc, name) != argv + argc;
}

} // namespace

int main(int argc, char** argv) {
    if (Wanted(argc, argv, "dovecot")) {
        const std::string why = TDovecotServer::Unavailable();
        if (!why.empty()) {
            std::cerr << "pop3_check_bench: " << why << "\n";
            return 1;
        }
        for (const TMailboxRun& run : MailboxRuns)
            if (!Measure(run.Messages, run.Runs))
                return 1;
    }
    for (const TInetdDaemon* daemon : {&Popa3d, &SolidPop3d})
        if (Wanted(argc, argv, daemon->Name) && !MeasureInetd(*daemon))
            return 1;
    if (Wanted(argc, argv, "mailutils") && !MeasureMailutils())
        return 1;
    return 0;
}
