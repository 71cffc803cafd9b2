// TMailutilsServer: GNU mailutils' pop3d on loopback, a second real POP3 server beside Dovecot.
#include "MailutilsServer.h"

#include "ChildProcess.h"
#include "DovecotServer.h"
#include "LoopbackSocket.h"
#include "TempDir.h"

#include <chrono>
#include <crypt.h>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* Pop3dBinary = "/usr/sbin/pop3d";
const char* MailUser = "quillbar-test";

// The mbox form of a CR LF message: LF line ends, and body lines starting "From " quoted.
std::string MboxEntry(const std::string& message) {
    std::string entry = "From sender@example.org Mon Jan  1 00:00:00 2024\n";
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find("\r\n", start);
        if (end == std::string::npos)
            end = message.size();
        const std::string line = message.substr(start, end - start);
        entry += (line.rfind("From ", 0) == 0 ? ">" : "") + line + "\n";
        start = end + 2;
    }
    return entry + "\n";
}

} // namespace

std::string TMailutilsServer::Unavailable() {
    if (access(Pop3dBinary, X_OK) != 0)
        return "GNU pop3d (mailutils-pop3d) is not installed; scripts/setup.sh installs it";
    // The fixture of Dovecot makes the mail user, and needs root as pop3d does.
    return TDovecotServer::Unavailable();
}

TMailutilsServer::TMailutilsServer(int messages) {
    const std::string why = Unavailable();
    if (!why.empty())
        throw std::runtime_error(why);
    // pop3d reads the mailbox as the mail user.
    FRoot = TTempDir::MakeServerRoot("qbpop3d");
    WriteMailbox(messages);
    Start();
}

TMailutilsServer::~TMailutilsServer() {
    Stop();
    std::error_code ignored;
    fs::remove_all(FRoot, ignored);
}

void TMailutilsServer::WriteMailbox(int messages) {
    const passwd* account = getpwnam(MailUser);
    const std::string home = FRoot + "/home";
    fs::create_directories(home);
    std::string mbox;
    for (int n = 1; n <= messages; ++n)
        mbox += MboxEntry(TDovecotServer::GenerateMessage(n));
    TTempDir::WriteFile(home + "/INBOX", mbox);
    chown(home.c_str(), account->pw_uid, account->pw_gid);
    chown((home + "/INBOX").c_str(), account->pw_uid, account->pw_gid);
    // A passwd line per user, in a file named after the domain.
    fs::create_directories(FRoot + "/domains");
    crypt_data data{};
    const char* hashed = crypt_r(Password().c_str(), "$6$quillbar$", &data);
    TTempDir::WriteFile(FRoot + "/domains/quillbar.test",
                        "user1:" + std::string(hashed ? hashed : "") + ":" +
                            std::to_string(account->pw_uid) + ":" +
                            std::to_string(account->pw_gid) + "::" + home + ":/bin/false\n");
}

void TMailutilsServer::Start() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        FPort = FreeLoopbackPort();
        TTempDir::WriteFile(FRoot + "/pop3d.conf",
                            "virtdomain { passwd-dir " + FRoot +
                                "/domains; };\n"
                                "auth { authorization virtdomain; authentication generic; };\n"
                                "logging { syslog no; };\n"
                                "pidfile " +
                                FRoot +
                                "/pop3d.pid;\n"
                                "server 127.0.0.1:" +
                                std::to_string(FPort) + " { };\n");
        FPid = fork();
        if (FPid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execl(Pop3dBinary, "pop3d", ("--config-file=" + FRoot + "/pop3d.conf").c_str(),
                  "--daemon", "--foreground", static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            int status;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                break;
            }
            if (LoopbackAccepts(FPort))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Stop();
    }
    throw std::runtime_error("GNU pop3d did not start");
}

bool TMailutilsServer::WaitIdle(int timeoutMs) const {
    const std::string children =
        "/proc/" + std::to_string(FPid) + "/task/" + std::to_string(FPid) + "/children";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (TTempDir::ReadFile(children).find_first_not_of(" \n") == std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void TMailutilsServer::Stop() {
    StopChild(FPid);
}
