// The real program in a folder of its own with one account on a Dovecot user, for the
// benchmarks that run it as a user would.
#pragma once

#include "DovecotAccount.h"
#include "DovecotServer.h"
#include "core/Global.h"
#include "core/Settings.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// The folder of this benchmark's executable, where the build puts the program and its skins.
inline std::string BenchProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return std::filesystem::path(std::string(path, n > 0 ? static_cast<size_t>(n) : 0))
        .parent_path();
}

// Writes a program folder: the program, its skins and one account on the user's mailbox, on
// port when given (a proxy's), else on Dovecot's own.
inline void MakeProgramFolder(const std::string& folder, TDovecotServer& dovecot, int user,
                              int port = 0) {
    namespace fs = std::filesystem;
    const std::string from = BenchProgramFolder();
    fs::copy_file(from + "/quillbar", folder + "/quillbar");
    fs::copy(from + "/Skins", folder + "/Skins", fs::copy_options::recursive);
    fs::create_directories(folder + "/home/run");
    fs::permissions(folder + "/home/run", fs::perms::owner_all);
    AppPath = folder;
    Settings().Load();
    TAccountConfig account = DovecotAccount(dovecot, user, "Bench");
    if (port != 0)
        account.Port = port;
    Settings().AddAccount(account);
}

// Runs the folder's program in this (forked) process with its home in the folder, its output
// silenced, on the offscreen platform unless QB_BENCH_PLATFORM names another, and under
// QB_BENCH_WRAPPER when set (a profiler's command, words split at blanks).
[[noreturn]] inline void ExecProgram(const std::string& folder,
                                     const std::vector<std::string>& arguments) {
    const char* platform = getenv("QB_BENCH_PLATFORM");
    setenv("QT_QPA_PLATFORM", platform ? platform : "offscreen", 1);
    const std::string home = folder + "/home";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    std::vector<std::string> words;
    if (const char* wrapper = getenv("QB_BENCH_WRAPPER")) {
        std::istringstream split(wrapper);
        for (std::string word; split >> word;)
            words.push_back(word);
    }
    words.push_back(folder + "/quillbar");
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}
