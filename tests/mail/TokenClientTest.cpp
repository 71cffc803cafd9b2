// A whole sign-in against the test authorization server, and the corners of HTTP answers
// against a scripted one.
#include "oauth/TokenClient.h"
#include "LoopbackSocket.h"
#include "OAuthServer.h"
#include "oauth/Authorization.h"
#include "oauth/Pkce.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

// Answers each connection, in order, with the next of its scripted answers and closes it;
// keeps what each request held.
class TScriptedHttpServer {
  public:
    explicit TScriptedHttpServer(std::vector<std::string> answers)
        : FAnswers(std::move(answers)), FListen(LoopbackSocket(FPort, 8)),
          FThread([this] { Serve(); }) {}
    ~TScriptedHttpServer() {
        FThread.join();
        close(FListen);
    }
    int Port() const { return FPort; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(FPort) + path;
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(FLock);
        return FRequests;
    }

  private:
    std::vector<std::string> FAnswers;
    int FPort = 0;
    int FListen;
    std::mutex FLock;
    std::vector<std::string> FRequests;
    std::thread FThread;

    void Serve() {
        for (const std::string& answer : FAnswers) {
            // A client that never comes must not hold the test at its end.
            pollfd waitFor{FListen, POLLIN, 0};
            if (poll(&waitFor, 1, 10000) != 1)
                return;
            const int fd = accept(FListen, nullptr, nullptr);
            if (fd < 0)
                return;
            std::string request = ReadRequest(fd);
            {
                std::lock_guard<std::mutex> lock(FLock);
                FRequests.push_back(std::move(request));
            }
            for (size_t sent = 0; sent < answer.size();) {
                const ssize_t n =
                    send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
            close(fd);
        }
    }

    static std::string ReadRequest(int fd) {
        std::string request;
        char block[4096];
        for (;;) {
            const size_t headEnd = request.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                const size_t length = request.find("Content-Length: ");
                const size_t body =
                    length == std::string::npos ? 0 : std::stoul(request.substr(length + 16));
                if (request.size() >= headEnd + 4 + body)
                    return request;
            }
            const ssize_t n = recv(fd, block, sizeof block, 0);
            if (n <= 0)
                return request;
            request.append(block, static_cast<size_t>(n));
        }
    }
};

std::string Answer(const std::string& status, const std::string& head, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\n" + head + "\r\n" + body;
}

std::string Hex(size_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%zx", value);
    return text;
}

std::string Body(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}

} // namespace

TEST(TokenClientTest, AnswersChunkedSizedRedirectedOrTooLargeAreReadSafely) {
    const std::string granted = R"({"access_token":"AT-1","token_type":"Bearer","expires_in":3599,)"
                                R"("refresh_token":"RT/1","scope":"https://mail.example/"})";
    const std::string refreshed = R"({"access_token":"AT-2","expires_in":"3600"})";
    TScriptedHttpServer server({
        // Chunked, with a chunk extension and an interim answer before it.
        "HTTP/1.1 100 Continue\r\n\r\n" +
            Answer("200 OK", "Transfer-Encoding: chunked\r\n",
                   "10;x=y\r\n" + granted.substr(0, 16) + "\r\n" + Hex(granted.size() - 16) +
                       "\r\n" + granted.substr(16) + "\r\n0\r\n\r\n"),
        Answer("200 OK", "Content-Length: " + std::to_string(refreshed.size()) + "\r\n", refreshed),
        Answer("302 Found", "Location: http://127.0.0.1:1/\r\nContent-Length: 0\r\n", ""),
        Answer("200 OK", "", "{\"x\":\"" + std::string(70000, 'a') + "\"}"),
    });
    TOAuthClient client;
    client.TokenEndpoint = server.Url("/token");
    client.ClientId = "quill bar";
    client.Http.TimeoutMs = 5000;

    const TTokenResult first =
        ExchangeCode(client, "4/co de", "http://127.0.0.1:5555/", "verifier-1");
    ASSERT_EQ(first.Outcome, TTokenOutcome::Granted) << first.Error;
    EXPECT_EQ(first.Tokens.AccessToken, "AT-1");
    EXPECT_EQ(first.Tokens.RefreshToken, "RT/1");

    const TTokenResult second = RefreshTokens(client, first.Tokens.RefreshToken);
    ASSERT_EQ(second.Outcome, TTokenOutcome::Granted) << second.Error;
    EXPECT_EQ(second.Tokens.AccessToken, "AT-2");
    EXPECT_EQ(second.Tokens.RefreshToken, "RT/1");

    EXPECT_EQ(RefreshTokens(client, "RT/1").Error,
              "The sign-in server sent no usable answer (HTTP 302).");
    EXPECT_EQ(RefreshTokens(client, "RT/1").Error, "The sign-in server's answer is too large.");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[0].starts_with("POST /token HTTP/1.1\r\n"));
    EXPECT_NE(requests[0].find("\r\nConnection: close\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    EXPECT_EQ(Body(requests[0]),
              "grant_type=authorization_code&code=4%2Fco%20de"
              "&redirect_uri=http%3A%2F%2F127.0.0.1%3A5555%2F&code_verifier=verifier-1"
              "&client_id=quill%20bar");
    EXPECT_EQ(Body(requests[1]),
              "grant_type=refresh_token&refresh_token=RT%2F1&client_id=quill%20bar");
}

