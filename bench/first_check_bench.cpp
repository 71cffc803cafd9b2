// Benchmark: the real program's check of Dovecot mailboxes of 1,000 and 10,000 messages, from
// its start until Dovecot logs the end of its session: the first start of a new program
// folder, and a restart of the same folder, which knows the headers from its first run. On
// loopback and through a proxy that delays each direction by 10 ms, as a real link would.
// The peers, in the same run and through the same proxy: Python's poplib sending USER, PASS,
// UIDL, TOP n 0 for every message and QUIT (its first check), and the same without the TOP
// commands (what any check of the mailbox costs at least). Also prints the program's
// resident memory half a second after the session (memory_bench waits until it has settled)
// and the longest time its main loop went unserved (a click waits at most that long). The program
// runs on the offscreen platform unless QB_BENCH_PLATFORM names another (xcb, with DISPLAY set).
// QB_BENCH_LONG=1 adds the 10,000-message mailbox on the slow link (poplib alone takes minutes
// there).
#include "DovecotAccount.h"
#include "DovecotServer.h"
#include "LatencyProxy.h"
#include "ProcessMemory.h"
#include "ProgramRun.h"
#include "PythonPeer.h"
#include "TempDir.h"
#include "core/Global.h"
#include "core/Settings.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using TClock = std::chrono::steady_clock;

namespace {

struct TLink {
    int Messages;
    int DelayMs; // each way
    int Runs;
};
const TLink Links[] = {{1000, 0, 3}, {10000, 0, 3}, {1000, 10, 2}};
const TLink LongLink = {10000, 10, 1};

// The goals, as ratios to the peer.
const double SlowFirstGoal = 0.02;   // first start on the slow link, to poplib's check
const double SlowRestartGoal = 0.01; // restart on the slow link, to poplib's check
const double FastFirstGoal = 0.3;    // first start of 10,000 on loopback, to poplib's check
const double FastRestartGoal = 4;    // restart of 10,000 on loopback, to poplib's floor

struct TProgramRun {
    double Seconds = -1;
    double ResidentMiB = 0;
    int LongestStallMs = -1;
};

// Whether Dovecot has logged the end of a session of the user since this was made. Reads only
// what was written since the last call: reading the whole log every millisecond would take
// the CPU the program needs.
class TSessionEnd {
  public:
    TSessionEnd(const TDovecotServer& dovecot, int user)
        : FLog(dovecot.LogPath()), FSession("pop3(" + dovecot.User(user) + ")<") {
        FLog.seekg(0, std::ios::end);
    }
    bool Logged() {
        FLog.clear(); // past the end before: read on from there
        for (std::string line; std::getline(FLog, line);)
            if (line.find(FSession) != std::string::npos &&
                line.find("Disconnected") != std::string::npos)
                return true;
        return false;
    }

