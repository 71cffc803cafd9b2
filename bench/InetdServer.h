// TInetdServer: a POP3 daemon of a Debian package, unpacked without installing it and run the
// way inetd runs it, for the benchmarks.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A daemon that serves one connection on its standard input and output.
struct TInetdDaemon {
    std::string Name{}; // as the figures name it
    // Fetched with apt-get download: the daemon's package, then those of its libraries.
    std::vector<std::string> Packages{};
    std::string Program{}; // its path inside the unpacked packages
    // When not empty, written to a file whose path follows ConfigOption on the command line.
    std::string Config{};
    std::string ConfigOption{};
    std::vector<std::string> SystemUsers{}; // the daemon switches to these; made while it runs
    std::vector<std::string> Folders{};     // that it needs, made while it runs
};

// socat accepts on loopback and starts the daemon on each connection's socket. The daemon
// serves the system user User() from the mbox /var/mail/<User()>, with its password in the
// shadow file; both exist only while the server does. Needs root. The packages are fetched
// once into a folder of their own and kept there for the next run.
class TInetdServer {
  public:
    // Throws std::runtime_error saying why when the daemon cannot be fetched or started.
    TInetdServer(const TInetdDaemon& daemon, const std::string& packageFolder, int messages);
    ~TInetdServer();
    TInetdServer(const TInetdServer&) = delete;
    TInetdServer& operator=(const TInetdServer&) = delete;

    // "" when such daemons can run here; else why not.
    static std::string Unavailable();

    int Port() const { return FPort; }
    // Waits until every session has ended and the daemon let go of the mailbox. False after
    // timeoutMs.
    bool WaitIdle(int timeoutMs = 60000) const;
    static std::string User() { return "qb-popbench"; }
    const std::string& Password() const { return FPassword; }

  private:
    int FLock = -1; // one such server at a time on this machine: they share the user
    std::string FRoot;
    std::string FPassword;
    std::vector<std::string> FMadeUsers, FMadeFolders;
    int FPort = 0;
    pid_t FPid = -1;

    std::string Unpack(const TInetdDaemon& daemon, const std::string& packageFolder);
    void MakeAccounts(const TInetdDaemon& daemon, int messages);
    void Start(const TInetdDaemon& daemon, const std::string& tree);
    void CleanUp();
};
