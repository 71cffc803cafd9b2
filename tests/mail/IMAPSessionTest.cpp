// Tests of TQBIMAP against the scripted server: login choices and the protocol corners that
// Dovecot does not produce.
#include "imap/IMAPSession.h"
#include "FailureOf.h"
#include "FakeIMAPAnswers.h"
#include "FakePOP3Server.h"
#include "FakeTokenLogin.h"
#include "core/Base64.h"
#include "net/MailError.h"

#include <cctype>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace {

using TTranscript = std::vector<std::string>;
using TUIDs = std::vector<uint32_t>;
using TAction = TFakePOP3Server::TAction;

class IMAPSessionTest : public ::testing::Test {
  protected:
    TFakePOP3Server Server;
    TQBIMAP Session;

    void SetUp() override {
        ServeIMAP(Server, "IMAP4rev1 UIDPLUS IDLE AUTH=PLAIN SASL-IR");
        Session.Server.Host = "127.0.0.1";
        Session.Server.Port = Server.Port();
        Session.Server.User = "user";
        Session.Server.Pass = "pass";
        Session.ReadTimeout = 5000;
    }

    TTranscript Transcript() {
        Server.WaitIdle();
        return Server.Commands();
    }

    // Serves these capabilities and answers AUTHENTICATE with a token through Login.
    void ServeTokens(const std::string& capabilities) {
        ServeIMAP(Server, capabilities,
                  [login = Login](const std::string& line) -> std::optional<std::string> {
                      const std::string tag = line.substr(0, line.find(' '));
                      const size_t mechanism = line.find(" AUTHENTICATE ");
                      const std::string refused =
                          " NO [AUTHENTICATIONFAILED] Authentication failed.\r\n";
                      if (mechanism != std::string::npos &&
                          line.find("PLAIN", mechanism) == std::string::npos) {
                          const size_t response = line.find(' ', mechanism + 14);
                          if (response != std::string::npos)
                              return login->Judge(line.substr(response + 1), tag + " OK in\r\n",
                                                  tag + refused);
                          login->AwaitResponse(tag);
                          return "+ \r\n";
                      }
                      if (std::optional<std::string> refusal = login->TakeRefusal())
                          return refusal;
                      if (std::optional<std::string> awaited = login->TakeAwaited())
                          return login->Judge(line, *awaited + " OK in\r\n", *awaited + refused);
                      return std::nullopt;
                  });
        Session.Server.Auth = TAuthKind::OAuth2;
    }

    std::shared_ptr<TFakeTokenLogin> Login = std::make_shared<TFakeTokenLogin>();
};

} // namespace

TEST_F(IMAPSessionTest, LoginChoosesMechanismByCapability) {
    // SASL-IR: the credentials in the command; AUTH=PLAIN alone: after the "+".
    Session.Connect(5000);
    Session.Logout(5000);
    ServeIMAP(Server, "IMAP4rev1 AUTH=PLAIN");
    Session.Connect(5000);
    Session.Logout(5000);
    // LOGIN with quoted strings, or literals where the text cannot be quoted.
    ServeIMAP(Server, "IMAP4rev1");
    Session.Server.Pass = "pa\"ss";
    Session.Connect(5000);
    Session.Logout(5000);
    Session.Server.User = "j\xc3\xbcrgen";
    Session.Connect(5000);
    Session.Logout(5000);
    ServeIMAP(Server, "IMAP4rev1 LITERAL+");
    Session.Connect(5000);
    Session.Logout(5000);
    EXPECT_EQ(Transcript(),
              (TTranscript{"A1 AUTHENTICATE PLAIN AHVzZXIAcGFzcw==", "A2 CAPABILITY", "A3 LOGOUT",
                           "A4 AUTHENTICATE PLAIN", "AHVzZXIAcGFzcw==", "A5 CAPABILITY",
                           "A6 LOGOUT", "A7 LOGIN \"user\" \"pa\\\"ss\"", "A8 CAPABILITY",
                           "A9 LOGOUT", "A10 LOGIN {7}", "j\xc3\xbcrgen \"pa\\\"ss\"",
                           "A11 CAPABILITY", "A12 LOGOUT", "A13 LOGIN {7+}",
                           "j\xc3\xbcrgen \"pa\\\"ss\"", "A14 CAPABILITY", "A15 LOGOUT"}));
}

