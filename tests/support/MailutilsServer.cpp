// TMailutilsServer: GNU mailutils' pop3d on loopback, a second real POP3 server beside Dovecot.
#include "MailutilsServer.h"

#include "ChildProcess.h"
#include "DovecotServer.h"
#include "Mbox.h"
#include "TempDir.h"

#include <crypt.h>
#include <filesystem>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* Pop3dBinary = "/usr/sbin/pop3d";
const char* MailUser = "quillbar-test";

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
    TTempDir::WriteFile(home + "/INBOX", GeneratedMbox(messages));
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
    FPid = StartLoopbackServer(
        [&](int port) {
            TTempDir::WriteFile(FRoot + "/pop3d.conf",
                                "virtdomain { passwd-dir " + FRoot +
                                    "/domains; };\n"
                                    "auth { authorization virtdomain; authentication generic; };\n"
                                    "logging { syslog no; };\n"
                                    "pidfile " +
                                    FRoot +
                                    "/pop3d.pid;\n"
                                    "server 127.0.0.1:" +
                                    std::to_string(port) + " { };\n");
            return std::vector<std::string>{Pop3dBinary, "--config-file=" + FRoot + "/pop3d.conf",
                                            "--daemon", "--foreground"};
        },
        FPort);
}

bool TMailutilsServer::WaitIdle(int timeoutMs) const {
    return AwaitNoChildren(FPid, timeoutMs);
}

void TMailutilsServer::Stop() {
    StopChild(FPid);
}
