// qb-demo-server: a private Dovecot on loopback with a mailbox that looks like a real
// one, and a settings file in the given program folder with a POP3 account on it and,
// where Dovecot serves IMAP, an IMAP account on a second such mailbox. Runs until SIGTERM
// or SIGINT, then stops Dovecot.
#include "DovecotServer.h"
#include "core/Global.h"
#include "core/Options.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct TDemoMessage {
    std::string From, Subject, Extra, Body;
};

std::string Base64(const std::string& data) {
    static const char* const digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int line = 0;
    for (size_t i = 0; i < data.size(); i += 3) {
        const uint32_t v = (uint8_t(data[i]) << 16) |
                           (i + 1 < data.size() ? uint8_t(data[i + 1]) << 8 : 0) |
                           (i + 2 < data.size() ? uint8_t(data[i + 2]) : 0);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < data.size() ? digits[(v >> 6) & 63] : '=';
        out += i + 2 < data.size() ? digits[v & 63] : '=';
        if (++line == 19) {
            out += "\r\n";
            line = 0;
        }
    }
    return out + "\r\n";
}

std::string Message(const TDemoMessage& m, int day) {
    return "From: " + m.From + "\r\nTo: You <you@example.net>\r\nSubject: " + m.Subject +
           "\r\nDate: " + std::to_string(day) + " Dec 2026 09:" + std::to_string(10 + day) +
           ":00 +0100\r\nMessage-ID: <demo" + std::to_string(day) +
           "@example.org>\r\nMIME-Version: 1.0\r\n" + m.Extra + "\r\n" + m.Body;
}

std::vector<std::string> DemoMailbox() {
    const std::string plain = "Content-Type: text/plain; charset=utf-8\r\n"
                              "Content-Transfer-Encoding: 8bit\r\n";
    std::string picture;
    for (int i = 0; i < 3000; ++i)
        picture += char(i * 7 % 256);
    std::string large;
    while (large.size() < 1100 * 1024)
        large += "Quarterly figures, line " + std::to_string(large.size()) + ", all in order.\r\n";
    const std::string boundary = "demo-boundary-1";
    return {
        Message({"Anna Berg <anna@example.org>", "Lunch on Friday?", plain,
                 "Hi,\r\n\r\nshall we try the new place by the river on Friday at noon?\r\n\r\n"
                 "Anna\r\n"},
                1),
        Message({"=?utf-8?q?Ren=C3=A9e_Dubois?= <renee@example.fr>",
                 "=?utf-8?q?R=C3=A9union_de_l'=C3=A9quipe_=E2=80=94_ordre_du_jour?=", plain,
                 "Bonjour à tous,\r\n\r\nvoici l'ordre du jour de la réunion de lundi.\r\n"},
                2),
        Message({"=?utf-8?b?zp3Or866zr/PgiDOoM6xz4DOsc60z4zPgM6/z4XOu86/z4I=?= <nikos@example.gr>",
                 "=?utf-8?b?zqDPgc+MzrPPgc6xzrzOvM6xIM6zzrnOsSDPhM6/IM6jzrHOss6yzrHPhM6/"
                 "zrrPjc+BzrnOsc66zr8=?=",
                 plain, "Γεια σας! Ας κανονίσουμε το Σαββατοκύριακο.\r\n"},
                3),
        Message({"Build server <ci@example.com>", "URGENT: nightly build failed",
                 "X-Priority: 1 (Highest)\r\n" + plain,
                 "The nightly build failed at step 4 of 9.\r\n"},
                4),
        Message({"Newsletter <news@example.com>", "Your weekly digest",
                 "X-Priority: 5 (Lowest)\r\nContent-Type: text/html; charset=utf-8\r\n",
                 "<html><body><h1>This week</h1><p>Five stories you may have missed.</p>"
                 "<p><a href=\"https://example.com/\">Read more</a></p></body></html>\r\n"},
                5),
        Message({"=?utf-8?q?J=C3=B6rg_M=C3=BCller?= <joerg@example.de>",
                 "=?utf-8?q?Fotos_vom_Ausflug?=",
                 "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n",
                 "--" + boundary + "\r\n" + plain + "\r\nHier sind die Fotos vom Samstag.\r\n--" +
                     boundary +
                     "\r\nContent-Type: image/png; name=\"ausflug.png\"\r\n"
                     "Content-Disposition: attachment; filename=\"ausflug.png\"\r\n"
                     "Content-Transfer-Encoding: base64\r\n\r\n" +
                     Base64(picture) + "--" + boundary + "--\r\n"},
                6),
        Message({"Finance <finance@example.com>", "Quarterly report (large)", plain, large}, 7),
    };
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: qb-demo-server <program folder>\n";
        return 2;
    }
    const std::string why = TDovecotServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "qb-demo-server: " << why << "\n";
        return 1;
    }
    AppPath = argv[1];
    TDovecotServer dovecot(2, 0);
    // Blocked only now: Dovecot would inherit the mask and never hear its stop signal.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    for (const std::string& message : DemoMailbox()) {
        dovecot.AddMessage(0, message);
        dovecot.AddMessage(1, message);
    }
    TOptions options;
    std::vector<TAccount> accounts;
    LoadSettings(options, accounts);
    if (accounts.empty()) {
        TAccountConfig account;
        account.AccountName = "Demo";
        account.Name = "You";
        account.Email = "you@example.net";
        account.Host = "127.0.0.1";
        account.User = dovecot.User(0);
        account.Pass = dovecot.Password(0);
        account.Port = dovecot.Port();
        SaveAccount(account);
    } else {
        // A demo folder from an earlier run: the same account on this run's server.
        accounts[0].Port = dovecot.Port();
        accounts[0].User = dovecot.User(0);
        accounts[0].Pass = dovecot.Password(0);
        SaveAccount(accounts[0]);
    }
    if (dovecot.IMAPPort() != 0) {
        // Added beside a folder's own accounts too, once; then kept on this run's server.
        TAccountConfig account;
        account.AccountName = "Demo IMAP";
        account.Name = "You";
        account.Email = "you@example.net";
        account.Host = "127.0.0.1";
        for (const TAccount& existing : accounts)
            if (SameText(existing.AccountName, account.AccountName))
                account = existing;
        account.Protocol = TMailProtocol::IMAP;
        account.Port = dovecot.IMAPPort();
        account.User = dovecot.User(1);
        account.Pass = dovecot.Password(1);
        SaveAccount(account);
    }
    // The IMAP port is 0 where Dovecot serves POP3 only.
    std::cout << "ready " << dovecot.Port() << " " << dovecot.IMAPPort() << std::endl;
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