TEST_F(IMAPSessionTest, NoPasswordWhereLoginIsDisabled) {
    ServeIMAP(Server, "IMAP4rev1 STARTTLS LOGINDISABLED");
    EXPECT_NE(FailureOf([&] { Session.Connect(5000); }).find("without TLS"), std::string::npos);
    EXPECT_FALSE(Session.Connected());
    EXPECT_EQ(Transcript(), TTranscript{});
    // Asked for STARTTLS, a server without it is left, not logged into in clear text.
    ServeIMAP(Server, "IMAP4rev1");
    Session.Server.TLS = TTLSMode::STLS;
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }), "The server does not offer STARTTLS.");
    EXPECT_EQ(Transcript(), TTranscript{});
}

TEST_F(IMAPSessionTest, LiteralsAndUntaggedDataInAnyReply) {
    Server.Script("SELECT", TAction::Reply,
                  "* 2 EXISTS\r\n* FLAGS (\\Seen \\Deleted)\r\n* LIST () \"/\" {5}\r\nINBOX\r\n"
                  "* OK [UIDVALIDITY 7] ok\r\n$TAG OK [READ-WRITE] done\r\n");
    Server.Script("UID SEARCH", TAction::Reply,
                  "* 3 EXISTS\r\n* 1 FETCH (FLAGS (\\Seen))\r\n* SEARCH 9 4\r\n* 1 EXPUNGE\r\n"
                  "* SEARCH 12\r\n$TAG OK\r\n");
    // A literal header, an unasked FETCH of flags, a quoted header with escapes; the second
    // batch's header is longer than kept.
    Server.Script("UID FETCH 4,9 ", TAction::Reply,
                  "* 1 FETCH (UID 4 RFC822.SIZE 100 BODY[HEADER] {12}\r\nSubject: a\r\n)\r\n"
                  "* 5 FETCH (FLAGS ())\r\n"
                  "* 2 FETCH (BODY[HEADER] \"Subject: \\\"b\\\"\" UID 9 RFC822.SIZE 50)\r\n"
                  "$TAG OK\r\n");
    Server.Script("UID FETCH 12 (UID RFC", TAction::Reply,
                  "* 3 FETCH (UID 12 RFC822.SIZE 9 BODY[HEADER] {40}\r\n"
                  "Subject: a header longer than the limit.)\r\n$TAG OK\r\n");
    // Message text that looks like the end of the reply is read by count.
    Server.Script("UID FETCH 4 (UID BODY.PEEK[])", TAction::Reply,
                  "* 1 FETCH (UID 4 BODY[] {23}\r\nA5 OK fake\r\n)\r\n* 1 OK\r\n)\r\n$TAG OK\r\n");
    Session.Connect(5000);
    Session.Select(false);
    EXPECT_EQ(Session.Exists, 2u);
    EXPECT_EQ(Session.UIDValidity, 7u);
    EXPECT_EQ(Session.SearchUnseen(), (TUIDs{4, 9, 12}));
    EXPECT_EQ(Session.Exists, 2u);

    std::vector<TIMAPHeader> headers;
    Session.FetchBatch = 2;
    Session.MaxHeaderBytes = 20;
    Session.FetchHeaders({12, 9, 4},
                         [&](TIMAPHeader&& header) { headers.push_back(std::move(header)); });
    ASSERT_EQ(headers.size(), 3u);
    EXPECT_EQ(headers[0].UID, 4u);
    EXPECT_EQ(headers[0].Size, 100u);
    EXPECT_EQ(headers[0].Header, "Subject: a\r\n");
    EXPECT_EQ(headers[1].UID, 9u);
    EXPECT_EQ(headers[1].Header, "Subject: \"b\"");
    EXPECT_EQ(headers[2].UID, 12u);
    EXPECT_EQ(headers[2].Header, "Subject: a header lo");
    EXPECT_TRUE(headers[2].Cut);

    std::string text;
    ASSERT_TRUE(Session.FetchMessage(4, text));
    EXPECT_EQ(text, "A5 OK fake\r\n)\r\n* 1 OK\r\n");
    Session.Logout(5000);
    // Both fetches of headers went out before the first reply was read.
    EXPECT_EQ(Server.Overlaps(), 1);
}

