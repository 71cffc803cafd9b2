// TDovecotServer: a real Dovecot POP3 and IMAP server on loopback, run from a generated config for
// tests.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Starts Dovecot in the foreground as its own child process, listening on free
// ports of 127.0.0.1 and 127.0.0.2 (clear text with STLS, and POP3S; for IMAP,
// when dovecot-imapd is installed, clear text with STARTTLS and implicit TLS), with
// users whose Maildirs hold generated messages. A test CA signs the server's
// certificate for localhost and 127.0.0.1 only. Every command a client sends
// is recorded in Dovecot's raw logs. Needs root (Dovecot's own rule) and the
// system user "quillbar-test", which it creates when missing. Stops Dovecot by
// its own pid when destroyed.
class TDovecotServer {
  public:
    // Starts Dovecot with `users` users of `messagesEach` generated messages each. Without
    // recordSessions, the commands after login and every reply go unrecorded, as a
    // benchmark needs: recording them costs the server writes for every command. With an
    // introspectionURL, users log in with XOAUTH2 and OAUTHBEARER besides their passwords:
    // Dovecot asks it (POST token=...) whether a token is active and for whom.
    explicit TDovecotServer(int users = 1, int messagesEach = 0, bool recordSessions = true,
                            const std::string& introspectionURL = "");
    ~TDovecotServer();
    TDovecotServer(const TDovecotServer&) = delete;
    TDovecotServer& operator=(const TDovecotServer&) = delete;

    // "" when Dovecot can run here; else why not (tests skip with it).
    static std::string Unavailable();
    // The same for the IMAP tests, which need dovecot-imapd besides.
    static std::string IMAPUnavailable();

    int Port() const { return FPort; }               // clear text, STLS offered
    int TLSPort() const { return FTLSPort; }         // POP3S
    int IMAPPort() const { return FIMAPPort; }       // clear text, STARTTLS offered; 0 without IMAP
    int IMAPTLSPort() const { return FIMAPTLSPort; } // TLS from the first byte
    pid_t Pid() const { return FPid; }
    std::string CAFile() const;  // the test CA, PEM
    std::string LogPath() const; // Dovecot's own log
    std::string Log() const;

    // Users are numbered from 0; a new user starts with an empty mailbox. Settings of the user's
    // own, as "userdb_name=value" fields separated by blanks, override the server's.
    int AddUser(const std::string& settings = "");
    int UserCount() const { return static_cast<int>(FUsers.size()); }
    std::string User(int user) const;
    std::string Password(int user) const;
    // Sets a user's password; takes a second, until Dovecot rereads it.
    void SetPassword(int user, const std::string& password);
    // Ends every session of a user from the server's side, as a restart or a network
    // failure would.
    void Kick(int user);

    // The user's Maildir folder, whose cur and new hold the message files.
    std::string Maildir(int user) const;
    // Adds a message (CR LF line ends) to a user's Maildir; returns its file name.
    std::string AddMessage(int user, const std::string& text);
    // A generated message with n in its subject and a few body lines, one dot-stuffed.
    static std::string GenerateMessage(int n, int bodyLines = 5);
    // Message file names in the order Dovecot numbers them (delivery order).
    std::vector<std::string> MessageFiles(int user) const;
    int MessageCount(int user) const { return static_cast<int>(MessageFiles(user).size()); }
    void DeleteMessage(int user, const std::string& fileName);

    // Every command clients sent, before and after login, in the order received.
    std::vector<std::string> Commands() const;
    // Forgets the recorded commands, so a test sees only its own.
    void ClearCommands();

    void Stop();
    // Stops the server and removes its folder, for a process that ends without destructors.
    void Discard();
    // Starts a stopped server again on the ports it had, as a restarted server comes back.
    void Restart();

  private:
    struct TUser {
        std::string Name;
        std::string Password;
        std::string Settings;
    };
    std::string FRoot;
    int FPort = 0;
    int FTLSPort = 0;
    int FIMAPPort = 0;
    int FIMAPTLSPort = 0;
    pid_t FPid = -1;
    std::vector<TUser> FUsers;
    int FDelivered = 0;
    bool FRecordSessions = true;
    std::string FIntrospectionURL;

    void MakeCertificates();
    void WriteConfig();
    void WriteOAuth2Config();
    void WritePassword(int user);
    void Start(bool samePorts = false);
};
