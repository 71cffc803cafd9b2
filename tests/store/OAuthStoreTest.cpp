// OAuth2 accounts through the store against Dovecot and the test authorization server: a check
// gets its access token with the refresh token, refreshes it once when the server refuses it,
// keeps a replaced refresh token, and stops at a void sign-in.
#include "StoreTest.h"

#include "DovecotAccount.h"
#include "OAuthServer.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class OAuthStore : public TStoreTest {
  protected:
    // An account of Dovecot's user, signed in at authority, its refresh token in the settings.
    static void AddOAuthAccount(const std::string& name, const TDovecotServer& dovecot, int user,
                                TMailProtocol protocol, const TOAuthServer& authority) {
        const TOAuthServer::TTokens tokens = authority.SignIn(dovecot.User(user));
        ASSERT_EQ(tokens.Error, "");
        TAccount account = DovecotAccount(dovecot, user, name);
        account.Protocol = protocol;
        account.Port = protocol == TMailProtocol::IMAP ? dovecot.IMAPPort() : dovecot.Port();
        account.Pass.clear();
        account.Auth = TAuthKind::OAuth2;
        account.OAuth.TokenURL = authority.TokenURL();
        account.OAuth.ClientID = TOAuthServer::ClientId;
        account.OAuth.Refresh = tokens.RefreshToken;
        Settings().AddAccount(account);
    }
};

} // namespace

TEST_F(OAuthStore, ChecksRefreshOnceWhenRefusedAndStopAtAVoidSignIn) {
    const std::string why = TDovecotServer::IMAPUnavailable() + TOAuthServer::Unavailable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TOAuthServer::TOptions options;
    options.RotateRefresh = true;
    TOAuthServer authority(options);
    TDovecotServer dovecot(2, 0, true, authority.IntrospectionURL());
    for (int user = 0; user < 2; ++user)
        for (int n = 1; n <= 2; ++n)
            dovecot.AddMessage(user, TDovecotServer::GenerateMessage(n));
    AddOAuthAccount("IMAP", dovecot, 0, TMailProtocol::IMAP, authority);
    AddOAuthAccount("POP3", dovecot, 1, TMailProtocol::POP3, authority);
    const std::string signedIn = Settings().Accounts()[0].OAuth.Refresh;

    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Store->Entries().size(), 4u);
    EXPECT_TRUE(Store->Errors().empty());
    // The provider replaced the refresh token: the settings keep the new one.
    EXPECT_NE(Settings().Accounts()[0].OAuth.Refresh, signedIn);
    EXPECT_FALSE(Settings().Accounts()[0].OAuth.Refresh.empty());

    // Held tokens the server now refuses: one refresh each, and the checks go on.
    authority.ExpireAccessTokens();
    const size_t refreshes = Count(authority.Log(), "grant=refresh_token");
    Store->CheckNow(0);
    Store->CheckNow(1);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(Count(authority.Log(), "grant=refresh_token"), refreshes + 2);
    EXPECT_TRUE(Store->Errors().empty());
    EXPECT_EQ(Store->Entries().size(), 4u);

    // A void sign-in: one error each, then no more logins nor refreshes.
    authority.RevokeRefreshTokens();
    authority.ExpireAccessTokens();
    Store->CheckNow(0);
    Store->CheckNow(1);
    ASSERT_TRUE(WaitForJobs());
    ASSERT_EQ(Store->Errors().size(), 2u);
    EXPECT_EQ(Store->Errors()[0].Text, "Sign-in expired: sign in again (IMAP)");
    EXPECT_EQ(Store->Errors()[1].Text, "Sign-in expired: sign in again (POP3)");
    const std::string tokenLog = authority.Log();
    const size_t logins = Count(dovecot.Log(), "-login: ");
    for (int round = 0; round < 2; ++round) {
        Store->CheckNow(0);
        Store->CheckNow(1);
        ASSERT_TRUE(WaitForJobs());
    }
    EXPECT_EQ(authority.Log(), tokenLog);
    EXPECT_EQ(Count(dovecot.Log(), "-login: "), logins);
    EXPECT_EQ(Store->Errors().size(), 2u);
}

TEST_F(OAuthStore, PushConnectionLogsInAgainWithTheNextTokenBeforeItsOwnEnds) {
    const std::string why = TDovecotServer::IMAPUnavailable() + TOAuthServer::Unavailable();
    if (!why.empty())
        GTEST_SKIP() << why;
    TOAuthServer::TOptions options;
    // Due five seconds after it is given: the margin takes a minute off.
    options.AccessLifetime = 65;
    TOAuthServer authority(options);
    TDovecotServer dovecot(1, 0, true, authority.IntrospectionURL());
    dovecot.AddMessage(0, TDovecotServer::GenerateMessage(1));
    AddOAuthAccount("IMAP", dovecot, 0, TMailProtocol::IMAP, authority);
    auto count = [&](const std::string& command) {
        const std::vector<std::string> commands = dovecot.Commands();
        return std::count_if(commands.begin(), commands.end(), [&](const std::string& line) {
            return line.find(" " + command) != std::string::npos;
        });
    };
    Config.PushCheckSpacing = std::chrono::milliseconds(500);
    StartProgram();
    ASSERT_TRUE(WaitForJobs());
    ASSERT_TRUE(WaitUntil([&] { return count("IDLE") > 0; }, 5000));
    const size_t refreshes = Count(authority.Log(), "grant=refresh_token");
    const auto idles = count("IDLE");

    // No news, yet a new connection idles with a new token, and push goes on through it.
    ASSERT_TRUE(WaitUntil([&] { return count("IDLE") > idles; }, 10000));
    EXPECT_GT(Count(authority.Log(), "grant=refresh_token"), refreshes);
    ASSERT_TRUE(WaitForJobs());
    dovecot.AddMessage(0, TDovecotServer::GenerateMessage(2));
    EXPECT_TRUE(WaitUntil([&] { return Store->Entries().size() == 2; }, 5000));
    EXPECT_TRUE(Store->Errors().empty());
}
