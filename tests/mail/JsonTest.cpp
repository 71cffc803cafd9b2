// The JSON reader and the token endpoint's answers read with it.
#include "oauth/Json.h"
#include "oauth/TokenResponse.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(JsonTest, ReadsStrictJsonAndRefusesEverythingElse) {
    const auto value = ParseJson(
        R"( {"s":"a\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00","n":-1.5e2,"z":0,"t":true,"f":false,)"
        R"("x":null,"a":[1,[],{}],"u":"é"} )");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->StringAt("s"), "a\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(value->Find("n")->Number, -150);
    EXPECT_TRUE(value->Find("t")->Bool);
    EXPECT_EQ(value->Find("x")->Kind, TJsonKind::Null);
    EXPECT_EQ(value->Find("a")->Items.size(), 3u);
    EXPECT_EQ(value->StringAt("u"), "\xC3\xA9");
    EXPECT_FALSE(value->StringAt("n"));

    for (const char* bad : {"",
                            "{",
                            "{\"a\":1,}",
                            "[1,]",
                            "01",
                            "1.",
                            "-",
                            "+1",
                            ".5",
                            "1e",
                            "tru",
                            "nul",
                            "\"\\ud83d\"",
                            "\"\\ude00\"",
                            "\"\\ud83d\\u0041\"",
                            "\"\\x\"",
                            "\"\\u12G4\"",
                            "\"a\nb\"",
                            "\"\xC3\"",
                            "\"\xC0\xAF\"",
                            "\"\xED\xA0\x80\"",
                            "\"\xF5\x80\x80\x80\"",
                            "{\"a\":1,\"a\":2}",
                            "{\"a\" 1}",
                            "{1:2}",
                            "[1] 2",
                            "\"abc"})
        EXPECT_FALSE(ParseJson(bad)) << bad;
    EXPECT_TRUE(ParseJson(std::string(32, '[') + std::string(32, ']')));
    EXPECT_FALSE(ParseJson(std::string(33, '[') + std::string(33, ']')));
    EXPECT_FALSE(ParseJson(std::string(100000, '[') + std::string(100000, ']')));
    EXPECT_FALSE(ParseJson("\"" + std::string(70000, 'a') + "\""));
    EXPECT_EQ(ParseJson("1e999")->Number, HUGE_VAL);
}

TEST(JsonTest, TokenAnswerSetsExpiryKeepsRefreshTokenAndTellsExpiredGrantApart) {
    const auto now = std::chrono::system_clock::now();
    const TTokenResult granted = ReadTokenResponse(
        200, R"({"access_token":"AT1","token_type":"bearer","expires_in":3600,"scope":"s"})",
        "RT-old", now);
    ASSERT_EQ(granted.Outcome, TTokenOutcome::Granted);
    EXPECT_EQ(granted.Tokens.AccessToken, "AT1");
    EXPECT_EQ(granted.Tokens.RefreshToken, "RT-old");
    EXPECT_EQ(granted.Tokens.Scope, "s");
    EXPECT_EQ(granted.Tokens.Expires, now + std::chrono::seconds(3600) - ExpiryMargin);
    EXPECT_EQ(ReadTokenResponse(200, R"({"access_token":"A","refresh_token":"RT-new"})", "RT", now)
                  .Tokens.RefreshToken,
              "RT-new");

    const TTokenResult expired = ReadTokenResponse(
        400, R"({"error":"invalid_grant","error_description":"Token revoked"})", "RT", now);
    EXPECT_EQ(expired.Outcome, TTokenOutcome::SignInExpired);

    const TTokenResult refused = ReadTokenResponse(
        401, R"({"error":"invalid_client","error_description":"Unknown client"})", "RT", now);
    EXPECT_EQ(refused.Outcome, TTokenOutcome::Failed);
    EXPECT_EQ(refused.Error, "The sign-in server refused (invalid_client: Unknown client).");

    // An answer the program cannot use names neither of the tokens.
    for (const char* body : {R"({"access_token":"SECRET-AT","token_type":"mac"})",
                             R"({"access_token":"SECRET-AT","expires_in":"soon"})",
                             R"({"access_token":"SECRET-AT\r\nA1 LOGOUT"})",
                             R"({"access_token":"A","refresh_token":"SECRET-RT\n[x]"})",
                             R"({"access_token":"SECRET-AT",)", "<html>SECRET-AT</html>"}) {
        const TTokenResult bad = ReadTokenResponse(200, body, "SECRET-RT", now);
        EXPECT_EQ(bad.Outcome, TTokenOutcome::Failed) << body;
        EXPECT_EQ(bad.Error.find("SECRET"), std::string::npos) << bad.Error;
    }
}
