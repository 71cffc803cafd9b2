// Ending a server that a test fixture runs as its child process.
#pragma once

#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>

// Ends child pid (when there is one) and waits for it; pid becomes -1.
inline void StopChild(pid_t& pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status;
    waitpid(pid, &status, 0);
    pid = -1;
}
