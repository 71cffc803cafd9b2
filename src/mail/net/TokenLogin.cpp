// The SASL exchanges that carry an OAuth2 access token.
#include "TokenLogin.h"

#include "core/Base64.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

// The most of the server's status kept in the error text.
const size_t MaxStatusLength = 40;

bool Framable(const std::string& text) {
    return std::none_of(text.begin(), text.end(),
                        [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// The string value of "status" in the challenge's JSON; "" when it has none.
std::string ChallengeStatus(const std::string& challenge) {
    const std::optional<std::string> json = Base64DecodeStrict(challenge);
    if (!json)
        return {};
    const std::string key = "\"status\"";
    size_t at = json->find(key);
    if (at == std::string::npos)
        return {};
    at = json->find_first_not_of(" \t\r\n", at + key.size());
    if (at == std::string::npos || (*json)[at] != ':')
        return {};
    at = json->find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos || (*json)[at] != '"')
        return {};
    std::string status;
    for (++at; at < json->size() && (*json)[at] != '"' && status.size() < MaxStatusLength; ++at)
        if (std::isprint(static_cast<unsigned char>((*json)[at])))
            status += (*json)[at];
    return status;
}

} // namespace

const char* TokenMechanismName(TTokenMechanism mechanism) {
    return mechanism == TTokenMechanism::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

std::string TokenResponse(TTokenMechanism mechanism, const TServerEndpoint& server) {
    if (server.AccessToken.empty())
        throw EMailError("There is no access token to sign in with.");
    // A control character would end a field of the response early.
    if (!Framable(server.AccessToken) || !Framable(server.User) || !Framable(server.Host))
        throw EMailError("The access token or the user name holds characters a login cannot "
                         "carry.");
    const std::string auth = "auth=Bearer " + server.AccessToken + "\x01\x01";
    if (mechanism == TTokenMechanism::XOAuth2)
        return Base64Encode("user=" + server.User + "\x01" + auth);
    // The user name goes into the GS2 header, where "," and "=" are escaped.
    std::string user;
    for (char c : server.User)
        user += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    return Base64Encode("n,a=" + user + ",\x01host=" + server.Host +
                        "\x01port=" + std::to_string(server.Port) + "\x01" + auth);
}

std::string TokenChallengeAnswer(TTokenMechanism mechanism) {
    // OAUTHBEARER answers with a lone %x01; XOAUTH2 with an empty response.
    return mechanism == TTokenMechanism::OAuthBearer ? Base64Encode("\x01") : std::string();
}

ETokenRefused TokenRefusal(const std::string& challenge, const std::string& finalText) {
    const std::string status = ChallengeStatus(challenge);
    std::string text = "The server refused the access token";
    if (!status.empty())
        text += " (status " + status + ")";
    if (!finalText.empty())
        text += ": " + finalText;
    return ETokenRefused(text);
}
