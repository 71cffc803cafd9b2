// Running a server that a test fixture or a benchmark starts as its child process.
#pragma once

#include <csignal>
#include <functional>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <vector>

// Ends child pid (when there is one) and waits for it; pid becomes -1.
inline void StopChild(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status;
    waitpid(pid, &status, 0);
    pid = -1;
}

// Starts command(port) for a free port of 127.0.0.1, its output dropped and the variables of
// environment ("NAME=value") added, and waits until it accepts connections there. Another
// process may take the port first, so it tries three. Returns the pid and sets port; throws
// std::runtime_error when the server never listened.
pid_t StartLoopbackServer(const std::function<std::vector<std::string>(int port)>& command,
                          int& port, const std::vector<std::string>& environment = {});

// Waits until child pid has no children left, its sessions all ended. False after timeoutMs.
bool AwaitNoChildren(pid_t pid, int timeoutMs);
