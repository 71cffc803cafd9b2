// What the POP3 and IMAP sessions share of a login with an OAuth2 access token.
#include "TokenLogin.h"

#include "ErrorCause.h"

#include <algorithm>

namespace {

bool Framable(const std::string& text) {
    return std::none_of(text.begin(), text.end(),
                        [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

} // namespace

void CheckTokenLogin(const TServerEndpoint& server) {
    if (server.AccessToken.empty())
        throw EMailError("There is no access token to sign in with.");
    if (!Framable(server.AccessToken) || !Framable(server.User) || !Framable(server.Host))
        throw EMailError("The access token or the user name holds characters a login cannot "
                         "carry.");
}

ETokenRefused TokenRefusal(const std::string& challengeText, const std::string& finalText) {
    if (!challengeText.empty())
        return ETokenRefused(challengeText);
    return ETokenRefused(WithCause("The server refused the sign-in token", finalText) + ".");
}
