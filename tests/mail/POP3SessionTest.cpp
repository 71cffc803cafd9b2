// Tests of TQBPOP3 against the scripted fake server: login, replies, data, failures.
#include "pop3/POP3Session.h"
#include "FailureOf.h"
#include "FakePOP3Server.h"
#include "FakeTokenLogin.h"
#include "LoopbackSocket.h"
#include "core/Base64.h"
#include "net/MailError.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using TTranscript = std::vector<std::string>;

namespace {

class POP3SessionTest : public ::testing::Test {
  protected:
    TFakePOP3Server Server;
    TQBPOP3 Session;

    void SetUp() override {
        Server.SetLogin("user", "tanstaaf");
        Session.Server.Host = "127.0.0.1";
        Session.Server.Port = Server.Port();
        Session.Server.User = "user";
        Session.Server.Pass = "tanstaaf";
    }

    TTranscript Transcript() {
        Server.WaitIdle();
        return Server.Commands();
    }

    // Lists these SASL mechanisms and answers AUTH with a token through Login.
    void ServeTokens(const std::string& mechanisms) {
        Server.SetCapabilities({"SASL " + mechanisms, "UIDL"});
        Server.SetConnectionResponder(
            [login = Login](size_t, const std::string& line) -> std::optional<std::string> {
                const std::string ok = "+OK signed in\r\n";
                const std::string refused = "-ERR [AUTH] Authentication failed.\r\n";
                if (line.rfind("AUTH ", 0) == 0) {
                    const size_t response = line.find(' ', 5);
                    if (response != std::string::npos)
                        return login->Judge(line.substr(response + 1), ok, refused);
                    login->AwaitResponse("AUTH");
                    return "+ \r\n";
                }
                if (std::optional<std::string> refusal = login->TakeRefusal())
                    return refusal;
                if (login->TakeAwaited())
                    return login->Judge(line, ok, refused);
                return std::nullopt;
            });
        Session.Server.Auth = TAuthKind::OAuth2;
    }

    std::shared_ptr<TFakeTokenLogin> Login = std::make_shared<TFakeTokenLogin>();
};

} // namespace

TEST_F(POP3SessionTest, UserPassLoginThenQuitWithoutWaiting) {
    Server.Script("QUIT", TFakePOP3Server::TAction::Silent);
    Session.Connect(5000);
    EXPECT_TRUE(Session.Connected());
    Session.Disconnect(); // would hang here if it waited for the silent server's reply
    EXPECT_FALSE(Session.Connected());
    EXPECT_EQ(Transcript(), (TTranscript{"USER user", "PASS tanstaaf", "CAPA", "QUIT"}));
}

TEST_F(POP3SessionTest, APOPLoginSendsDigestOfTimestampAndPassword) {
    Session.Server.APOP = true;
    Session.Connect(5000);
    Session.Disconnect();
    EXPECT_EQ(Transcript(),
              (TTranscript{"APOP user 64bceb7c28b43e98502bc1d5faead518", "CAPA", "QUIT"}));
}

TEST_F(POP3SessionTest, APOPWithoutTimestampFailsButUserPassWorks) {
    for (const char* greeting : {"+OK ready >", "+OK ready <no end", "+OK ready"}) {
        Server.SetGreeting(greeting);
        Session.Server.APOP = true;
        EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }),
                  "The server does not support APOP (its greeting has no timestamp)");
        EXPECT_FALSE(Session.Connected());
        Session.Server.APOP = false;
        Session.Connect(5000);
        Session.Disconnect();
    }
    EXPECT_EQ(Transcript(), (TTranscript{"QUIT", "USER user", "PASS tanstaaf", "CAPA", "QUIT",
                                         "QUIT", "USER user", "PASS tanstaaf", "CAPA", "QUIT",
                                         "QUIT", "USER user", "PASS tanstaaf", "CAPA", "QUIT"}));
}

TEST_F(POP3SessionTest, FailedLoginsCloseTheSession) {
    Session.Server.Pass = "wrong";
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }), "[AUTH] Authentication failed.");
    EXPECT_FALSE(Session.Connected());

    Server.SetGreeting("-ERR go away");
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }), "go away");
    Server.SetGreeting("* OK imap here");
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }),
              "Unrecognized POP3 Response Header:\n\"* OK imap here\"");
    EXPECT_EQ(Transcript(), (TTranscript{"USER user", "PASS wrong", "QUIT", "QUIT", "QUIT"}));
}

TEST_F(POP3SessionTest, LowerCaseStatusIsSuccess) {
    Server.SetGreeting("+ok hello");
    Server.Script("USER", TFakePOP3Server::TAction::Reply, "+ok\r\n");
    Server.Script("PASS", TFakePOP3Server::TAction::Reply, "+ok in\r\n");
    Session.Connect(5000);
    EXPECT_TRUE(Session.Connected());
}

