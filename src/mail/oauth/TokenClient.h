// The requests to a token endpoint: a code for tokens, a refresh token for a fresh access
// token, and the discovery of a server's endpoints.
#pragma once

#include "HttpClient.h"
#include "TokenResponse.h"

#include <string>

struct TOAuthClient {
    std::string TokenEndpoint; // https, or http on a loopback host
    std::string ClientId;
    std::string ClientSecret; // sent when not empty
    THttpOptions Http;
};

// Exchanges the authorization code of a redirect; a failure to reach the server is Failed.
TTokenResult ExchangeCode(const TOAuthClient& client, const std::string& code,
                          const std::string& redirectUri, const std::string& codeVerifier);
// A fresh access token for refreshToken, which the answer may replace.
TTokenResult RefreshTokens(const TOAuthClient& client, const std::string& refreshToken);

struct TOAuthEndpoints {
    std::string AuthorizationEndpoint;
    std::string TokenEndpoint;
};

// The endpoints that issuer (an https URL) publishes under
// "/.well-known/openid-configuration". Throws EOAuthError.
TOAuthEndpoints DiscoverEndpoints(const std::string& issuer, const THttpOptions& options);
