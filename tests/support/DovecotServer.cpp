// TDovecotServer: a real Dovecot POP3 and IMAP server on loopback, run from a generated config for
// tests.
#include "DovecotServer.h"

#include "ChildProcess.h"
#include "LoopbackSocket.h"

#include "TempDir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* MailUser = "quillbar-test";
const char* DovecotBinary = "/usr/sbin/dovecot";
const char* IMAPBinary = "/usr/lib/dovecot/imap";

// IMAP is served beside POP3 wherever dovecot-imapd is installed; POP3 runs without it.
bool IMAPInstalled() {
    return access(IMAPBinary, X_OK) == 0;
}

void Run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

void ChownTree(const fs::path& path, uid_t uid, gid_t gid) {
    chown(path.c_str(), uid, gid);
    if (fs::is_directory(path))
        for (const auto& entry : fs::recursive_directory_iterator(path))
            chown(entry.path().c_str(), uid, gid);
}

passwd* MailAccount() {
    passwd* account = getpwnam(MailUser);
    if (!account && geteuid() == 0) {
        // Dovecot refuses to deliver as root: it needs an ordinary system user.
        std::system((std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") +
                     MailUser + " >/dev/null 2>&1")
                        .c_str());
        account = getpwnam(MailUser);
    }
    return account;
}

} // namespace

std::string TDovecotServer::Unavailable() {
    if (access(DovecotBinary, X_OK) != 0 || access("/usr/lib/dovecot/pop3", X_OK) != 0)
        return "Dovecot (dovecot-pop3d) is not installed; scripts/setup.sh installs it";
    if (geteuid() != 0)
        return "Dovecot test servers need root";
    if (!MailAccount())
        return std::string("no system user ") + MailUser;
    return "";
}

std::string TDovecotServer::IMAPUnavailable() {
    std::string why = Unavailable();
    if (why.empty() && !IMAPInstalled())
        why = "Dovecot's IMAP (dovecot-imapd) is not installed; scripts/setup.sh installs it";
    return why;
}

TDovecotServer::TDovecotServer(int users, int messagesEach, bool recordSessions,
                               const std::string& introspectionURL)
    : FRecordSessions(recordSessions), FIntrospectionURL(introspectionURL) {
    std::string why = Unavailable();
    if (!why.empty())
        throw std::runtime_error(why);
    // The mail and login processes run as other users and must reach their folders.
    FRoot = TTempDir::MakeServerRoot("qbdovecot");
    for (const char* dir : {"base", "state", "rawlog"})
        fs::create_directories(FRoot + "/" + dir);
    passwd* account = MailAccount();
    ChownTree(FRoot + "/rawlog", account->pw_uid, account->pw_gid);
    MakeCertificates();
    if (!FIntrospectionURL.empty())
        WriteOAuth2Config();
    for (int i = 0; i < users; ++i) {
        int user = AddUser();
        for (int n = 1; n <= messagesEach; ++n)
            AddMessage(user, GenerateMessage(n));
    }
    Start();
}

TDovecotServer::~TDovecotServer() {
    Discard();
}

void TDovecotServer::Discard() {
    Stop();
    std::error_code ignored;
    fs::remove_all(FRoot, ignored);
}

void TDovecotServer::MakeCertificates() {
    std::string d = FRoot + "/tls";
    fs::create_directories(d);
    TTempDir::WriteFile(d + "/server.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                                           "extendedKeyUsage=serverAuth\n");
    Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj '/CN=Quillbar Test CA' -keyout " +
        d + "/ca.key -out " + d + "/ca.pem");
    Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
        " -subj '/CN=localhost' -keyout " +
        d + "/server.key -out " + d + "/server.csr");
    Run("openssl x509 -req -days 2 -in " + d + "/server.csr -CA " + d + "/ca.pem -CAkey " + d +
        "/ca.key -CAcreateserial -extfile " + d + "/server.ext -out " + d + "/server.pem");
}