TEST_F(POP3SessionTest, DataLinesAreUnstuffedAndNulBytesKept) {
    std::string withNul("nul\0byte", 8);
    Server.Script("RETR 1", TFakePOP3Server::TAction::Reply,
                  "+OK\r\nSubject: x\r\n\r\n..\r\n..text\r\n.text\r\n" + withNul +
                      "\r\nbare line feed\n.\r\n");
    Session.Connect(5000);
    TStringList lines{"kept"};
    EXPECT_TRUE(Session.RetrieveMessage(1, lines));
    EXPECT_EQ(lines, (TStringList{"kept", "Subject: x", "", ".", ".text", ".text", withNul,
                                  "bare line feed"}));
    EXPECT_TRUE(Session.Connected());
}

TEST_F(POP3SessionTest, ListReplies) {
    Server.Script("LIST 1", TFakePOP3Server::TAction::Reply, "+OK 3 1200\r\n");
    Server.Script("LIST 2", TFakePOP3Server::TAction::Reply, "+OK\r\n");
    Server.Script("LIST 3", TFakePOP3Server::TAction::Reply, "+OK 3 1200 octets\r\n");
    Server.Script("LIST 4", TFakePOP3Server::TAction::Reply, "-ERR no such message\r\n");
    Session.Connect(5000);
    EXPECT_EQ(Session.GetMessageSize(1), 1200);
    EXPECT_EQ(Session.GetMessageSize(2), -1);
    EXPECT_EQ(Session.GetMessageSize(3), -1);
    EXPECT_THROW(Session.GetMessageSize(4), EMailReplyError);
    EXPECT_TRUE(Session.Connected()); // a "-ERR" leaves the session in step
}

TEST_F(POP3SessionTest, ErrAnswersToUidlTopRetrAndDele) {
    Server.AddMessage("abc", "Subject: a\r\n\r\nbody\r\n");
    Server.Script("UIDL", TFakePOP3Server::TAction::Reply, "-ERR not supported\r\n");
    Session.Connect(5000);
    TStringList lines{"untouched"};
    EXPECT_FALSE(Session.ListUIDs(lines));
    EXPECT_FALSE(Session.RetrieveTop(7, 0, lines));
    EXPECT_FALSE(Session.RetrieveMessage(7, lines));
    EXPECT_EQ(lines, TStringList{"untouched"});
    EXPECT_THROW(Session.DeleteOnServer(7), EMailReplyError);
    EXPECT_TRUE(Session.RetrieveTop(1, 0, lines));
    EXPECT_EQ(lines, (TStringList{"untouched", "Subject: a", ""}));
    Session.Disconnect();
    EXPECT_EQ(Transcript(), (TTranscript{"USER user", "PASS tanstaaf", "CAPA", "UIDL", "TOP 7 0",
                                         "RETR 7", "DELE 7", "TOP 1 0", "QUIT"}));
}

