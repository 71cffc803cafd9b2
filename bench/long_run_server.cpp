// The long run's server: a Dovecot with a POP3 user and an IMAP user, a settings file naming
// both, and the trouble a week brings, on the commands it reads, one a line:
//   add       delivers the next generated message to both mailboxes
//   seen      another IMAP client marks the oldest unseen message read
//   delete    another IMAP client deletes the oldest unseen message, and another POP3
//             client the oldest message
//   kick      ends every session of both users from the server's side
//   stop      stops Dovecot; start starts a stopped one again on the same ports
//   refuse    changes both passwords; admit restores them
//   verify    compares the program's header indexes (in <folder>/cache) with what the
//             servers hold unread, and prints "announced twice: N, lost: M, stale: K"
// It ends at the end of its input, or when told to stop (SIGTERM, SIGINT), stopping Dovecot.
#include "DovecotServer.h"
#include "StopOnSignal.h"
#include "cache/CacheFiles.h"
#include "core/Global.h"
#include "core/MD5Hex.h"
#include "core/Options.h"
#include "imap/IMAPSession.h"
#include "model/HeaderIndex.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>

namespace {

const int POP3User = 0;
const int IMAPUser = 1;

TAccountConfig Account(const TDovecotServer& dovecot, int user) {
    TAccountConfig account;
    account.AccountName = user == POP3User ? "Pop" : "Imap";
    account.Protocol = user == POP3User ? TMailProtocol::POP3 : TMailProtocol::IMAP;
    account.Host = "127.0.0.1";
    account.Port = user == POP3User ? dovecot.Port() : dovecot.IMAPPort();
    account.User = dovecot.User(user);
    account.Pass = dovecot.Password(user);
    return account;
}

// Runs step in a session of its own on the IMAP user's INBOX, as another mail program would.
template <class TStep> void AsOtherClient(const TDovecotServer& dovecot, TStep step) {
    TQBIMAP session;
    session.Server.Host = "127.0.0.1";
    session.Server.Port = dovecot.IMAPPort();
    session.Server.User = dovecot.User(IMAPUser);
    session.Server.Pass = dovecot.Password(IMAPUser);
    session.ReadTimeout = 10000;
    session.Connect(10000);
    session.Select(false);
    step(session);
    session.Logout(5000);
}

// The entries the program keeps for account, from its header index as the store names it
// (see TMessageStore::IndexPath), each with how often it is there: by Message-ID for POP3,
// by uid for IMAP.
std::map<std::string, int> Shown(const std::string& folder, const TAccountConfig& a) {
    const std::string key = a.AccountName + '\0' + a.Host + '\0' + std::to_string(a.Port) + '\0' +
                            a.User + '\0' + std::to_string(static_cast<int>(a.Protocol));
    TCacheFile file;
    std::vector<TIndexedEntry> entries;
    std::map<std::string, int> shown;
    if (ReadCacheFile(folder + "/cache/" + MD5Hex("header index\n" + key) + ".dat", file) &&
        ParseHeaderIndex(file.Text, entries))
        for (const TIndexedEntry& entry : entries)
            ++shown[a.Protocol == TMailProtocol::IMAP ? entry.UID.substr(entry.UID.find(':') + 1)
                                                      : entry.MessageID];
    return shown;
}

// What the server holds unread, named as Shown names it: every message of the POP3 user
// (nothing reads them), the unseen ones as another IMAP client finds them.
std::set<std::string> UnreadOnServer(const TDovecotServer& dovecot, int user) {
    std::set<std::string> unread;
    if (user == IMAPUser) {
        AsOtherClient(dovecot, [&unread](TQBIMAP& other) {
            for (uint32_t uid : other.SearchUnseen(true))
                unread.insert(std::to_string(uid));
        });
        return unread;
    }
    for (const std::string& name : dovecot.MessageFiles(user))
        for (const char* sub : {"/cur/", "/new/"}) {
            std::ifstream in(dovecot.Maildir(user) + sub + name);
            for (std::string line; std::getline(in, line) && line != "\r";)
                if (line.rfind("Message-ID: ", 0) == 0)
                    unread.insert(line.substr(12, line.find('\r') - 12));
        }
    return unread;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: long_run_server <program folder> <messages>\n";
        return 2;
    }
    const std::string why = TDovecotServer::IMAPUnavailable();
    if (!why.empty()) {
        std::cerr << "long_run_server: " << why << "\n";
        return 1;
    }
    const std::string folder = argv[1];
    AppPath = folder;
    int delivered = 0;
    TDovecotServer dovecot(2, 0);
    auto deliver = [&] {
        ++delivered;
        for (int user : {POP3User, IMAPUser})
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(delivered));
    };
    for (int n = std::atoi(argv[2]); n > 0; --n)
        deliver();
    const TAccountConfig accounts[] = {Account(dovecot, POP3User), Account(dovecot, IMAPUser)};
    for (const TAccountConfig& account : accounts)
        SaveAccount(account);
    StopOnSignal(dovecot);
    std::cout << "ready" << std::endl;

    for (std::string command; std::getline(std::cin, command);) {
        try {
            if (command == "add") {
                deliver();
            } else if (command == "seen" || command == "delete") {
                AsOtherClient(dovecot, [&command](TQBIMAP& other) {
                    const std::vector<uint32_t> unseen = other.SearchUnseen(true);
                    if (!unseen.empty() && command == "seen")
                        other.MarkSeen({unseen.front()});
                    else if (!unseen.empty())
                        other.Delete({unseen.front()});
                });
                if (command == "delete" && dovecot.MessageCount(POP3User) > 0)
                    dovecot.DeleteMessage(POP3User, dovecot.MessageFiles(POP3User).front());
            } else if (command == "kick") {
                // doveadm fails for a user without a session, as the POP3 user mostly is.
                for (int user : {POP3User, IMAPUser})
                    try {
                        dovecot.Kick(user);
                    } catch (const std::exception&) {
                    }
            } else if (command == "stop") {
                dovecot.Stop();
            } else if (command == "start") {
                if (dovecot.Pid() <= 0)
                    dovecot.Restart();
            } else if (command == "refuse" || command == "admit") {
                for (int user : {POP3User, IMAPUser})
                    dovecot.SetPassword(user,
                                        command == "refuse" ? "refused" : accounts[user].Pass);
            } else if (command == "verify") {
                int twice = 0;
                int lost = 0;
                int stale = 0;
                for (int user : {POP3User, IMAPUser}) {
                    const std::map<std::string, int> shown = Shown(folder, accounts[user]);
                    const std::set<std::string> unread = UnreadOnServer(dovecot, user);
                    for (const auto& [id, count] : shown) {
                        twice += count > 1 ? count - 1 : 0;
                        stale += unread.count(id) == 0 ? 1 : 0;
                    }
                    for (const std::string& id : unread)
                        lost += shown.count(id) == 0 ? 1 : 0;
                    std::cout << accounts[user].AccountName << ": " << unread.size()
                              << " unread on the server, " << shown.size() << " shown\n";
                }
                std::cout << "announced twice: " << twice << ", lost: " << lost
                          << ", stale: " << stale << std::endl;
            }
        } catch (const std::exception& error) {
            std::cout << "error: " << error.what() << std::endl;
        }
        std::cout << "done " << command << std::endl;
    }
    return 0;
}