void TDovecotServer::WriteConfig() {
    const std::string& r = FRoot;
    std::ostringstream conf;
    const bool imap = FIMAPPort != 0;
    conf << (imap ? "protocols = pop3 imap\n" : "protocols = pop3\n")
         << "listen = 127.0.0.1, 127.0.0.2\n"
         << "base_dir = " << r << "/base\n"
         << "state_dir = " << r << "/state\n"
         << "log_path = " << r << "/dovecot.log\n"
         << "ssl = yes\n"
         << "ssl_cert = <" << r << "/tls/server.pem\n"
         << "ssl_key = <" << r << "/tls/server.key\n"
         << "disable_plaintext_auth = no\n"
         << (FIntrospectionURL.empty() ? "auth_mechanisms = plain apop\n"
                                       : "auth_mechanisms = plain login apop xoauth2 oauthbearer\n")
         << "auth_failure_delay = 0\n"
         << "default_login_user = dovenull\n"
         << "default_internal_user = dovecot\n"
         << "mail_location = maildir:" << r << "/mail/%u/Maildir\n"
         << "mail_uid = " << MailUser << "\n"
         << "mail_gid = " << MailUser << "\n"
         << "first_valid_uid = 1\n"
         // One password file per user: Dovecot rereads a changed file at most once a
         // second, but opens a new one at once.
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " << r << "/passwd/%u\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << MailUser << " gid=" << MailUser
         << " home=" << r
         << "/mail/%u\n}\n"
         // -R: the login processes record the commands sent before login.
         << "service pop3-login {\n  executable = pop3-login -R rawlogs\n"
         << "  inet_listener pop3 {\n    port = " << FPort << "\n  }\n"
         << "  inet_listener pop3s {\n    port = " << FTLSPort << "\n    ssl = yes\n  }\n}\n"
         << (FRecordSessions ? "protocol pop3 {\n  rawlog_dir = " + r + "/rawlog\n}\n" : "");
    // After the password file, which the password mechanisms alone reach.
    if (!FIntrospectionURL.empty())
        conf << "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n"
             << "  args = " << r << "/oauth2.conf\n}\n";
    if (imap)
        conf << "service imap-login {\n  executable = imap-login -R rawlogs\n"
             << "  inet_listener imap {\n    port = " << FIMAPPort << "\n  }\n"
             << "  inet_listener imaps {\n    port = " << FIMAPTLSPort
             << "\n    ssl = yes\n  }\n}\n"
             << "protocol imap {\n"
             << (FRecordSessions ? "  rawlog_dir = " + r + "/rawlog\n" : "")
             // New mail reaches an idling client within a second, not the default half minute.
             << "  mailbox_idle_check_interval = 1 secs\n}\n";
    conf
        // No growing delay after the wrong-password tests.
        << "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    TTempDir::WriteFile(r + "/dovecot.conf", conf.str());
}

void TDovecotServer::WriteOAuth2Config() {
    std::ostringstream conf;
    conf << "introspection_mode = post\n"
         << "introspection_url = " << FIntrospectionURL << "\n"
         << "force_introspection = yes\n"
         << "username_attribute = username\n"
         // An expired or unknown token is answered as inactive, with no user.
         << "active_attribute = active\n"
         << "active_value = true\n"
         << "timeout_msecs = 10000\n";
    TTempDir::WriteFile(FRoot + "/oauth2.conf", conf.str());
}

void TDovecotServer::WritePassword(int user) {
    fs::create_directories(FRoot + "/passwd");
    const TUser& entry = FUsers.at(static_cast<size_t>(user));
    std::string temporary = FRoot + "/passwd/." + entry.Name;
    TTempDir::WriteFile(temporary, entry.Name + ":{PLAIN}" + entry.Password +
                                       "::::::" + entry.Settings + "\n");
    fs::rename(temporary, FRoot + "/passwd/" + entry.Name);
}

void TDovecotServer::Start(bool samePorts) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!samePorts) {
            FPort = FreeLoopbackPort();
            FTLSPort = FreeLoopbackPort();
            FIMAPPort = IMAPInstalled() ? FreeLoopbackPort() : 0;
            FIMAPTLSPort = IMAPInstalled() ? FreeLoopbackPort() : 0;
        }
        WriteConfig();
        FPid = fork();
        if (FPid == 0) {
            // A restart may come from a thread that blocks the stop signals for sigwait.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            execl(DovecotBinary, "dovecot", "-F", "-c", (FRoot + "/dovecot.conf").c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // The login processes write their raw logs here; Dovecot makes base/login itself.
        std::string loginRawlog = FRoot + "/base/login/rawlogs";
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            int status;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                break;
            }
            if (fs::exists(FRoot + "/base/login") && !fs::exists(loginRawlog)) {
                fs::create_directories(loginRawlog);
                passwd* loginAccount = getpwnam("dovenull");
                if (loginAccount)
                    chown(loginRawlog.c_str(), loginAccount->pw_uid, loginAccount->pw_gid);
            }
            if (fs::exists(loginRawlog) && LoopbackAccepts(FPort) && LoopbackAccepts(FTLSPort) &&
                (FIMAPPort == 0 || (LoopbackAccepts(FIMAPPort) && LoopbackAccepts(FIMAPTLSPort)))) {
                ClearCommands();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Stop();
    }
    throw std::runtime_error("Dovecot did not start; see " + LogPath());
}

void TDovecotServer::Stop() {
    StopChild(FPid);
}

void TDovecotServer::Restart() {
    Stop();
    Start(true);
}