TEST(TokenClientTest, SignInRefreshAndRevocationAgainstTheAuthorizationServer) {
    if (const std::string why = TOAuthServer::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    TOAuthServer server;
    THttpOptions http;
    http.TimeoutMs = 10000;
    const TOAuthEndpoints endpoints = DiscoverEndpoints(server.BaseURL(), http);
    EXPECT_EQ(endpoints.TokenEndpoint, server.TokenURL());

    const TPkce pkce = MakePkce();
    TAuthorizationRequest request;
    request.Endpoint = endpoints.AuthorizationEndpoint;
    request.ClientId = TOAuthServer::ClientId;
    request.RedirectUri = LoopbackRedirectUri(FreeLoopbackPort());
    request.Scope = "mail offline_access";
    request.State = MakeState();
    request.CodeChallenge = pkce.Challenge;
    request.LoginHint = "zoe@example.org";
    // The browser's part: the server grants at once and redirects to the listener.
    const auto reply = server.Get(AuthorizationUrl(request).substr(server.BaseURL().size()));
    ASSERT_EQ(reply.Status, 302) << reply.Body;
    ASSERT_TRUE(reply.Location.starts_with(request.RedirectUri)) << reply.Location;
    const TRedirect redirect = ParseRedirect(
        "GET /" + reply.Location.substr(request.RedirectUri.size()) + " HTTP/1.1", request.State);
    ASSERT_EQ(redirect.Outcome, TRedirectOutcome::Code) << redirect.Error;

    TOAuthClient client;
    client.TokenEndpoint = endpoints.TokenEndpoint;
    client.ClientId = TOAuthServer::ClientId;
    client.Http = http;
    const TTokenResult signedIn =
        ExchangeCode(client, redirect.Code, request.RedirectUri, pkce.Verifier);
    ASSERT_EQ(signedIn.Outcome, TTokenOutcome::Granted) << signedIn.Error;
    EXPECT_FALSE(signedIn.Tokens.RefreshToken.empty());
    EXPECT_GT(signedIn.Tokens.Expires, std::chrono::system_clock::now());

    server.ExpireAccessTokens();
    const TTokenResult refreshed = RefreshTokens(client, signedIn.Tokens.RefreshToken);
    ASSERT_EQ(refreshed.Outcome, TTokenOutcome::Granted) << refreshed.Error;
    EXPECT_NE(refreshed.Tokens.AccessToken, signedIn.Tokens.AccessToken);
    EXPECT_EQ(refreshed.Tokens.RefreshToken, signedIn.Tokens.RefreshToken);

    server.RevokeRefreshTokens();
    const TTokenResult revoked = RefreshTokens(client, signedIn.Tokens.RefreshToken);
    EXPECT_EQ(revoked.Outcome, TTokenOutcome::SignInExpired);
    EXPECT_EQ(revoked.Error.find(signedIn.Tokens.RefreshToken), std::string::npos);
}
