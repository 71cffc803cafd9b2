// Benchmark: the real program's resident memory once it has announced every message of a
// Dovecot mailbox of 10,000 and of 100,000 new messages (and of none, for its fixed cost),
// beside the goals: at most 45 MiB at 10,000, at most 1 KiB for each further message, so at
// most 135 MiB at 100,000. The program runs on the offscreen platform unless
// QB_BENCH_PLATFORM names another (xcb, with DISPLAY set). QB_BENCH_WRAPPER runs it under a
// profiler ("heaptrack -o /tmp/qb", words split at blanks); its figures are then the
// profiler's. "memory_bench N" runs one mailbox of N messages only, for such a profile.
// Beside the memory it prints the longest time the main loop went unserved in that first
// start and in a restart of the same folder (which knows the headers): what a click may wait.
#include "DovecotServer.h"
#include "ProcessMemory.h"
#include "ProgramRun.h"
#include "TempDir.h"
#include "WorkerCheck.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <utility>

using TClock = std::chrono::steady_clock;

namespace {

const int Sizes[3] = {0, 10000, 100000};
const double GoalAt10k = 45;       // MiB
const double GoalPerMessage = 1.0; // KiB

// Lines Dovecot logs from now on, read as they come.
class TDovecotLog {
  public:
    explicit TDovecotLog(const TDovecotServer& dovecot) : FLog(dovecot.LogPath()) {
        FLog.seekg(0, std::ios::end);
    }
    // Whether a line with both parts was logged since the last call.
    bool Logged(const std::string& part, const std::string& other) {
        FLog.clear();
        for (std::string line; std::getline(FLog, line);)
            if (line.find(part) != std::string::npos && line.find(other) != std::string::npos)
                return true;
        return false;
    }

  private:
    std::ifstream FLog;
};

struct TSettled {
    double ResidentMiB = -1; // negative on failure
    int LongestStallMs = -1;
};

// The program once it has announced the user's mailbox and settled: the session has ended and
// the resident figure has stayed within 0.1 MiB for three seconds (the program gives back what
// the check left a moment after it).
TSettled RunSettled(const std::string& folder, TDovecotServer& dovecot, int user) {
    TDovecotLog log(dovecot);
    const std::string stallLog = folder + "/stall.txt";
    std::filesystem::remove(stallLog);
    const pid_t pid = fork();
    if (pid == 0)
        ExecProgram(folder, {"--stall-log", stallLog});
    const auto start = TClock::now();
    const std::string session = "pop3(" + dovecot.User(user) + ")<";
    bool ended = false;
    while (!ended && TClock::now() - start < std::chrono::minutes(5)) {
        ended = log.Logged(session, "Disconnected");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    double resident = -1, steady = -1;
    auto since = TClock::now();
    while (ended && TClock::now() - start < std::chrono::minutes(6)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        resident = ResidentMiB(pid);
        if (std::fabs(resident - steady) > 0.1) {
            steady = resident;
            since = TClock::now();
        } else if (TClock::now() - since >= std::chrono::seconds(3)) {
            break;
        }
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    TSettled settled;
    settled.ResidentMiB = ended ? resident : -1;
    std::ifstream stall(stallLog);
    stall >> settled.LongestStallMs;
    return settled;
}

// A first start of a new folder, then a restart of it.
std::pair<TSettled, TSettled> FirstAndRestart(TDovecotServer& dovecot, int user) {
    TTempDir folder;
    MakeProgramFolder(folder.Path(), dovecot, user);
    const TSettled first = RunSettled(folder.Path(), dovecot, user);
    return {first, RunSettled(folder.Path(), dovecot, user)};
}

} // namespace

int main(int argc, char** argv) {
    const std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "memory_bench: " << why << "\n";
        return 1;
    }
    if (argc > 1) {
        TDovecotServer dovecot(1, 0, false);
        const int count = std::atoi(argv[1]);
        for (int n = 1; n <= count; ++n)
            dovecot.AddMessage(0, TDovecotServer::GenerateMessage(n));
        int messages = 0;
        WorkerCheck(dovecot, 0, messages);
        const auto [first, restart] = FirstAndRestart(dovecot, 0);
        std::printf("%d messages: %.1f MiB; longest stall %d ms, at a restart %d ms\n", count,
                    first.ResidentMiB, first.LongestStallMs, restart.LongestStallMs);
        return 0;
    }
    TDovecotServer dovecot(3, 0, false);
    for (int user = 0; user < 3; ++user) {
        for (int n = 1; n <= Sizes[user]; ++n)
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(n));
        int messages = 0;
        WorkerCheck(dovecot, user, messages); // Dovecot builds its index on first access
    }
    double resident[3] = {};
    std::printf("Resident memory of the program once every message is announced (MiB)\n");
    std::printf("%-9s %12s %10s %14s %16s\n", "messages", "resident", "goal", "stall ms",
                "restart stall ms");
    for (int user = 0; user < 3; ++user) {
        const auto [first, restart] = FirstAndRestart(dovecot, user);
        resident[user] = first.ResidentMiB;
        char goal[32] = "";
        if (Sizes[user] > 0)
            std::snprintf(goal, sizeof goal, "%.0f",
                          GoalAt10k + (Sizes[user] - 10000) * GoalPerMessage / 1024);
        std::printf("%-9d %12.1f %10s %14d %16d\n", Sizes[user], resident[user], goal,
                    first.LongestStallMs, restart.LongestStallMs);
        std::fflush(stdout);
    }
    const double perMessage = (resident[2] - resident[1]) * 1024 / (Sizes[2] - Sizes[1]);
    std::printf("each message from 10,000 to 100,000: %.2f KiB (goal %.1f); fixed cost %.1f MiB\n",
                perMessage, GoalPerMessage, resident[0]);
    for (double figure : resident)
        if (figure < 0) {
            std::printf("a run of the program did not end its session within 5 minutes\n");
            return 1;
        }
    return 0;
}
