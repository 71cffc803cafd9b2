// End-to-end helper: a Dovecot with one mailbox (four messages with non-ASCII subjects, then
// the given number of generated ones) and a settings file naming it twice, once with a wrong
// password; runs until it is told to stop (SIGTERM, SIGINT or end of input).
#include "DovecotServer.h"
#include "core/Global.h"
#include "core/Options.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

// Mail as written in other languages: encoded subjects and sender names in several
// charsets, which the bar and the list must show as text.
const char* const WorldMessages[] = {
    "From: \"=?utf-8?q?=C3=89milie_Durand?=\" <emilie@example.fr>\r\n"
    "Subject: =?utf-8?q?R=C3=A9union_d=C3=A9plac=C3=A9e_=C3=A0_jeudi?=\r\n",
    "From: \"=?windows-1251?b?yOLg7SDP5fLw7uI=?=\" <ivan@example.ru>\r\n"
    "Subject: =?koi8-r?b?8NLJ18XUIMnaIO3P08vX2Q==?=\r\n",
    "From: \"=?utf-8?b?5p2O5piO?=\" <li@example.cn>\r\n"
    "Subject: =?gb2312?b?u+HS6c2o1qqjusP3zOzPws7nyP214w==?=\r\n",
    "From: Ann <ann@example.org>\r\n"
    "Subject: =?utf-8?q?=E2=80=9CQuarterly=E2=80=9D_report_=E2=80=94_final_=F0=9F=93=88?=\r\n",
};

} // namespace

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
    for (const char* head : WorldMessages)
        dovecot.AddMessage(0, std::string(head) +
                                  "To: Reader <reader@example.org>\r\n"
                                  "Date: Mon, 7 Dec 2026 08:00:00 +0000\r\n\r\nHello\r\n");
    for (int n = 1; n <= count; ++n)
        dovecot.AddMessage(0, TDovecotServer::GenerateMessage(n));

    TAccount account;
    account.Host = "127.0.0.1";
    account.Port = dovecot.Port();
    account.User = dovecot.User(0);
    account.AccountName = "Home";
    account.Pass = dovecot.Password(0);
    SaveAccount(account);
    account.AccountName = "Broken";
    account.Pass = "not the password";
    SaveAccount(account);
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