// Message text keeps the start of an over-long line; a listing line cut would name another
// message, so the listing is refused.
TEST_F(POP3SessionTest, LineLengthLimitIsExactAndAnOverLongLineIsCutOrRefused) {
    Server.Script("RETR 1", TFakePOP3Server::TAction::Reply,
                  "+OK\r\n" + std::string(16384, 'a') + "\r\n.\r\n");
    Server.Script("RETR 2", TFakePOP3Server::TAction::Reply,
                  "+OK\r\nSubject: b\r\n" + std::string(300000, 'b') + "\r\nafter\r\n.\r\n");
    Server.Script("UIDL", TFakePOP3Server::TAction::Reply,
                  "+OK\r\n1 " + std::string(20000, 'u') + "\r\n2 b\r\n.\r\n");
    Server.Script("LIST 1", TFakePOP3Server::TAction::Reply,
                  "+OK " + std::string(16385, '1') + "\r\n");
    Session.Connect(5000);
    TStringList lines;
    EXPECT_TRUE(Session.RetrieveMessage(1, lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 16384u);
    EXPECT_EQ(Session.LinesCut, 0);
    lines.clear();
    EXPECT_TRUE(Session.RetrieveMessage(2, lines));
    EXPECT_EQ(lines, (TStringList{"Subject: b", std::string(16384, 'b'), "after"}));
    EXPECT_EQ(Session.LinesCut, 1);
    lines.clear();
    EXPECT_EQ(FailureOf([&] { Session.ListUIDs(lines); }), "Max line length exceeded.");
    EXPECT_TRUE(lines.empty());
    // The reply was read to its end: the next command gets its own reply.
    ASSERT_TRUE(Session.Connected());
    EXPECT_TRUE(Session.RetrieveMessage(1, lines));
    // An over-long status line leaves no end to read to.
    EXPECT_EQ(FailureOf([&] { Session.GetMessageSize(1); }), "Max line length exceeded.");
    EXPECT_FALSE(Session.Connected());
}

TEST_F(POP3SessionTest, ServerClosingMidReplyFails) {
    Server.Script("RETR 1", TFakePOP3Server::TAction::Close, "+OK\r\nSubject: cut\r\nhalf a li");
    Server.Script("LIST 1", TFakePOP3Server::TAction::Close, "+O");
    Session.Connect(5000);
    TStringList lines;
    EXPECT_EQ(FailureOf([&] { Session.RetrieveMessage(1, lines); }),
              "Connection closed gracefully.");
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(Session.Connected());
    Session.Connect(5000);
    EXPECT_EQ(FailureOf([&] { Session.GetMessageSize(1); }), "Connection closed gracefully.");
    EXPECT_FALSE(Session.Connected());
}

TEST_F(POP3SessionTest, UnrecognizedReplyClosesTheSession) {
    Server.Script("DELE 1", TFakePOP3Server::TAction::Reply, "OK deleted\r\n");
    Session.Connect(5000);
    EXPECT_EQ(FailureOf([&] { Session.DeleteOnServer(1); }),
              "Unrecognized POP3 Response Header:\n\"OK deleted\"");
    EXPECT_FALSE(Session.Connected());
}

TEST_F(POP3SessionTest, DropFromAnotherThreadEndsABlockedRead) {
    Server.Script("UIDL", TFakePOP3Server::TAction::Silent);
    Session.Connect(5000);
    std::thread dropper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Session.DropConnection();
    });
    TStringList lines;
    EXPECT_EQ(FailureOf([&] { Session.ListUIDs(lines); }), "Connection dropped.");
    dropper.join();
    EXPECT_FALSE(Session.Connected());
    // The drop holds until reset, so a connect racing with it fails too.
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }), "Connection dropped.");
    Session.ResetDrop();
    Session.Connect(5000);
    EXPECT_TRUE(Session.Connected());
}

TEST_F(POP3SessionTest, CommandsCannotBeSmuggledInCredentials) {
    Session.Server.User = "user\r\nDELE 1";
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }), "Invalid character in command.");
    EXPECT_EQ(Transcript(), TTranscript{"QUIT"});
}

TEST_F(POP3SessionTest, ProgressCountsTheBytesOfADataRead) {
    std::string body;
    for (int i = 0; i < 20000; ++i)
        body += "line " + std::to_string(i) + "\r\n";
    Server.AddMessage("big", "Subject: big\r\n\r\n" + body);
    std::vector<int64_t> positions;
    Session.OnWork = [&](int64_t position) { positions.push_back(position); };
    Session.Connect(5000);
    EXPECT_TRUE(positions.empty()); // status lines are not counted
    TStringList lines;
    ASSERT_TRUE(Session.RetrieveMessage(1, lines));
    ASSERT_GT(positions.size(), 1u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    // Everything after the status line: the message and the dot line.
    EXPECT_EQ(positions.back(), static_cast<int64_t>(16 + body.size() + 3));
}

TEST(POP3ConnectTest, ConnectTimesOutWhenNoOneAnswers) {
    // A listener whose backlog is full drops further SYNs: the connect never completes.
    int port = 0;
    const int listener = LoopbackSocket(port, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    TQBPOP3 session;
    session.Server.Host = "127.0.0.1";
    session.Server.Port = port;
    auto start = std::chrono::steady_clock::now();
    try {
        session.Connect(700);
        ADD_FAILURE() << "connected";
    } catch (const EMailError& error) {
        EXPECT_STREQ(error.what(), "Connect timed out.");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(session.Connected());
    for (int fd : fillers)
        close(fd);
    close(listener);
}

TEST(POP3ConnectTest, ServerThatAcceptsButNeverGreetsFailsWithinTheConnectLimit) {
    // The kernel completes the connection from the backlog; nobody ever writes.
    int port = 0;
    const int listener = LoopbackSocket(port, 4);
    for (TTLSMode mode : {TTLSMode::None, TTLSMode::STLS, TTLSMode::Implicit}) {
        TQBPOP3 session;
        session.Server.Host = "127.0.0.1";
        session.Server.Port = port;
        session.Server.TLS = mode;
        session.Server.TLSVerify = false;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(session.Connect(700), EMailError) << "mode " << static_cast<int>(mode);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(session.Connected());
    }
    close(listener);
}

TEST(POP3ConnectTest, RefusedConnectionFails) {
    TQBPOP3 session;
    session.Server.Host = "127.0.0.1";
    session.Server.Port = FreeLoopbackPort();
    EXPECT_THROW(session.Connect(2000), EMailError);
    EXPECT_FALSE(session.Connected());
}

TEST_F(POP3SessionTest, RefusedSTLSNeverFallsBackToClearTextAndSaysWhy) {
    Session.Server.TLS = TTLSMode::STLS;
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }),
              "The server refused STLS, which the account asks for: Unknown command: STLS");
    EXPECT_FALSE(Session.Connected());
    EXPECT_EQ(Transcript(), (TTranscript{"STLS", "QUIT"}));
    // A bare refusal still names what was refused.
    Server.Script("STLS", TFakePOP3Server::TAction::Reply, "-ERR\r\n");
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }),
              "The server refused STLS, which the account asks for");
}

