// Who signed in, as an OpenID id_token of a token answer names the user.
#pragma once

#include <string>
#include <string_view>

// The email claim of idToken's payload, else its preferred_username; "" when it has neither
// or is no readable token. The signature is not checked: the token came straight from the
// token endpoint and only names the account to the user.
std::string IdTokenAccount(std::string_view idToken);
