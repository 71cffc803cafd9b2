// The benchmark's latency proxy as a child process: a port on loopback whose bytes reach the
// target port a given time later in each direction.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class TLatencyProxy {
  public:
    // Port() is 0 when the proxy did not start.
    TLatencyProxy(const std::string& program, int targetPort, int delayMs) {
        int out[2];
        if (pipe(out) != 0)
            return;
        FPid = fork();
        if (FPid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execl(program.c_str(), program.c_str(), "0", std::to_string(targetPort).c_str(),
                  std::to_string(delayMs).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE* said = fdopen(out[0], "r");
        if (said == nullptr || std::fscanf(said, "ready %d", &FPort) != 1)
            FPort = 0;
        if (said != nullptr)
            std::fclose(said);
    }
    ~TLatencyProxy() {
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            waitpid(FPid, nullptr, 0);
        }
    }
    TLatencyProxy(const TLatencyProxy&) = delete;
    TLatencyProxy& operator=(const TLatencyProxy&) = delete;

    int Port() const { return FPort; }

  private:
    pid_t FPid = -1;
    int FPort = 0;
};
