// TMailutilsServer: GNU mailutils' pop3d on loopback, a second real POP3 server beside Dovecot.
#pragma once

#include <string>
#include <sys/types.h>

// Serves one user ("user1@quillbar.test") from an mbox of generated messages, run as its own
// daemon child from a generated config: the password comes from a virtual-domain password
// file, so nothing of the system's accounts changes. Needs root (pop3d switches to the mail
// user) and the system user Dovecot's fixture uses. Stops pop3d when destroyed.
class TMailutilsServer {
  public:
    explicit TMailutilsServer(int messages);
    ~TMailutilsServer();
    TMailutilsServer(const TMailutilsServer&) = delete;
    TMailutilsServer& operator=(const TMailutilsServer&) = delete;

    // "" when pop3d can run here; else why not (tests skip with it).
    static std::string Unavailable();

    int Port() const { return FPort; }
    // Waits until no session is left: pop3d rewrites the mailbox after QUIT and holds its
    // lock until then, so a login at once would find it in use. False after timeoutMs.
    bool WaitIdle(int timeoutMs = 60000) const;
    static std::string User() { return "user1@quillbar.test"; }
    static std::string Password() { return "secret1"; }

  private:
    std::string FRoot;
    int FPort = 0;
    pid_t FPid = -1;

    void WriteMailbox(int messages);
    void Start();
    void Stop();
};
