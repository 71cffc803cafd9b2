// TOAuthServer: the test authorization server (oauth_server.py) on loopback, and a client of it.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Runs oauth_server.py as a child process on a free port of 127.0.0.1. It grants every
// authorization at once (no login page): GET /authorize answers 302 to the redirect with a code,
// POST /token exchanges codes (PKCE S256 checked) and refresh tokens, POST /introspect answers
// Dovecot's oauth2 passdb, /.well-known/openid-configuration lists the endpoints. The log has one
// line per request with a few characters of a token at most. Stops the server when destroyed.
class TOAuthServer {
  public:
    struct TOptions {
        int AccessLifetime = 3600;      // seconds an access token lives
        std::vector<std::string> Users; // empty: any login_hint is a user
        bool RotateRefresh = false;     // a refresh answers a new refresh token
    };
    struct TTokens {
        std::string AccessToken;
        std::string RefreshToken;
        std::string Scope;
        int ExpiresIn = 0;
        std::string Error; // the server's "error" ("invalid_grant", ...); "" when granted
    };
    struct TReply {
        int Status = 0; // 0 when the server could not be reached
        std::string Location;
        std::string Body;
    };

    static constexpr const char* ClientId = "quillbar-test";
    static constexpr const char* RedirectURI = "http://127.0.0.1/callback";

    TOAuthServer();
    explicit TOAuthServer(TOptions options);
    ~TOAuthServer();
    TOAuthServer(const TOAuthServer&) = delete;
    TOAuthServer& operator=(const TOAuthServer&) = delete;

    // "" when the server can run here; else why not (tests skip with it).
    static std::string Unavailable();

    int Port() const { return FPort; }
    std::string BaseURL() const; // http://127.0.0.1:<port>
    std::string AuthorizeURL() const { return BaseURL() + "/authorize"; }
    std::string TokenURL() const { return BaseURL() + "/token"; }
    std::string IntrospectionURL() const { return BaseURL() + "/introspect"; }
    std::string DiscoveryURL() const { return BaseURL() + "/.well-known/openid-configuration"; }
    std::string LogPath() const;
    std::string Log() const;

    // Signs user in as a client without a browser would: authorize with a PKCE challenge, then
    // exchange the code with its verifier at the token endpoint.
    TTokens SignIn(const std::string& user, const std::string& scope = "mail") const;
    TTokens Refresh(const std::string& refreshToken) const;
    // Every access token given out so far is expired from now on.
    void ExpireAccessTokens() const;
    // Every refresh token given out so far is refused from now on.
    void RevokeRefreshTokens() const;

    TReply Get(const std::string& pathAndQuery) const;
    TReply Post(const std::string& path, const std::string& form) const;
    // Percent-encoding for a query or a form value.
    static std::string Encode(const std::string& text);
    // A string or number field of a flat JSON object; "" when it has none.
    static std::string JSONField(const std::string& json, const std::string& name);

  private:
    std::string FRoot;
    int FPort = 0;
    pid_t FPid = -1;

    TReply Request(const std::string& request) const;
    TTokens TokensOf(const TReply& reply) const;
};
