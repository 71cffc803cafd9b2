// TOAuthServer: the test authorization server (oauth_server.py) on loopback, and a client of it.
#include "OAuthServer.h"

#include "ChildProcess.h"
#include "TempDir.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* Python = "/usr/bin/python3";

std::string Base64URL(const unsigned char* bytes, int length) {
    std::string text(static_cast<size_t>(4 * ((length + 2) / 3)) + 1, '\0');
    text.resize(static_cast<size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes, length)));
    for (char& c : text)
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    while (!text.empty() && text.back() == '=')
        text.pop_back();
    return text;
}

// A PKCE verifier of 43 characters and its S256 challenge.
std::pair<std::string, std::string> MakePKCE() {
    unsigned char random[32];
    if (RAND_bytes(random, sizeof random) != 1)
        throw std::runtime_error("no random bytes");
    const std::string verifier = Base64URL(random, sizeof random);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(verifier.data(), verifier.size(), digest, &length, EVP_sha256(), nullptr);
    return {verifier, Base64URL(digest, static_cast<int>(length))};
}

// The value of a query field in a URL, still encoded.
std::string QueryField(const std::string& url, const std::string& name) {
    const size_t query = url.find('?');
    if (query == std::string::npos)
        return "";
    size_t at = query + 1;
    while (at < url.size()) {
        size_t end = url.find('&', at);
        if (end == std::string::npos)
            end = url.size();
        const std::string field = url.substr(at, end - at);
        if (field.compare(0, name.size() + 1, name + "=") == 0)
            return field.substr(name.size() + 1);
        at = end + 1;
    }
    return "";
}

} // namespace

std::string TOAuthServer::Unavailable() {
    return access(Python, X_OK) == 0 ? ""
                                     : "python3 is not installed; scripts/setup.sh installs it";
}

TOAuthServer::TOAuthServer() : TOAuthServer(TOptions()) {}

TOAuthServer::TOAuthServer(TOptions options) {
    const std::string why = Unavailable();
    if (!why.empty())
        throw std::runtime_error(why);
    FRoot = TTempDir::MakeServerRoot("qboauth");
    FPid = StartLoopbackServer(
        [&](int port) {
            std::vector<std::string> command{Python,
                                             QB_OAUTH_SERVER_SCRIPT,
                                             "--port",
                                             std::to_string(port),
                                             "--log",
                                             LogPath(),
                                             "--access-lifetime",
                                             std::to_string(options.AccessLifetime)};
            for (const std::string& user : options.Users) {
                command.push_back("--user");
                command.push_back(user);
            }
            if (options.RotateRefresh)
                command.push_back("--rotate-refresh");
            return command;
        },
        FPort);
}

TOAuthServer::~TOAuthServer() {
    StopChild(FPid);
    std::error_code ignored;
    fs::remove_all(FRoot, ignored);
}

std::string TOAuthServer::BaseURL() const {
    return "http://127.0.0.1:" + std::to_string(FPort);
}

std::string TOAuthServer::LogPath() const {
    return FRoot + "/oauth.log";
}

std::string TOAuthServer::Log() const {
    return TTempDir::ReadFile(LogPath());
}

TOAuthServer::TTokens TOAuthServer::SignIn(const std::string& user,
                                           const std::string& scope) const {
    const auto [verifier, challenge] = MakePKCE();
    const TReply granted =
        Get("/authorize?response_type=code&client_id=" + Encode(ClientId) +
            "&redirect_uri=" + Encode(RedirectURI) + "&state=s1&code_challenge=" + challenge +
            "&code_challenge_method=S256&scope=" + Encode(scope) + "&login_hint=" + Encode(user));
    const std::string code = QueryField(granted.Location, "code");
    if (granted.Status != 302 || code.empty()) {
        TTokens refused;
        refused.Error = QueryField(granted.Location, "error");
        if (refused.Error.empty())
            refused.Error = "authorize answered " + std::to_string(granted.Status);
        return refused;
    }
    return TokensOf(Post("/token", "grant_type=authorization_code&code=" + code + "&redirect_uri=" +
                                       Encode(RedirectURI) + "&client_id=" + Encode(ClientId) +
                                       "&code_verifier=" + verifier));
}

TOAuthServer::TTokens TOAuthServer::Refresh(const std::string& refreshToken) const {
    return TokensOf(Post("/token", "grant_type=refresh_token&refresh_token=" +
                                       Encode(refreshToken) + "&client_id=" + Encode(ClientId)));
}

void TOAuthServer::ExpireAccessTokens() const {
    if (Post("/control/expire-access", "").Status != 200)
        throw std::runtime_error("the authorization server did not expire its tokens");
}

void TOAuthServer::RevokeRefreshTokens() const {
    if (Post("/control/revoke-refresh", "").Status != 200)
        throw std::runtime_error("the authorization server did not revoke its tokens");
}

TOAuthServer::TTokens TOAuthServer::TokensOf(const TReply& reply) const {
    TTokens tokens;
    tokens.Error = JSONField(reply.Body, "error");
    if (reply.Status != 200 && tokens.Error.empty())
        tokens.Error = "token endpoint answered " + std::to_string(reply.Status);
    if (!tokens.Error.empty())
        return tokens;
    tokens.AccessToken = JSONField(reply.Body, "access_token");
    tokens.RefreshToken = JSONField(reply.Body, "refresh_token");
    tokens.Scope = JSONField(reply.Body, "scope");
    tokens.ExpiresIn = std::atoi(JSONField(reply.Body, "expires_in").c_str());
    return tokens;
}

TOAuthServer::TReply TOAuthServer::Get(const std::string& pathAndQuery) const {
    return Request("GET " + pathAndQuery + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                   "Connection: close\r\n\r\n");
}

TOAuthServer::TReply TOAuthServer::Post(const std::string& path, const std::string& form) const {
    return Request("POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                   "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   std::to_string(form.size()) + "\r\n\r\n" + form);
}

TOAuthServer::TReply TOAuthServer::Request(const std::string& request) const {
    TReply reply;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return reply;
    // A server that stops answering fails the test instead of hanging it.
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(FPort));
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t got;
        while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    const size_t headEnd = answer.find("\r\n\r\n");
    if (answer.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos)
        return reply;
    reply.Status = std::atoi(answer.c_str() + 9);
    reply.Body = answer.substr(headEnd + 4);
    const std::string head = answer.substr(0, headEnd);
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        if (head.size() - at > 9 && strncasecmp(head.c_str() + at, "Location:", 9) == 0) {
            const size_t end = head.find("\r\n", at);
            reply.Location = head.substr(at + 9, end == std::string::npos ? end : end - at - 9);
            reply.Location.erase(0, reply.Location.find_first_not_of(' '));
        }
    }
    return reply;
}

std::string TOAuthServer::Encode(const std::string& text) {
    std::string encoded;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            encoded += escape;
        }
    }
    return encoded;
}

std::string TOAuthServer::JSONField(const std::string& json, const std::string& name) {
    size_t at = json.find("\"" + name + "\":");
    if (at == std::string::npos)
        return "";
    at = json.find_first_not_of(' ', at + name.size() + 3);
    if (at == std::string::npos)
        return "";
    if (json[at] == '"') {
        const size_t end = json.find('"', at + 1);
        return end == std::string::npos ? "" : json.substr(at + 1, end - at - 1);
    }
    const size_t end = json.find_first_of(",}", at);
    return json.substr(at, end == std::string::npos ? end : end - at);
}
