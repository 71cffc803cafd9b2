// End-to-end helper for IMAP: a Dovecot whose INBOX holds the given number of generated
// messages ("Test message n" has UID n) and a settings file naming it as an IMAP account.
// It prints "ready <IMAP port> <Dovecot's log>" once the server is up.
// Then it acts as another mail client on the commands it reads, one a line:
//   add [S]  delivers the next generated message, with the subject S when given
//   from F   the messages delivered from now on have F as their From header
//   seen N   sets \Seen on message N
//   unseen   prints "unseen:" and the UIDs still without \Seen
//   count    prints "count:" and the number of messages in the INBOX
// It ends at the end of its input, or when told to stop (SIGTERM, SIGINT), stopping Dovecot.
#include "DovecotServer.h"
#include "StopOnSignal.h"
#include "core/Global.h"
#include "core/Options.h"
#include "imap/IMAPSession.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

namespace {

// Runs step in a session of its own on the INBOX, as another mail program would.
template <class TStep> void AsOtherClient(const TDovecotServer& dovecot, TStep step) {
    TQBIMAP session;
    session.Server.Host = "127.0.0.1";
    session.Server.Port = dovecot.IMAPPort();
    session.Server.User = dovecot.User(0);
    session.Server.Pass = dovecot.Password(0);
    session.ReadTimeout = 10000;
    session.Connect(10000);
    session.Select(false);
    step(session);
    session.Logout(5000);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: qb_e2e_imap_server <program folder> <messages>\n";
        return 2;
    }
    const std::string why = TDovecotServer::Unavailable() + TDovecotServer::IMAPUnavailable();
    if (!why.empty()) {
        std::cerr << "qb_e2e_imap_server: " << why << "\n";
        return 1;
    }
    AppPath = argv[1];
    int delivered = std::atoi(argv[2]);
    std::string from;
    TDovecotServer dovecot(1, 0);
    for (int n = 1; n <= delivered; ++n)
        dovecot.AddMessage(0, TDovecotServer::GenerateMessage(n));

    TAccountConfig account;
    account.AccountName = "Home";
    account.Protocol = TMailProtocol::IMAP;
    account.Host = "127.0.0.1";
    account.Port = dovecot.IMAPPort();
    account.User = dovecot.User(0);
    account.Pass = dovecot.Password(0);
    SaveAccount(account);
    StopOnSignal(dovecot);
    std::cout << "ready " << dovecot.IMAPPort() << " " << dovecot.LogPath() << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        try {
            if (command == "add") {
                std::string message = TDovecotServer::GenerateMessage(++delivered);
                std::string subject;
                std::getline(words >> std::ws, subject);
                if (!subject.empty()) {
                    const std::string generated = "Test message " + std::to_string(delivered);
                    message.replace(message.find(generated), generated.size(), subject);
                }
                if (!from.empty()) {
                    const size_t start = message.find("From: ") + 6;
                    message.replace(start, message.find("\r\n", start) - start, from);
                }
                dovecot.AddMessage(0, message);
            } else if (command == "from") {
                std::getline(words >> std::ws, from);
            } else if (command == "seen") {
                uint32_t uid = 0;
                words >> uid;
                AsOtherClient(dovecot, [uid](TQBIMAP& other) { other.MarkSeen({uid}); });
            } else if (command == "count") {
                std::cout << "count: " << dovecot.MessageCount(0) << std::endl;
            } else if (command == "unseen") {
                AsOtherClient(dovecot, [](TQBIMAP& other) {
                    std::cout << "unseen:";
                    for (uint32_t uid : other.SearchUnseen())
                        std::cout << " " << uid;
                    std::cout << std::endl;
                });
            }
        } catch (const std::exception& error) {
            std::cout << "error: " << error.what() << std::endl;
        }
    }
    return 0;
}
