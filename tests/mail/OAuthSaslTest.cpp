// The SASL strings that carry an access token to the mail server.
#include "oauth/OAuthSasl.h"
#include "core/Base64.h"

#include <gtest/gtest.h>

TEST(OAuthSaslTest, ResponsesCarryUserAndTokenAndChallengeBecomesShortText) {
    EXPECT_EQ(Base64Decode(XOAuth2Response("zoe@example.org", "ya29.tok")),
              "user=zoe@example.org\x01"
              "auth=Bearer ya29.tok\x01\x01");
    EXPECT_EQ(Base64Decode(OAuthBearerResponse("a,b=c@example.org", "imap.example", 993, "t")),
              "n,a=a=2Cb=3Dc@example.org,\x01"
              "host=imap.example\x01port=993\x01"
              "auth=Bearer t\x01\x01");

    const std::string challenge =
        Base64Encode(R"({"status":"401","schemes":"bearer","scope":"https://mail.example/"})");
    EXPECT_EQ(OAuthChallengeText(challenge),
              "The server refused the sign-in token (status 401, scope https://mail.example/).");
    EXPECT_EQ(OAuthChallengeText("not base64!"), "The server refused the sign-in token.");
    EXPECT_EQ(Base64Decode(OAuthChallengeAbort()), "\x01");
}
