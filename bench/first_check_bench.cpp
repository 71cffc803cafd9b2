// Benchmark: the real program's first check of Dovecot mailboxes of 1,000 and 10,000 new
// messages, from its start until Dovecot logs the end of the session, against Python's
// poplib sending the same commands to the same mailbox in the same run. Also prints the
// program's resident memory once the messages are announced and the longest time its main
// loop went unserved (a click waits at most that long). The program runs on the offscreen
// platform unless QB_BENCH_PLATFORM names another (xcb, with DISPLAY set).
#include "DovecotAccount.h"
#include "DovecotServer.h"
#include "ProcessMemory.h"
#include "PythonPeer.h"
#include "TempDir.h"
#include "core/Settings.h"
#include "core/UGlobal.h"

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

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

const int Sizes[2] = {1000, 10000};
const int ProgramRuns = 3;

struct TProgramRun {
    double Seconds = -1;
    double ResidentMiB = 0;
    int LongestStallMs = -1;
};

std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return fs::path(std::string(path, n > 0 ? static_cast<size_t>(n) : 0)).parent_path();
}

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

// Writes a program folder (the program, its skins and one account on the user's mailbox).
void MakeProgramFolder(const std::string& folder, TDovecotServer& dovecot, int user) {
    const std::string from = ProgramFolder();
    fs::copy_file(from + "/quillbar", folder + "/quillbar");
    fs::copy(from + "/Skins", folder + "/Skins", fs::copy_options::recursive);
    fs::create_directories(folder + "/home/run");
    fs::permissions(folder + "/home/run", fs::perms::owner_all);
    AppPath = folder;
    Settings().Load();
    Settings().AddAccount(DovecotAccount(dovecot, user, "Bench"));
}

[[noreturn]] void StartProgram(const std::string& folder, bool pipelining) {
    const char* platform = getenv("QB_BENCH_PLATFORM");
    setenv("QT_QPA_PLATFORM", platform ? platform : "offscreen", 1);
    const std::string home = folder + "/home";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    const std::string stallLog = folder + "/stall.txt";
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    const std::string program = folder + "/quillbar";
    execl(program.c_str(), program.c_str(), "--stall-log", stallLog.c_str(),
          pipelining ? static_cast<char*>(nullptr) : "--no-pipelining",
          static_cast<char*>(nullptr));
    _exit(127);
}

TProgramRun RunProgram(TDovecotServer& dovecot, int user, bool pipelining) {
    TTempDir folder;
    MakeProgramFolder(folder.Path(), dovecot, user);
    TSessionEnd end(dovecot, user);
    const auto start = TClock::now();
    const pid_t pid = fork();
    if (pid == 0)
        StartProgram(folder.Path(), pipelining);
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
    std::ifstream stall(folder.Path() + "/stall.txt");
    stall >> run.LongestStallMs;
    return run;
}

double PoplibCheck(TDovecotServer& dovecot, int user) {
    int messages = 0;
    return PythonCheck(QB_BENCH_DIR "/poplib_check.py", dovecot.Port(), dovecot.User(user),
                       dovecot.Password(user), messages);
}

} // namespace

int main() {
    const std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "first_check_bench: " << why << "\n";
        return 1;
    }
    TDovecotServer dovecot(2, 0, false);
    for (int user = 0; user < 2; ++user)
        for (int n = 1; n <= Sizes[user]; ++n)
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(n));
    for (int user = 0; user < 2; ++user)
        PoplibCheck(dovecot, user); // Dovecot builds its index on first access

    std::printf("First check from the program's start to the server's logout, best of %d runs of "
                "each, poplib run between them\n",
                ProgramRuns);
    std::printf("%-9s %-10s %10s %10s %7s %13s %14s\n", "messages", "commands", "quillbar s",
                "poplib s", "ratio", "resident MiB", "longest stall");
    double best[2][2] = {};
    double poplibBest[2] = {1e9, 1e9};
    int failures = 0;
    for (int user = 0; user < 2; ++user) {
        for (int pipelining = 0; pipelining < 2; ++pipelining) {
            TProgramRun worst; // memory and stall: the largest seen
            double fastest = 1e9, poplib = 1e9;
            for (int run = 0; run < ProgramRuns; ++run) {
                const TProgramRun one = RunProgram(dovecot, user, pipelining);
                poplib = std::min(poplib, PoplibCheck(dovecot, user));
                if (one.Seconds >= 0)
                    fastest = std::min(fastest, one.Seconds);
                else
                    ++failures;
                worst.ResidentMiB = std::max(worst.ResidentMiB, one.ResidentMiB);
                worst.LongestStallMs = std::max(worst.LongestStallMs, one.LongestStallMs);
            }
            best[user][pipelining] = fastest;
            poplibBest[user] = std::min(poplibBest[user], poplib);
            std::printf("%-9d %-10s %10.3f %10.3f %7.2f %13.1f %11d ms\n", Sizes[user],
                        pipelining ? "pipelined" : "serial", fastest, poplib, fastest / poplib,
                        worst.ResidentMiB, worst.LongestStallMs);
            std::fflush(stdout);
        }
    }
    std::printf(
        "10,000 / 1,000: serial %.2f, pipelined %.2f, poplib %.2f (linear cost: about 10)\n",
        best[1][0] / best[0][0], best[1][1] / best[0][1], poplibBest[1] / poplibBest[0]);
    if (failures > 0)
        std::printf("%d runs of the program did not end their session within 5 minutes\n",
                    failures);
    return failures > 0 ? 1 : 0;
}
