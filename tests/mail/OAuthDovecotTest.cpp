// Logins to a real Dovecot with access tokens of the test authorization server: XOAUTH2 and
// OAUTHBEARER over IMAP and POP3, beside the password logins.
#include "DovecotServer.h"
#include "OAuthServer.h"
#include "core/Base64.h"
#include "imap/IMAPSession.h"
#include "pop3/POP3Session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// One command's exchange over a fresh clear-text connection: sends line after the greeting,
// answers each "+" challenge with an empty line, and returns the final reply line.
std::string Exchange(int port, const std::string& line, bool imap) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    std::string pending;
    auto readLine = [&] {
        size_t end;
        char buffer[512];
        ssize_t got = 1;
        while ((end = pending.find("\r\n")) == std::string::npos &&
               (got = recv(fd, buffer, sizeof buffer, 0)) > 0)
            pending.append(buffer, static_cast<size_t>(got));
        if (end == std::string::npos)
            return std::string("(closed)");
        std::string reply = pending.substr(0, end);
        pending.erase(0, end + 2);
        return reply;
    };
    auto sendLine = [&](const std::string& text) {
        const std::string wire = text + "\r\n";
        send(fd, wire.data(), wire.size(), MSG_NOSIGNAL);
    };
    std::string reply = "(no connection)";
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        readLine();
        sendLine(imap ? "a1 " + line : line);
        do {
            reply = readLine();
            if (reply.compare(0, 1, "+") == 0 && reply.compare(0, 3, "+OK") != 0)
                sendLine("");
        } while (imap ? reply.compare(0, 3, "a1 ") != 0 && reply != "(closed)"
                      : reply.compare(0, 1, "+") == 0 && reply.compare(0, 3, "+OK") != 0);
    }
    close(fd);
    return reply;
}

std::string XOAuth2(const std::string& user, const std::string& token) {
    return Base64Encode("user=" + user + "\x01" + "auth=Bearer " + token + "\x01\x01");
}