TEST_F(IMAPSessionTest, RefusedCommandsLeaveTheSessionUsable) {
    Server.Script("SELECT", TAction::Reply, "$TAG NO [NONEXISTENT] No such mailbox\r\n");
    Server.Script("UID FETCH 4", TAction::Reply, "$TAG BAD Error in IMAP command\r\n");
    Session.Connect(5000);
    try {
        Session.Select(false);
        ADD_FAILURE() << "SELECT was refused";
    } catch (const EMailReplyError& error) {
        EXPECT_STREQ(error.what(), "No such mailbox");
    }
    // The refused first batch does not leave the second's reply unread.
    Session.FetchBatch = 1;
    EXPECT_THROW(Session.FetchHeaders({4, 5}, [](TIMAPHeader&&) {}), EMailReplyError);
    EXPECT_TRUE(Session.Connected());
    EXPECT_EQ(Session.SearchUnseen(), (TUIDs{4, 5, 9}));
}

TEST_F(IMAPSessionTest, ByeInTheMiddleEndsTheSessionWithItsText) {
    Server.Script("UID SEARCH", TAction::Close, "* 1 EXISTS\r\n* BYE Server shutting down.\r\n");
    Session.Connect(5000);
    EXPECT_EQ(FailureOf([&] { Session.SearchUnseen(); }), "Server shutting down.");
    EXPECT_FALSE(Session.Connected());
}

TEST_F(IMAPSessionTest, WithoutUIDPlusDeleteOnlyFlags) {
    ServeIMAP(Server, "IMAP4rev1 IDLE AUTH=PLAIN SASL-IR");
    Session.Connect(5000);
    Session.Select(false);
    EXPECT_FALSE(Session.Delete({4, 5, 6, 9}));
    Session.Logout(5000);
    TTranscript transcript = Transcript();
    EXPECT_EQ(TTranscript(transcript.begin() + 2, transcript.end()),
              (TTranscript{"A3 SELECT INBOX", "A4 UID STORE 4:6,9 +FLAGS.SILENT (\\Deleted)",
                           "A5 LOGOUT"}));
}

