// The initial responses of the XOAUTH2 and OAUTHBEARER mechanisms, and their error challenge.
#include "OAuthSasl.h"

#include "Json.h"
#include "core/Base64.h"
#include "net/ErrorCause.h"
#include "net/TokenLogin.h"

namespace {

const char Separator = '\x01';
const char* const TokenRefused = "The server refused the sign-in token";
const size_t MaxChallenge = 4096;

std::string Bearer(const std::string& accessToken) {
    return "auth=Bearer " + accessToken + Separator + Separator;
}

std::string SaslName(const std::string& user) {
    std::string out;
    for (char c : user) {
        if (c == ',')
            out += "=2C";
        else if (c == '=')
            out += "=3D";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string XOAuth2Response(const std::string& user, const std::string& accessToken) {
    return Base64Encode("user=" + user + Separator + Bearer(accessToken));
}

std::string OAuthBearerResponse(const std::string& user, const std::string& host, int port,
                                const std::string& accessToken) {
    return Base64Encode("n,a=" + SaslName(user) + "," + Separator + "host=" + host + Separator +
                        "port=" + std::to_string(port) + Separator + Bearer(accessToken));
}

std::string OAuthChallengeText(const std::string& challenge) {
    const auto decoded =
        challenge.size() <= MaxChallenge ? Base64DecodeStrict(challenge) : std::nullopt;
    const auto answer = decoded ? ParseJson(*decoded) : std::nullopt;
    if (!answer || answer->Kind != TJsonKind::Object)
        return std::string(TokenRefused) + ".";
    std::string cause;
    if (auto status = answer->StringAt("status"))
        cause = "status " + *status;
    if (auto scope = answer->StringAt("scope"))
        cause += (cause.empty() ? "" : ", ") + std::string("scope ") + *scope;
    return WithCause(TokenRefused, cause) + ".";
}

std::string OAuthChallengeAbort() {
    return Base64Encode(std::string(1, Separator));
}

std::string TokenLoginResponse(const TServerEndpoint& server, bool bearer) {
    CheckTokenLogin(server);
    return bearer ? OAuthBearerResponse(server.User, server.Host, server.Port, server.AccessToken)
                  : XOAuth2Response(server.User, server.AccessToken);
}
