// The requests to a token endpoint: a code for tokens, a refresh token for a fresh access
// token, and the discovery of a server's endpoints.
#include "TokenClient.h"

#include "Json.h"
#include "OAuthError.h"

namespace {

const char* const FormType = "application/x-www-form-urlencoded";
const char* const BadEndpoint = "The sign-in server's address is not an https URL.";
const char* const BadDiscovery = "The sign-in server does not publish its endpoints.";

TTokenResult RequestTokens(const TOAuthClient& client, TFormFields fields,
                           const std::string& refreshToken) {
    const auto url = ParseHttpUrl(client.TokenEndpoint);
    if (!url) {
        TTokenResult result;
        result.Error = BadEndpoint;
        return result;
    }
    fields.emplace_back("client_id", client.ClientId);
    if (!client.ClientSecret.empty())
        fields.emplace_back("client_secret", client.ClientSecret);
    try {
        const THttpResponse response =
            HttpExchange("POST", *url, FormType, FormEncode(fields), client.Http);
        return ReadTokenResponse(response.Status, response.Body, refreshToken,
                                 std::chrono::system_clock::now());
    } catch (const EOAuthError& error) {
        TTokenResult result;
        result.Error = error.what();
        return result;
    }
}

} // namespace

TTokenResult ExchangeCode(const TOAuthClient& client, const std::string& code,
                          const std::string& redirectUri, const std::string& codeVerifier) {
    return RequestTokens(client,
                         {{"grant_type", "authorization_code"},
                          {"code", code},
                          {"redirect_uri", redirectUri},
                          {"code_verifier", codeVerifier}},
                         "");
}

TTokenResult RefreshTokens(const TOAuthClient& client, const std::string& refreshToken) {
    return RequestTokens(client, {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}},
                         refreshToken);
}

TOAuthEndpoints DiscoverEndpoints(const std::string& issuer, const THttpOptions& options) {
    std::string base = issuer;
    while (base.ends_with("/"))
        base.pop_back();
    const auto url = ParseHttpUrl(base + "/.well-known/openid-configuration");
    if (!url || url->Target.find('?') != std::string::npos)
        throw EOAuthError(BadEndpoint);
    const THttpResponse response = HttpExchange("GET", *url, "", "", options);
    const auto document = response.Status == 200 ? ParseJson(response.Body) : std::nullopt;
    if (!document || document->Kind != TJsonKind::Object)
        throw EOAuthError(BadDiscovery);
    TOAuthEndpoints endpoints;
    endpoints.AuthorizationEndpoint = document->StringAt("authorization_endpoint").value_or("");
    endpoints.TokenEndpoint = document->StringAt("token_endpoint").value_or("");
    // Endpoints the program would refuse to use later are refused here.
    if (!ParseHttpUrl(endpoints.AuthorizationEndpoint) || !ParseHttpUrl(endpoints.TokenEndpoint))
        throw EOAuthError(BadDiscovery);
    return endpoints;
}
