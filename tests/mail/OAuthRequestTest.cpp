// Proof keys, the authorization URL and the redirect that answers it.
#include "oauth/Authorization.h"
#include "oauth/HttpUrl.h"
#include "oauth/Pkce.h"

#include <gtest/gtest.h>

TEST(OAuthRequestTest, PkceChallengeIsTheBase64UrlSha256OfAFreshVerifier) {
    EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    const TPkce first = MakePkce(), second = MakePkce();
    EXPECT_EQ(first.Verifier.size(), 43u);
    EXPECT_EQ(
        first.Verifier.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                         "0123456789-._~"),
        std::string::npos);
    EXPECT_NE(first.Verifier, second.Verifier);
    EXPECT_EQ(first.Challenge, PkceChallenge(first.Verifier));
    EXPECT_NE(MakeState(), MakeState());
}

TEST(OAuthRequestTest, AuthorizationUrlPercentEncodesEveryValue) {
    TAuthorizationRequest request;
    request.Endpoint = "https://login.example/authorize?tenant=a";
    request.ClientId = "id&x=1";
    request.RedirectUri = LoopbackRedirectUri(8123);
    request.Scope = "https://mail.example/ offline_access";
    request.State = "s+/=";
    request.CodeChallenge = "abc-_";
    request.LoginHint = "Zo\xC3\xAB@example.org";
    EXPECT_EQ(AuthorizationUrl(request),
              "https://login.example/authorize?tenant=a&response_type=code&client_id=id%26x%3D1"
              "&redirect_uri=http%3A%2F%2F127.0.0.1%3A8123%2F"
              "&scope=https%3A%2F%2Fmail.example%2F%20offline_access&state=s%2B%2F%3D"
              "&code_challenge=abc-_&code_challenge_method=S256"
              "&login_hint=Zo%C3%AB%40example.org");
}

TEST(OAuthRequestTest, RedirectIsTakenOnlyWithTheStateThatWasSent) {
    const TRedirect granted = ParseRedirect("GET /?code=4%2Fa+b&state=xyz HTTP/1.1", "xyz");
    EXPECT_EQ(granted.Outcome, TRedirectOutcome::Code);
    EXPECT_EQ(granted.Code, "4/a b");

    const TRedirect forged = ParseRedirect("GET /?code=evil&state=xyZ HTTP/1.1", "xyz");
    EXPECT_EQ(forged.Outcome, TRedirectOutcome::Invalid);
    EXPECT_TRUE(forged.Code.empty());
    EXPECT_EQ(ParseRedirect("GET /?code=evil HTTP/1.1", "xyz").Outcome, TRedirectOutcome::Invalid);
    EXPECT_EQ(ParseRedirect("GET /favicon.ico HTTP/1.1", "xyz").Outcome, TRedirectOutcome::Invalid);

    const TRedirect denied = ParseRedirect(
        "GET /?error=access_denied&error_description=User+said+no&state=xyz HTTP/1.1", "xyz");
    EXPECT_EQ(denied.Outcome, TRedirectOutcome::Denied);
    EXPECT_EQ(denied.Error, "The sign-in was not granted (access_denied: User said no).");
}

TEST(OAuthRequestTest, PlainHttpIsTakenOnlyForThisMachine) {
    EXPECT_TRUE(ParseHttpUrl("http://127.0.0.1:8080/token"));
    EXPECT_TRUE(ParseHttpUrl("http://[::1]:8080/token"));
    EXPECT_FALSE(ParseHttpUrl("http://login.example/token"));
    EXPECT_FALSE(ParseHttpUrl("https://user@login.example/token"));
    const auto url = ParseHttpUrl("https://login.example:8443?x=1");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->Host, "login.example");
    EXPECT_EQ(url->Port, 8443);
    EXPECT_EQ(url->Target, "/?x=1");
}
