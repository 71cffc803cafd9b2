// Running a server that a test fixture or a benchmark starts as its child process.
#include "ChildProcess.h"

#include "LoopbackSocket.h"
#include "TempDir.h"

#include <chrono>
#include <fcntl.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

pid_t StartChild(const std::vector<std::string>& command,
                 const std::vector<std::string>& environment) {
    // Built before the fork: the child only calls what is safe between fork and exec.
    std::vector<char*> arguments, variables;
    for (const std::string& argument : command)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    // Ahead of the inherited ones, which a lookup would otherwise find first.
    for (const std::string& variable : environment)
        variables.push_back(const_cast<char*>(variable.c_str()));
    for (char** variable = environ; *variable; ++variable)
        variables.push_back(*variable);
    variables.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execve(arguments[0], arguments.data(), variables.data());
    _exit(127);
}

} // namespace

pid_t StartLoopbackServer(const std::function<std::vector<std::string>(int port)>& command,
                          int& port, const std::vector<std::string>& environment) {
    std::string program;
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = FreeLoopbackPort();
        const std::vector<std::string> arguments = command(port);
        program = arguments.at(0);
        pid_t pid = StartChild(arguments, environment);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid)
                pid = -1;
            else if (LoopbackAccepts(port))
                return pid;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        StopChild(pid);
    }
    throw std::runtime_error(program + " did not start listening");
}

bool AwaitNoChildren(pid_t pid, int timeoutMs) {
    const std::string children =
        "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (TTempDir::ReadFile(children).find_first_not_of(" \n") == std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}