TEST_F(POP3SessionTest, ClearTextInjectedAfterSTLSIsRefused) {
    // A reply to a command the client never sent, smuggled in before the handshake.
    Server.Script("STLS", TFakePOP3Server::TAction::Reply, "+OK begin TLS\r\n+OK injected\r\n");
    Session.Server.TLS = TTLSMode::STLS;
    EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }),
              "Unexpected data before the TLS handshake.");
    EXPECT_FALSE(Session.Connected());
}

TEST(POP3ConnectTest, HangingNameLookupEndsAtTheConnectLimitOrAtADrop) {
    // A resolver that hangs until released, and says when it has been entered.
    struct TGate {
        std::mutex Lock;
        std::condition_variable Changed;
        int Entered = 0;
        bool Released = false;
    };
    auto gate = std::make_shared<TGate>();
    TQBPOP3 session;
    session.Server.Host = "mail.example.org";
    session.Resolver = [gate](const std::string&, const std::string&, const addrinfo*, addrinfo**) {
        std::unique_lock<std::mutex> lock(gate->Lock);
        ++gate->Entered;
        gate->Changed.notify_all();
        gate->Changed.wait(lock, [&] { return gate->Released; });
        return EAI_AGAIN;
    };
    try {
        session.Connect(300);
        ADD_FAILURE() << "connected";
    } catch (const EMailError& error) {
        EXPECT_STREQ(error.what(), "Name lookup timed out.");
    }
    // A drop from another thread ends a lookup that the connect limit would not end soon.
    std::thread dropper([&] {
        std::unique_lock<std::mutex> lock(gate->Lock);
        gate->Changed.wait(lock, [&] { return gate->Entered == 2; });
        lock.unlock();
        session.DropConnection();
    });
    try {
        session.Connect(600000);
        ADD_FAILURE() << "connected";
    } catch (const EMailError& error) {
        EXPECT_STREQ(error.what(), "Connection dropped.");
    }
    dropper.join();
    EXPECT_FALSE(session.Connected());
    std::lock_guard<std::mutex> lock(gate->Lock);
    gate->Released = true;
    gate->Changed.notify_all();
}

// The response rides on the AUTH line while the line stays within 255 octets.
TEST_F(POP3SessionTest, TokenLoginPrefersOAuthBearerAndSendsItsResponseAsItFits) {
    Session.Server.AccessToken = TFakeTokenLogin::GoodToken;
    ServeTokens("PLAIN XOAUTH2 OAUTHBEARER");
    Session.Connect(5000);
    Session.Disconnect();
    const std::string longToken = std::string(TFakeTokenLogin::GoodToken) + std::string(300, 'x');
    Session.Server.AccessToken = longToken;
    ServeTokens("XOAUTH2");
    Session.Connect(5000);
    Session.Disconnect();
    const std::string port = std::to_string(Server.Port());
    EXPECT_EQ(Transcript(),
              (TTranscript{"CAPA",
                           "AUTH OAUTHBEARER " +
                               Base64Encode("n,a=user,\x01host=127.0.0.1\x01port=" + port +
                                            "\x01"
                                            "auth=Bearer good-token\x01\x01"),
                           "CAPA", "QUIT", "CAPA", "AUTH XOAUTH2",
                           Base64Encode("user=user\x01"
                                        "auth=Bearer " +
                                        longToken + "\x01\x01"),
                           "CAPA", "QUIT"}));
}

TEST_F(POP3SessionTest, RefusedTokenAnswersTheErrorChallengeAndIsToldApart) {
    Session.Server.AccessToken = "expired-token";
    ServeTokens("OAUTHBEARER");
    std::string text;
    try {
        Session.Connect(5000);
    } catch (const ETokenRefused& error) {
        text = error.what();
    }
    EXPECT_EQ(text, "The server refused the sign-in token (status invalid_token, scope mail).");
    ServeTokens("XOAUTH2");
    EXPECT_THROW(Session.Connect(5000), ETokenRefused);
    const TTranscript transcript = Transcript();
    ASSERT_EQ(transcript.size(), 8u);
    EXPECT_EQ(transcript[2], "AQ==");
    EXPECT_EQ(transcript[6], "");
}