TEST_F(IMAPSessionTest, SilenceAfterLoginHitsTheReadTimeout) {
    Server.Script("EXAMINE", TAction::Silent);
    Session.ReadTimeout = 300;
    Session.Connect(5000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf([&] { Session.Select(true); }),
              "Read timed out: the server sent nothing for 1 s.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(Session.Connected());
}

// Past the read timeout a reply must keep a pace: a slow steady flow comes whole, a trickle
// fails though no pause between its bytes reaches the timeout.
TEST_F(IMAPSessionTest, RepliesSlowerThanTheFloorFailWhileSlowSteadyOnesComeWhole) {
    const std::string body(1000, 'x');
    Server.Script("UID FETCH 4 ", TAction::Slow,
                  "* 1 FETCH (UID 4 BODY[] {1000}\r\n" + body + ")\r\n$TAG OK\r\n");
    Server.Script("UID FETCH 5 ", TAction::Slow,
                  "* 1 FETCH (UID 5 BODY[] {100}\r\n" + body.substr(0, 100) + ")\r\n$TAG OK\r\n");
    Session.ReadTimeout = 300;
    Session.MinReplyRate = 100;
    Session.Connect(5000);
    std::string text;
    Server.SetBytePause(1);
    ASSERT_TRUE(Session.FetchMessage(4, text));
    EXPECT_EQ(text, body);
    Server.SetBytePause(50);
    EXPECT_EQ(FailureOf([&] {
                  Session.FetchMessage(5, text);
              }).rfind("Read timed out: the server sent ", 0),
              0u);
    EXPECT_FALSE(Session.Connected());
}

TEST_F(IMAPSessionTest, RepliesWithoutEndAreBounded) {
    Server.Script("UID SEARCH", TAction::Endless, "", "* OK still searching\r\n");
    Server.Script("UID FETCH 4 ", TAction::Endless, "* 1 FETCH (UID 4 BODY[] ", "0123456789");
    Server.Script("UID FETCH 5 ", TAction::Reply, "* 1 FETCH (UID 5 BODY[] {99999999}\r\n");
    Session.MaxReplyBytes = 64 * 1024;
    Session.MaxLineBytes = 4096;
    for (int round = 0; round < 3; ++round) {
        Session.Connect(5000);
        std::string text;
        std::string failure = FailureOf([&] {
            if (round == 0)
                Session.SearchUnseen();
            else
                Session.FetchMessage(round == 1 ? 4 : 5, text);
        });
        EXPECT_EQ(failure,
                  round == 1 ? "Max line length exceeded." : "Reply longer than 65536 bytes.")
            << round;
        EXPECT_FALSE(Session.Connected());
    }
}

TEST_F(IMAPSessionTest, TokenLoginPrefersOAuthBearerAndSendsItsResponseAsOffered) {
    Session.Server.AccessToken = TFakeTokenLogin::GoodToken;
    ServeTokens("IMAP4rev1 AUTH=XOAUTH2 AUTH=OAUTHBEARER SASL-IR");
    Session.Connect(5000);
    Session.Logout(5000);
    // Without SASL-IR the response follows the "+".
    ServeTokens("IMAP4rev1 AUTH=XOAUTH2");
    Session.Connect(5000);
    Session.Logout(5000);
    const std::string port = std::to_string(Server.Port());
    EXPECT_EQ(Transcript(),
              (TTranscript{"A1 AUTHENTICATE OAUTHBEARER " +
                               Base64Encode("n,a=user,\x01host=127.0.0.1\x01port=" + port +
                                            "\x01"
                                            "auth=Bearer good-token\x01\x01"),
                           "A2 CAPABILITY", "A3 LOGOUT", "A4 AUTHENTICATE XOAUTH2",
                           Base64Encode("user=user\x01"
                                        "auth=Bearer good-token\x01\x01"),
                           "A5 CAPABILITY", "A6 LOGOUT"}));
}

// The error challenge is answered before the server's NO, which reads as a refused token.
TEST_F(IMAPSessionTest, RefusedTokenAnswersTheErrorChallengeAndIsToldApart) {
    Session.Server.AccessToken = "expired-token";
    ServeTokens("IMAP4rev1 AUTH=OAUTHBEARER SASL-IR");
    std::string text;
    try {
        Session.Connect(5000);
    } catch (const ETokenRefused& error) {
        text = error.what();
    }
    EXPECT_EQ(text, "The server refused the sign-in token (status invalid_token, scope mail).");
    EXPECT_FALSE(Session.Connected());
    ServeTokens("IMAP4rev1 AUTH=XOAUTH2");
    EXPECT_THROW(Session.Connect(5000), ETokenRefused);
    const TTranscript transcript = Transcript();
    ASSERT_EQ(transcript.size(), 5u);
    EXPECT_EQ(transcript[0].rfind("A1 AUTHENTICATE OAUTHBEARER ", 0), 0u);
    EXPECT_EQ(transcript[1], "AQ==");
    EXPECT_EQ(transcript[2], "A2 AUTHENTICATE XOAUTH2");
    EXPECT_EQ(transcript[4], "");
}

TEST_F(IMAPSessionTest, TokenIsNotSentWhenTheConnectionCannotBeSecured) {
    Session.Server.AccessToken = TFakeTokenLogin::GoodToken;
    Session.Server.TLS = TTLSMode::STLS;
    ServeTokens("IMAP4rev1 AUTH=OAUTHBEARER SASL-IR");
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }), "The server does not offer STARTTLS.");
    EXPECT_EQ(Transcript(), TTranscript{});
}
