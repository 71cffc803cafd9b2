// The browser sign-in against the test authorization server: the URL goes to the desktop's
// handler, a scripted browser follows the redirect to the loopback listener, and the code
// comes back as tokens; a declined or forged answer or a cancel ends the sign-in with its error.
#include "GuiTest.h"

#include "BrowserLauncher.h"
#include "OAuthServer.h"
#include "platform/OAuthSignIn.h"

#include <QSignalSpy>

#include <fstream>
#include <sstream>

class OAuthSignIn : public TGuiTest {
  protected:
    void SetUp() override {
        TGuiTest::SetUp();
        if (std::string why = TOAuthServer::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
        BrowserLog = Dir->Path() + "/browser.log";
        Launcher = std::make_unique<TBrowserLauncher>(BrowserLog);
    }
    void TearDown() override {
        Launcher.reset();
        TGuiTest::TearDown();
    }

    TSignInResult SignIn(const TOAuthServer& server, const std::string& user,
                         bool cancelAtOnce = false) {
        TSignInRequest request;
        request.AuthorizationEndpoint = server.AuthorizeURL();
        request.Client.TokenEndpoint = server.TokenURL();
        request.Client.ClientId = TOAuthServer::ClientId;
        request.Scope = "mail openid";
        request.LoginHint = user;
        Flow = std::make_unique<TOAuthSignIn>(request);
        QSignalSpy finished(Flow.get(), &TOAuthSignIn::Finished);
        Flow->Start();
        EXPECT_TRUE(Flow->IsListening());
        if (cancelAtOnce)
            Flow->Cancel();
        EXPECT_TRUE(finished.wait(30000));
        Launcher->Browser.waitForFinished(20000);
        return finished.isEmpty() ? TSignInResult{}
                                  : finished.takeFirst().at(0).value<TSignInResult>();
    }

    std::string BrowserPages() const {
        std::ifstream in(BrowserLog);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::unique_ptr<TBrowserLauncher> Launcher;
    std::string BrowserLog;
    std::unique_ptr<TOAuthSignIn> Flow;
};

TEST_F(OAuthSignIn, BrowserRedirectEndsWithTokensGrantedForTheCodeAndItsVerifier) {
    TOAuthServer server;
    const TSignInResult result = SignIn(server, "alice@example.org");

    ASSERT_EQ(result.Outcome, TSignInOutcome::SignedIn) << result.Error;
    EXPECT_EQ(result.Tokens.Account, "alice@example.org");
    EXPECT_FALSE(result.Tokens.RefreshToken.empty());
    EXPECT_GT(result.Tokens.Expires, std::chrono::system_clock::now());
    // The server grants a code only with the verifier of its challenge.
    EXPECT_NE(server.Log().find("grant=authorization_code user=alice@example.org access=" +
                                result.Tokens.AccessToken.substr(0, 7)),
              std::string::npos)
        << server.Log();
    const std::string pages = BrowserPages();
    EXPECT_TRUE(pages.starts_with("404 ")) << pages; // the favicon
    EXPECT_NE(pages.find("\n200 "), std::string::npos) << pages;
    EXPECT_NE(pages.find("return to Quillbar"), std::string::npos) << pages;
    EXPECT_FALSE(Flow->IsListening());
}

TEST_F(OAuthSignIn, DeclinedForgedOrCancelledSignInEndsWithItsErrorAndClosesTheListener) {
    TOAuthServer::TOptions options;
    options.Users = {"alice@example.org"};
    TOAuthServer server(options);

    const TSignInResult declined = SignIn(server, "mallory@example.org");
    EXPECT_EQ(declined.Outcome, TSignInOutcome::Denied);
    EXPECT_NE(declined.Error.find("access_denied"), std::string::npos) << declined.Error;
    EXPECT_FALSE(Flow->IsListening());

    setenv("QB_BROWSER_STATE", "forged", 1);
    const TSignInResult forged = SignIn(server, "alice@example.org");
    EXPECT_EQ(forged.Outcome, TSignInOutcome::Invalid);
    EXPECT_FALSE(forged.Error.empty());
    EXPECT_FALSE(Flow->IsListening());

    unsetenv("QB_BROWSER_STATE");
    EXPECT_EQ(SignIn(server, "alice@example.org", true).Outcome, TSignInOutcome::Cancelled);
    EXPECT_FALSE(Flow->IsListening());

    EXPECT_EQ(server.Log().find("grant="), std::string::npos) << server.Log();
    const std::string pages = BrowserPages();
    EXPECT_NE(pages.find("\n400 "), std::string::npos) << pages;
    EXPECT_NE(pages.find("Sign-in failed"), std::string::npos) << pages;
}

TEST_F(OAuthSignIn, SignInWithoutUsableEndpointsOrClientEndsAtOnceWithoutABrowser) {
    const std::string token = "https://login.example.org/token";
    const std::string authorize = "https://login.example.org/authorize";
    for (const auto& [authorization, tokens, client] :
         {std::tuple{std::string(), token, std::string("client")},
          std::tuple{authorize, std::string("http://login.example.org/token"),
                     std::string("client")},
          std::tuple{authorize, token, std::string()}}) {
        TSignInRequest request;
        request.AuthorizationEndpoint = authorization;
        request.Client.TokenEndpoint = tokens;
        request.Client.ClientId = client;
        TOAuthSignIn flow(request);
        QSignalSpy finished(&flow, &TOAuthSignIn::Finished);
        flow.Start();
        ASSERT_TRUE(finished.wait(1000));
        const auto result = finished.takeFirst().at(0).value<TSignInResult>();
        EXPECT_EQ(result.Outcome, TSignInOutcome::Failed);
        EXPECT_NE(result.Error.find(client.empty() ? "client ID" : "authorization URL"),
                  std::string::npos)
            << result.Error;
        EXPECT_FALSE(flow.IsListening());
    }
    EXPECT_EQ(BrowserPages(), "");
}
