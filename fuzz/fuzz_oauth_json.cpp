// Fuzz target: arbitrary bytes as JSON, as a token endpoint's answer and as a SASL challenge.
#include "core/Base64.h"
#include "oauth/Json.h"
#include "oauth/OAuthSasl.h"
#include "oauth/TokenResponse.h"

#include <cstdint>
#include <string>

namespace {

// Every string the reader gives is valid UTF-8 without surrogates.
bool ValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (lead >= 0x80 && lead < 0xC2)
            return false;
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80)
                return false;
        if (lead == 0xED && static_cast<uint8_t>(text[i + 1]) >= 0xA0)
            return false;
        i += length;
    }
    return true;
}

void Check(const TJsonValue& value) {
    if (value.Kind == TJsonKind::String && !ValidUtf8(value.Text))
        __builtin_trap();
    for (const auto& item : value.Items)
        Check(item);
    for (const auto& [key, member] : value.Members) {
        if (!ValidUtf8(key))
            __builtin_trap();
        Check(member);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto value = ParseJson(text))
        Check(*value);
    const int status = size > 0 && data[0] % 2 ? 400 : 200;
    const TTokenResult result =
        ReadTokenResponse(status, text, "REFRESH-SECRET", std::chrono::system_clock::now());
    // No answer, however bad, may carry a token into a text meant for the user.
    if (text.find("REFRESH-SECRET") == std::string::npos &&
        result.Error.find("REFRESH-SECRET") != std::string::npos)
        __builtin_trap();
    if (result.Outcome == TTokenOutcome::Granted && result.Tokens.AccessToken.empty())
        __builtin_trap();
    OAuthChallengeText(Base64Encode(text));
    return 0;
}