std::string TDovecotServer::CAFile() const {
    return FRoot + "/tls/ca.pem";
}

std::string TDovecotServer::LogPath() const {
    return FRoot + "/dovecot.log";
}

std::string TDovecotServer::Log() const {
    return TTempDir::ReadFile(LogPath());
}

int TDovecotServer::AddUser(const std::string& settings) {
    int user = static_cast<int>(FUsers.size());
    FUsers.push_back(
        {"user" + std::to_string(user + 1), "secret" + std::to_string(user + 1), settings});
    passwd* account = MailAccount();
    for (const char* sub : {"cur", "new", "tmp"})
        fs::create_directories(Maildir(user) + "/" + sub);
    ChownTree(FRoot + "/mail", account->pw_uid, account->pw_gid);
    WritePassword(user);
    return user;
}

std::string TDovecotServer::User(int user) const {
    return FUsers.at(static_cast<size_t>(user)).Name;
}

std::string TDovecotServer::Password(int user) const {
    return FUsers.at(static_cast<size_t>(user)).Password;
}

void TDovecotServer::SetPassword(int user, const std::string& password) {
    FUsers.at(static_cast<size_t>(user)).Password = password;
    WritePassword(user);
    // Dovecot looks at a password file it knows at most once a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
}

void TDovecotServer::Kick(int user) {
    Run("doveadm -c " + FRoot + "/dovecot.conf kick " + User(user));
}

std::string TDovecotServer::Maildir(int user) const {
    return FRoot + "/mail/" + User(user) + "/Maildir";
}

std::string TDovecotServer::AddMessage(int user, const std::string& text) {
    ++FDelivered;
    // Dovecot numbers new messages by the time in their names: keep it rising. The process
    // part varies too, as in real deliveries: Dovecot's file-name hash puts names that differ
    // in their first digits only into a few buckets, and a large mailbox then costs it seconds.
    const std::string count = std::to_string(FDelivered);
    std::string name = std::to_string(1700000000 + FDelivered) + ".M" + count + "P" + count +
                       ".quillbar,S=" + std::to_string(text.size()) + ":2,";
    std::string temporary = Maildir(user) + "/tmp/" + name;
    TTempDir::WriteFile(temporary, text);
    passwd* account = MailAccount();
    chown(temporary.c_str(), account->pw_uid, account->pw_gid);
    fs::rename(temporary, Maildir(user) + "/cur/" + name);
    return name;
}

std::string TDovecotServer::GenerateMessage(int n, int bodyLines) {
    std::string id = std::to_string(n);
    std::string text = "From: Sender " + id + " <sender" + id +
                       "@example.org>\r\n"
                       "To: Reader <reader@example.org>\r\n"
                       "Subject: Test message " +
                       id +
                       "\r\n"
                       "Date: Mon, 7 Dec 2026 08:00:00 +0000\r\n"
                       "Message-ID: <" +
                       id +
                       "@quillbar.test>\r\n"
                       "\r\n";
    for (int line = 1; line <= bodyLines; ++line)
        text += (line == 2 ? ".dotted line " : "Body line ") + std::to_string(line) +
                " of message " + id + "\r\n";
    return text;
}

std::vector<std::string> TDovecotServer::MessageFiles(int user) const {
    std::vector<std::string> names;
    for (const char* sub : {"cur", "new"})
        for (const auto& entry : fs::directory_iterator(Maildir(user) + "/" + sub))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void TDovecotServer::DeleteMessage(int user, const std::string& fileName) {
    for (const char* sub : {"cur", "new"})
        fs::remove(Maildir(user) + "/" + sub + "/" + fileName);
}

std::vector<std::string> TDovecotServer::Commands() const {
    // Raw log lines are "<seconds.micros> <command>"; merge every client's by time.
    std::multimap<std::string, std::string> byTime;
    for (const std::string& dir : {FRoot + "/base/login/rawlogs", FRoot + "/rawlog"}) {
        if (!fs::exists(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() != ".in")
                continue;
            std::istringstream lines(TTempDir::ReadFile(entry.path().string()));
            std::string line;
            while (std::getline(lines, line)) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                size_t blank = line.find(' ');
                if (blank != std::string::npos)
                    byTime.emplace(line.substr(0, blank), line.substr(blank + 1));
            }
        }
    }
    std::vector<std::string> commands;
    for (const auto& [time, command] : byTime)
        commands.push_back(command);
    return commands;
}

void TDovecotServer::ClearCommands() {
    for (const std::string& dir : {FRoot + "/base/login/rawlogs", FRoot + "/rawlog"})
        if (fs::exists(dir))
            for (const auto& entry : fs::directory_iterator(dir))
                fs::remove(entry.path());
}