std::string OAuthBearer(const std::string& user, const std::string& token) {
    return Base64Encode("n,a=" + user + ",\x01" + "auth=Bearer " + token + "\x01\x01");
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

TEST(OAuthDovecotTest, TokensLogInUntilExpiredAndRefreshStopsWhenRevoked) {
    const std::string why = TDovecotServer::IMAPUnavailable() + TOAuthServer::Unavailable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TOAuthServer authority;
    TDovecotServer dovecot(1, 0, true, authority.IntrospectionURL());
    const std::string user = dovecot.User(0);
    const int imap = dovecot.IMAPPort(), pop3 = dovecot.Port();

    const TOAuthServer::TTokens first = authority.SignIn(user);
    ASSERT_EQ(first.Error, "");
    EXPECT_TRUE(StartsWith(
        Exchange(imap, "AUTHENTICATE XOAUTH2 " + XOAuth2(user, first.AccessToken), true), "a1 OK"));
    EXPECT_TRUE(StartsWith(
        Exchange(pop3, "AUTH XOAUTH2 " + XOAuth2(user, first.AccessToken), false), "+OK"));
    EXPECT_TRUE(StartsWith(
        Exchange(imap, "AUTHENTICATE OAUTHBEARER " + OAuthBearer(user, first.AccessToken), true),
        "a1 OK"));
    // The password still opens the same mailbox.
    EXPECT_TRUE(
        StartsWith(Exchange(imap, "LOGIN " + user + " " + dovecot.Password(0), true), "a1 OK"));
    EXPECT_TRUE(StartsWith(
        Exchange(imap, "AUTHENTICATE XOAUTH2 " + XOAuth2(user, "at-forged"), true), "a1 NO"));

    authority.ExpireAccessTokens();
    EXPECT_TRUE(StartsWith(
        Exchange(imap, "AUTHENTICATE XOAUTH2 " + XOAuth2(user, first.AccessToken), true), "a1 NO"));
    EXPECT_TRUE(StartsWith(
        Exchange(pop3, "AUTH XOAUTH2 " + XOAuth2(user, first.AccessToken), false), "-ERR"));

    const TOAuthServer::TTokens renewed = authority.Refresh(first.RefreshToken);
    ASSERT_EQ(renewed.Error, "");
    EXPECT_NE(renewed.AccessToken, first.AccessToken);
    EXPECT_TRUE(StartsWith(
        Exchange(pop3, "AUTH XOAUTH2 " + XOAuth2(user, renewed.AccessToken), false), "+OK"));

    authority.RevokeRefreshTokens();
    EXPECT_EQ(authority.Refresh(first.RefreshToken).Error, "invalid_grant");
    EXPECT_EQ(authority.Log().find(first.AccessToken), std::string::npos);
    EXPECT_NE(authority.Log().find("grant=refresh_token"), std::string::npos);
}

// The program's own sessions sign in with a granted token and tell an expired one apart, after
// answering the server's error challenge. In clear text (an account without security), so that
// the recorded commands show the exchange.
TEST(OAuthDovecotTest, SessionsSignInWithTokensAndTellAnExpiredOneApart) {
    const std::string why = TDovecotServer::IMAPUnavailable() + TOAuthServer::Unavailable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TOAuthServer authority;
    TDovecotServer dovecot(1, 0, true, authority.IntrospectionURL());
    dovecot.AddMessage(0, TDovecotServer::GenerateMessage(1));
    const TOAuthServer::TTokens tokens = authority.SignIn(dovecot.User(0));
    ASSERT_EQ(tokens.Error, "");
    TQBIMAP imap;
    TQBPOP3 pop3;
    for (TMailSession* session : std::initializer_list<TMailSession*>{&imap, &pop3}) {
        session->Server.Host = "127.0.0.1";
        session->Server.User = dovecot.User(0);
        session->Server.Auth = TAuthKind::OAuth2;
        session->Server.AccessToken = tokens.AccessToken;
    }
    imap.Server.Port = dovecot.IMAPPort();
    pop3.Server.Port = dovecot.Port();

    imap.Connect(10000);
    imap.Select(true);
    EXPECT_EQ(imap.Exists, 1u);
    imap.Logout(5000);
    pop3.Connect(10000);
    TStringList uids;
    EXPECT_TRUE(pop3.ListUIDs(uids));
    EXPECT_EQ(uids.size(), 1u);
    pop3.Quit(5000);

    authority.ExpireAccessTokens();
    EXPECT_THROW(imap.Connect(10000), ETokenRefused);
    EXPECT_THROW(pop3.Connect(10000), ETokenRefused);
    std::vector<std::string> logins;
    for (const std::string& command : dovecot.Commands())
        if (command.find("AUTH") != std::string::npos || command == "AQ==")
            logins.push_back(command.substr(0, command.rfind(' ')));
    EXPECT_EQ(logins, (std::vector<std::string>{"A1 AUTHENTICATE OAUTHBEARER", "AUTH OAUTHBEARER",
                                                "A4 AUTHENTICATE OAUTHBEARER",
                                                "AQ==", "AUTH OAUTHBEARER", "AQ=="}));
}

TEST(OAuthDovecotTest, AuthorizationServerRefusesCodesWithoutTheirVerifier) {
    const std::string why = TOAuthServer::Unavailable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TOAuthServer authority(TOAuthServer::TOptions{.Users = {"user1"}});
    const std::string request = "/authorize?response_type=code&client_id=c&state=xyz&redirect_uri=";
    const std::string challenge = "&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

    // Errors go back to a loopback redirect with the state, never to another address.
    EXPECT_EQ(authority.Get(request + "http%3A%2F%2F127.0.0.1%3A9%2Fcb").Location,
              "http://127.0.0.1:9/cb?error=invalid_request&error_description=code_challenge+"
              "required&state=xyz");
    const TOAuthServer::TReply remote = authority.Get(request + "http%3A%2F%2Fexample.org%2Fcb" +
                                                      challenge + "&code_challenge_method=S256");
    EXPECT_EQ(remote.Status, 400);
    EXPECT_EQ(remote.Location, "");
    EXPECT_NE(authority
                  .Get(request + "http%3A%2F%2F127.0.0.1%3A9%2Fcb" + challenge +
                       "&code_challenge_method=S256&login_hint=stranger")
                  .Location.find("error=access_denied"),
              std::string::npos);

    const std::string granted = authority
                                    .Get(request + "http%3A%2F%2F127.0.0.1%3A9%2Fcb" + challenge +
                                         "&code_challenge_method=S256")
                                    .Location;
    const std::string code = granted.substr(granted.find("code=") + 5,
                                            granted.find("&state") - granted.find("code=") - 5);
    const std::string exchange = "grant_type=authorization_code&client_id=c&code=" + code +
                                 "&redirect_uri=http%3A%2F%2F127.0.0.1%3A9%2Fcb&code_verifier=";
    EXPECT_EQ(TOAuthServer::JSONField(
                  authority.Post("/token", exchange + std::string(43, 'a')).Body, "error"),
              "invalid_grant");
    // A refused exchange uses the code up: the right verifier comes too late.
    EXPECT_EQ(
        TOAuthServer::JSONField(
            authority.Post("/token", exchange + "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk").Body,
            "error"),
        "invalid_grant");
}