  private:
    std::ifstream FLog;
    std::string FSession;
};

// Runs the program in folder until its session has ended and the last rows are in, then ends
// it as the desktop would (its exit writes what it keeps for the next start).
TProgramRun RunProgram(const std::string& folder, TDovecotServer& dovecot, int user) {
    TSessionEnd end(dovecot, user);
    const auto start = TClock::now();
    const pid_t pid = fork();
    if (pid == 0)
        ExecProgram(folder, {"--stall-log", folder + "/stall.txt"});
    TProgramRun run;
    while (TClock::now() - start < std::chrono::minutes(5)) {
        if (end.Logged()) {
            run.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The last rows reach the list a moment after the session ends.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run.ResidentMiB = ResidentMiB(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream stall(folder + "/stall.txt");
    stall >> run.LongestStallMs;
    return run;
}

double Poplib(TDovecotServer& dovecot, int user, int port, const std::string& options = "") {
    int messages = 0;
    return PythonCheck(QB_BENCH_DIR "/poplib_check.py", port, dovecot.User(user),
                       dovecot.Password(user), messages, options);
}

std::string GoalText(double ratio, double goal) {
    if (goal <= 0)
        return "";
    char text[64];
    std::snprintf(text, sizeof text, "goal <= %g: %s", goal, ratio <= goal ? "met" : "missed");
    return text;
}

void PrintRow(const TLink& link, const char* start, double seconds, const char* peer,
              double peerSeconds, double goal, const TProgramRun& worst) {
    const double ratio = seconds / peerSeconds;
    std::printf("%-9d %5d ms  %-8s %10.3f  %-14s %9.3f %8.3f  %-20s %9.1f %8d ms\n", link.Messages,
                2 * link.DelayMs, start, seconds, peer, peerSeconds, ratio,
                GoalText(ratio, goal).c_str(), worst.ResidentMiB, worst.LongestStallMs);
    std::fflush(stdout);
}

// Measures one mailbox on one link; false when a run of the program did not end its session.
bool Measure(TDovecotServer& dovecot, int user, const TLink& link) {
    TLatencyProxy proxy(BenchProgramFolder() + "/latency_proxy", dovecot.Port(), link.DelayMs);
    const int port = link.DelayMs > 0 ? proxy.Port() : dovecot.Port();
    if (port == 0) {
        std::cerr << "first_check_bench: the latency proxy did not start\n";
        return false;
    }
    TProgramRun first, restart; // the fastest times; memory and stall: the largest seen
    first.Seconds = restart.Seconds = 1e9;
    double poplib = 1e9, floor = 1e9;
    bool ended = true;
    auto keep = [&ended](TProgramRun& best, const TProgramRun& run) {
        ended = ended && run.Seconds >= 0;
        if (run.Seconds >= 0)
            best.Seconds = std::min(best.Seconds, run.Seconds);
        best.ResidentMiB = std::max(best.ResidentMiB, run.ResidentMiB);
        best.LongestStallMs = std::max(best.LongestStallMs, run.LongestStallMs);
    };
    for (int run = 0; run < link.Runs; ++run) {
        TTempDir folder;
        MakeProgramFolder(folder.Path(), dovecot, user, port);
        keep(first, RunProgram(folder.Path(), dovecot, user));
        keep(restart, RunProgram(folder.Path(), dovecot, user));
        poplib = std::min(poplib, Poplib(dovecot, user, port));
        floor = std::min(floor, Poplib(dovecot, user, port, "--floor"));
    }
    const bool slow = link.DelayMs > 0, large = link.Messages >= 10000;
    PrintRow(link, "first", first.Seconds, "poplib check", poplib,
             slow && !large ? SlowFirstGoal : (!slow && large ? FastFirstGoal : 0), first);
    PrintRow(link, "restart", restart.Seconds, "poplib check", poplib,
             slow && !large ? SlowRestartGoal : 0, restart);
    PrintRow(link, "restart", restart.Seconds, "poplib floor", floor,
             !slow && large ? FastRestartGoal : 0, restart);
    return ended;
}

} // namespace

// With an argument, only the links of that many messages run (for profiling one of them).
int main(int argc, char** argv) {
    const std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "first_check_bench: " << why << "\n";
        return 1;
    }
    TDovecotServer dovecot(2, 0, false);
    const int sizes[2] = {1000, 10000};
    for (int user = 0; user < 2; ++user)
        for (int n = 1; n <= sizes[user]; ++n)
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(n));
    for (int user = 0; user < 2; ++user)
        Poplib(dovecot, user, dovecot.Port()); // Dovecot builds its index on first access

    std::printf("The program's check from its start to the server's logout (best of the runs; "
                "a restart knows the headers from the first start); link = round trip added\n");
    std::printf("%-9s %8s  %-8s %10s  %-14s %9s %8s  %-20s %9s %11s\n", "messages", "link", "start",
                "quillbar s", "peer", "peer s", "ratio", "", "res. MiB", "stall");
    std::vector<TLink> links(std::begin(Links), std::end(Links));
    if (const char* longRun = getenv("QB_BENCH_LONG"); longRun && std::string(longRun) == "1")
        links.push_back(LongLink);
    int failures = 0;
    for (const TLink& link : links)
        if (argc < 2 || link.Messages == std::atoi(argv[1]))
            failures += Measure(dovecot, link.Messages == sizes[0] ? 0 : 1, link) ? 0 : 1;
    if (failures > 0)
        std::printf("%d runs of the program did not end their session within 5 minutes\n",
                    failures);
    return failures > 0 ? 1 : 0;
}
