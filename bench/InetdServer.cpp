// TInetdServer: a POP3 daemon of a Debian package, unpacked without installing it and run the
// way inetd runs it, for the benchmarks.
#include "InetdServer.h"

#include "ChildProcess.h"
#include "Mbox.h"
#include "TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* Socat = "/usr/bin/socat";
const char* LockFile = "/run/lock/quillbar-inetd-bench.lock";

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string RandomPassword() {
    unsigned char bytes[9] = {};
    FILE* random = std::fopen("/dev/urandom", "rb");
    if (!random || std::fread(bytes, 1, sizeof bytes, random) != sizeof bytes)
        throw std::runtime_error("cannot read /dev/urandom");
    std::fclose(random);
    std::string text;
    for (unsigned char byte : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        text += hex;
    }
    return text;
}

// The library folders of an unpacked tree, for a daemon whose libraries came with it.
std::string LibraryPath(const std::string& tree) {
    std::string path;
    for (const char* base : {"/lib", "/usr/lib"}) {
        std::error_code ignored;
        if (!fs::is_directory(tree + base, ignored))
            continue;
        std::vector<std::string> folders = {tree + base};
        for (const auto& entry : fs::directory_iterator(tree + base))
            if (entry.is_directory())
                folders.push_back(entry.path().string());
        for (const std::string& folder : folders) {
            if (!path.empty())
                path += ':';
            path += folder;
        }
    }
    return path;
}

} // namespace

std::string TInetdServer::Unavailable() {
    if (geteuid() != 0)
        return "needs root, to make a system user and its mailbox";
    if (access(Socat, X_OK) != 0)
        return "socat is not installed; scripts/setup.sh installs it";
    return "";
}

TInetdServer::TInetdServer(const TInetdDaemon& daemon, const std::string& packageFolder,
                           int messages) {
    const std::string why = Unavailable();
    if (!why.empty())
        throw std::runtime_error(why);
    FLock = open(LockFile, O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (FLock >= 0)
        flock(FLock, LOCK_EX);
    try {
        const std::string tree = Unpack(daemon, packageFolder);
        FRoot = TTempDir::MakeServerRoot("qbinetd");
        MakeAccounts(daemon, messages);
        Start(daemon, tree);
    } catch (...) {
        CleanUp();
        throw;
    }
}

TInetdServer::~TInetdServer() {
    CleanUp();
}

std::string TInetdServer::Unpack(const TInetdDaemon& daemon, const std::string& packageFolder) {
    const std::string tree = packageFolder + "/" + daemon.Name;
    if (access((tree + daemon.Program).c_str(), X_OK) == 0)
        return tree;
    const std::string downloads = packageFolder + "/downloads";
    fs::create_directories(downloads);
    std::string names;
    for (const std::string& package : daemon.Packages)
        names += " " + package;
    // Installing them is no choice: they conflict with Dovecot's POP3 server.
    const std::string log = downloads + "/apt-get.log";
    if (!Run("cd " + downloads + " && apt-get download" + names + " >" + log + " 2>&1"))
        throw std::runtime_error("apt-get download" + names + " failed (see " + log + ")");
    for (const std::string& package : daemon.Packages)
        for (const auto& entry : fs::directory_iterator(downloads)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind(package + "_", 0) == 0 && entry.path().extension() == ".deb" &&
                !Run("dpkg-deb -x " + entry.path().string() + " " + tree))
                throw std::runtime_error("dpkg-deb could not unpack " + file);
        }
    if (access((tree + daemon.Program).c_str(), X_OK) != 0)
        throw std::runtime_error(daemon.Program + " is not in" + names);
    return tree;
}

void TInetdServer::MakeAccounts(const TInetdDaemon& daemon, int messages) {
    const std::string add = "useradd --system --no-create-home --home-dir /nonexistent "
                            "--shell /usr/sbin/nologin ";
    for (const std::string& user : daemon.SystemUsers)
        if (!getpwnam(user.c_str())) {
            if (!Run(add + user + " >/dev/null 2>&1"))
                throw std::runtime_error("useradd " + user + " failed");
            FMadeUsers.push_back(user);
        }
    for (const std::string& folder : daemon.Folders)
        if (!fs::exists(folder)) {
            fs::create_directories(folder);
            FMadeFolders.push_back(folder);
        }
    // The daemons lock the mailbox with a file beside it, as the user: only group mail may
    // write to /var/mail. A user left by an earlier run that broke off serves again.
    if (!getpwnam(User().c_str()) && !Run(add + "-g mail " + User() + " >/dev/null 2>&1"))
        throw std::runtime_error("useradd " + User() + " failed");
    FMadeUsers.push_back(User());
    FPassword = RandomPassword();
    FILE* chpasswd = popen("chpasswd", "w");
    if (!chpasswd)
        throw std::runtime_error("cannot run chpasswd");
    std::fprintf(chpasswd, "%s:%s\n", User().c_str(), FPassword.c_str());
    if (pclose(chpasswd) != 0)
        throw std::runtime_error("chpasswd failed");
    const passwd* account = getpwnam(User().c_str());
    const std::string mailbox = "/var/mail/" + User();
    TTempDir::WriteFile(mailbox, GeneratedMbox(messages));
    chown(mailbox.c_str(), account->pw_uid, account->pw_gid);
    chmod(mailbox.c_str(), 0660);
}

void TInetdServer::Start(const TInetdDaemon& daemon, const std::string& tree) {
    std::string exec = "EXEC:" + tree + daemon.Program;
    if (!daemon.Config.empty()) {
        TTempDir::WriteFile(FRoot + "/daemon.conf", daemon.Config);
        exec += " " + daemon.ConfigOption + " " + FRoot + "/daemon.conf";
    }
    // nofork hands the daemon the connection itself, as inetd does, not a pipe through socat.
    exec += ",nofork";
    FPid = StartLoopbackServer(
        [&](int port) {
            return std::vector<std::string>{
                Socat, "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,fork",
                exec};
        },
        FPort, {"LD_LIBRARY_PATH=" + LibraryPath(tree)});
}

bool TInetdServer::WaitIdle(int timeoutMs) const {
    return AwaitNoChildren(FPid, timeoutMs);
}

void TInetdServer::CleanUp() {
    if (FPid > 0)
        AwaitNoChildren(FPid, 10000);
    StopChild(FPid);
    std::error_code ignored;
    if (!FMadeUsers.empty()) {
        fs::remove("/var/mail/" + User(), ignored);
        fs::remove("/var/mail/" + User() + ".lock", ignored);
    }
    for (auto user = FMadeUsers.rbegin(); user != FMadeUsers.rend(); ++user)
        Run("userdel " + *user + " >/dev/null 2>&1");
    FMadeUsers.clear();
    for (const std::string& folder : FMadeFolders)
        fs::remove(folder, ignored);
    FMadeFolders.clear();
    if (!FRoot.empty())
        fs::remove_all(FRoot, ignored);
    FRoot.clear();
    if (FLock >= 0)
        close(FLock);
    FLock = -1;
}
