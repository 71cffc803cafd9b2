// Tests of TQBPOP3 against a real Dovecot: logins, mailbox commands, deletion, STLS and POP3S.
#include "DovecotUserTest.h"
#include "FailureOf.h"
#include "net/LineConnection.h"
#include "net/MailError.h"
#include "pop3/POP3Session.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

class POP3DovecotTest : public TDovecotUserTest<false> {
  protected:
    TQBPOP3 Session;

    void SetUp() override {
        TDovecotUserTest::SetUp();
        if (IsSkipped())
            return;
        Session.Server.Host = "127.0.0.1";
        Session.Server.Port = Dovecot->Port();
        Session.Server.User = Dovecot->User(User);
        Session.Server.Pass = Dovecot->Password(User);
    }

    // Dovecot writes its raw logs as the sessions go: wait for the QUIT of the last.
    std::vector<std::string> CommandsUntil(size_t quits) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::vector<std::string> commands;
        do {
            commands = Dovecot->Commands();
            if (!commands.empty() && commands.back() == "QUIT" &&
                std::count(commands.begin(), commands.end(), "QUIT") >= static_cast<long>(quits))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < deadline);
        return commands;
    }
};

} // namespace

TEST_F(POP3DovecotTest, UserPassAndAPOPLogins) {
    Session.Connect(5000);
    Session.Disconnect();
    Session.Server.APOP = true;
    Session.Connect(5000);
    EXPECT_TRUE(Session.Connected());
    EXPECT_TRUE(Session.Pipelining); // from the CAPA answer after login
    Session.Disconnect();
    // The first QUIT may reach Dovecot after the second login: compare as sets.
    std::vector<std::string> commands = CommandsUntil(2);
    ASSERT_EQ(commands.size(), 7u);
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(commands[0].substr(0, commands[0].rfind(' ')), "APOP " + Session.Server.User);
    EXPECT_EQ(commands[0].size() - commands[0].rfind(' ') - 1, 32u);
    EXPECT_EQ(std::vector<std::string>(commands.begin() + 1, commands.end()),
              (std::vector<std::string>{"CAPA", "CAPA", "PASS " + Session.Server.Pass, "QUIT",
                                        "QUIT", "USER " + Session.Server.User}));
    EXPECT_NE(Dovecot->Log().find("user=<" + Session.Server.User + ">, method=APOP"),
              std::string::npos);
}

TEST_F(POP3DovecotTest, WrongPasswordFailsForBothLogins) {
    Session.Server.Pass = "not the password";
    EXPECT_THROW(Session.Connect(5000), EMailReplyError);
    EXPECT_FALSE(Session.Connected());
    Session.Server.APOP = true;
    EXPECT_THROW(Session.Connect(5000), EMailReplyError);
    EXPECT_FALSE(Session.Connected());
}

TEST_F(POP3DovecotTest, ListsAndReadsTheMailbox) {
    Session.Connect(5000);
    TStringList uids;
    ASSERT_TRUE(Session.ListUIDs(uids));
    ASSERT_EQ(uids.size(), 3u);
    EXPECT_EQ(uids[0].substr(0, 2), "1 ");
    EXPECT_EQ(uids[2].substr(0, 2), "3 ");

    std::string second = TDovecotServer::GenerateMessage(2);
    EXPECT_EQ(Session.GetMessageSize(2), static_cast<int>(second.size()));
    EXPECT_THROW(Session.GetMessageSize(9), EMailReplyError);

    TStringList header;
    ASSERT_TRUE(Session.RetrieveTop(2, 0, header));
    ASSERT_EQ(header.size(), 6u);
    EXPECT_EQ(header[2], "Subject: Test message 2");
    EXPECT_EQ(header.back(), "");

    TStringList whole;
    ASSERT_TRUE(Session.RetrieveMessage(2, whole));
    std::string joined;
    for (const std::string& line : whole)
        joined += line + "\r\n";
    EXPECT_EQ(joined, second); // the dotted body line comes back unstuffed
    EXPECT_FALSE(Session.RetrieveMessage(9, whole));
    Session.Disconnect();
    EXPECT_EQ(CommandsUntil(1),
              (std::vector<std::string>{"USER " + Session.Server.User,
                                        "PASS " + Session.Server.Pass, "CAPA", "UIDL", "LIST 2",
                                        "LIST 9", "TOP 2 0", "RETR 2", "RETR 9", "QUIT"}));
}

