// End-to-end helper: a Dovecot with one mailbox and a settings file naming it twice, once
// with a wrong password; runs until it is told to stop (SIGTERM, SIGINT or end of input).
#include "DovecotServer.h"
#include "core/UGlobal.h"
#include "core/UOptions.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: qb_e2e_server <program folder> <messages>\n";
        return 2;
    }
    const std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "qb_e2e_server: " << why << "\n";
        return 1;
    }
    AppPath = argv[1];
    const int count = std::atoi(argv[2]);
    TDovecotServer dovecot(1, 0);
    for (int n = 1; n <= count; ++n)
        dovecot.AddMessage(0, TDovecotServer::GenerateMessage(n));

    TAccount account;
    account.POPHost = "127.0.0.1";
    account.POPPort = dovecot.Port();
    account.POPUser = dovecot.User(0);
    account.AccountName = "Home";
    account.POPPass = dovecot.Password(0);
    AddAccount(account, true);
    account.AccountName = "Broken";
    account.POPPass = "not the password";
    AddAccount(account, true);
    std::cout << "ready " << dovecot.Port() << std::endl;

    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
