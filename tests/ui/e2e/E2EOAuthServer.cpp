// End-to-end helper for OAuth2: the test authorization server, and a Dovecot that signs its
// two users in with its tokens. User 0 is left for the account dialog to add as an IMAP
// account; user 1 is a POP3 account written to the settings file with its refresh token, as
// an administrator would deploy it. Then it acts on the commands it reads, one a line:
//   add U      delivers the next generated message to user U
//   expire     every access token given out so far is refused from now on
//   revoke     every refresh token given out so far is refused from now on
// It prints "ready <IMAP port> <authorization URL> <token URL> <user 0> <token log> <Dovecot's
// log>" first,
// and ends at the end of its input, or when told to stop (SIGTERM, SIGINT).
#include "DovecotAccount.h"
#include "OAuthServer.h"
#include "StopOnSignal.h"
#include "core/Global.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: qb_e2e_oauth_server <program folder> <messages each>\n";
        return 2;
    }
    const std::string why = TDovecotServer::Unavailable() + TDovecotServer::IMAPUnavailable() +
                            TOAuthServer::Unavailable();
    if (!why.empty()) {
        std::cerr << "qb_e2e_oauth_server: " << why << "\n";
        return 1;
    }
    AppPath = argv[1];
    const int messages = std::atoi(argv[2]);
    TOAuthServer authority;
    TDovecotServer dovecot(2, 0, true, authority.IntrospectionURL());
    int delivered[2] = {0, 0};
    for (int user = 0; user < 2; ++user)
        while (delivered[user] < messages)
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(++delivered[user]));

    const TOAuthServer::TTokens tokens = authority.SignIn(dovecot.User(1));
    if (!tokens.Error.empty()) {
        std::cerr << "qb_e2e_oauth_server: sign-in refused: " << tokens.Error << "\n";
        return 1;
    }
    TAccountConfig account = DovecotAccount(dovecot, 1, "Deployed");
    account.Pass.clear();
    account.Auth = TAuthKind::OAuth2;
    account.OAuth.AuthURL = authority.AuthorizeURL();
    account.OAuth.TokenURL = authority.TokenURL();
    account.OAuth.ClientID = TOAuthServer::ClientId;
    account.OAuth.Refresh = tokens.RefreshToken;
    SaveAccount(account);

    StopOnSignal(dovecot);
    std::cout << "ready " << dovecot.IMAPPort() << " " << authority.AuthorizeURL() << " "
              << authority.TokenURL() << " " << dovecot.User(0) << " " << authority.LogPath() << " "
              << dovecot.LogPath() << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "add") {
            int user = 0;
            words >> user;
            user = user == 1 ? 1 : 0;
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(++delivered[user]));
        } else if (command == "expire") {
            authority.ExpireAccessTokens();
        } else if (command == "revoke") {
            authority.RevokeRefreshTokens();
        }
        std::cout << "done " << command << std::endl;
    }
    return 0;
}
