// Who signed in, as an OpenID id_token of a token answer names the user.
#include "IdToken.h"

#include "Json.h"
#include "core/Base64.h"

#include <algorithm>

namespace {

const size_t MaxIdToken = 16 * 1024;
const size_t MaxAccount = 256;

// The account is shown and stored: printable text of a sane length only.
bool IsAccountText(const std::string& text) {
    return !text.empty() && text.size() <= MaxAccount &&
           std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

} // namespace

std::string IdTokenAccount(std::string_view idToken) {
    if (idToken.size() > MaxIdToken)
        return {};
    const size_t first = idToken.find('.');
    const size_t second = idToken.find('.', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
        return {};
    std::string payload(idToken.substr(first + 1, second - first - 1));
    std::replace(payload.begin(), payload.end(), '-', '+');
    std::replace(payload.begin(), payload.end(), '_', '/');
    const auto json = Base64DecodeStrict(payload);
    if (!json)
        return {};
    const auto claims = ParseJson(*json);
    if (!claims || claims->Kind != TJsonKind::Object)
        return {};
    for (const char* claim : {"email", "preferred_username"})
        if (auto account = claims->StringAt(claim); account && IsAccountText(*account))
            return *account;
    return {};
}