TEST_F(POP3DovecotTest, DeleteTakesEffectAtQuit) {
    Session.Connect(5000);
    Session.DeleteOnServer(1);
    EXPECT_THROW(Session.DeleteOnServer(1), EMailReplyError); // already marked
    Session.Disconnect();
    CommandsUntil(1);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Dovecot->MessageCount(User) != 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Dovecot->MessageCount(User), 2);

    Session.Connect(5000);
    TStringList uids;
    ASSERT_TRUE(Session.ListUIDs(uids));
    EXPECT_EQ(uids.size(), 2u);
    TStringList header;
    ASSERT_TRUE(Session.RetrieveTop(1, 0, header));
    EXPECT_EQ(header[2], "Subject: Test message 2");
}

TEST_F(POP3DovecotTest, STLSAndPOP3SWithTheTestCATrusted) {
    Session.TLSCAFile = Dovecot->CAFile();
    for (const char* host : {"127.0.0.1", "localhost"}) {
        Session.Server.Host = host;
        Session.Server.TLS = TTLSMode::STLS;
        Session.Server.Port = Dovecot->Port();
        Session.Connect(5000);
        TStringList uids;
        EXPECT_TRUE(Session.ListUIDs(uids));
        EXPECT_EQ(uids.size(), 3u);
        Session.Disconnect();

        Session.Server.TLS = TTLSMode::Implicit;
        Session.Server.Port = Dovecot->TLSPort();
        Session.Server.APOP = true;
        Session.Connect(5000);
        EXPECT_EQ(Session.GetMessageSize(1),
                  static_cast<int>(TDovecotServer::GenerateMessage(1).size()));
        Session.Disconnect();
        Session.Server.APOP = false;
    }
    std::string log = Dovecot->Log();
    EXPECT_NE(log.find("method=PLAIN, rip=127.0.0.1, lip=127.0.0.1, mpid="), std::string::npos);
    EXPECT_NE(log.find(", TLS, session="), std::string::npos);
    EXPECT_EQ(Dovecot->Commands().front(), "STLS");
}

TEST_F(POP3DovecotTest, UntrustedOrMisnamedCertificateFailsUnlessVerificationIsOff) {
    for (TTLSMode mode : {TTLSMode::STLS, TTLSMode::Implicit}) {
        Session.Server.TLS = mode;
        Session.Server.Port = mode == TTLSMode::STLS ? Dovecot->Port() : Dovecot->TLSPort();
        Session.TLSCAFile = "";
        EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }),
                  "Certificate verification failed: unable to get local issuer certificate");
        EXPECT_FALSE(Session.Connected());

        // Trusted, but the certificate does not name this address.
        Session.TLSCAFile = Dovecot->CAFile();
        Session.Server.Host = "127.0.0.2";
        EXPECT_EQ(FailureOf([&] { Session.Connect(5000); }),
                  "Certificate verification failed: IP address mismatch");

        Session.TLSCAFile = "";
        Session.Server.TLSVerify = false;
        Session.Connect(5000);
        EXPECT_TRUE(Session.Connected());
        Session.Disconnect();
        Session.Server.TLSVerify = true;
        Session.Server.Host = "127.0.0.1";
    }
    // No password went out before the failed handshakes.
    for (const std::string& command : Dovecot->Commands())
        EXPECT_EQ(command.find("PASS"), std::string::npos) << command;
}

TEST_F(POP3DovecotTest, DropWakesABlockedTLSRead) {
    TLineConnection connection;
    connection.Open("127.0.0.1", Dovecot->TLSPort(), 5000);
    TTLSOptions options;
    options.HostName = "127.0.0.1";
    options.CAFile = Dovecot->CAFile();
    connection.StartTLS(options);
    EXPECT_EQ(connection.ReadLine(16384).substr(0, 3), "+OK");
    std::thread dropper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        connection.Drop();
    });
    try {
        connection.ReadLine(16384); // the server waits for a command: blocks until the drop
        ADD_FAILURE() << "read a line";
    } catch (const EMailError& error) {
        EXPECT_STREQ(error.what(), "Connection dropped.");
    }
    dropper.join();
}
