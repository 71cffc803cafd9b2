// What a token endpoint answered: the tokens, or why there are none.
#include "TokenResponse.h"

#include "IdToken.h"
#include "Json.h"
#include "net/ErrorCause.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

const char* const NoAnswer = "The sign-in server sent no usable answer";
const char* const Refused = "The sign-in server refused";
const char* const ExpiredText = "The sign-in has expired; sign in again";
const std::chrono::seconds LongestLifetime{366 * 24 * 3600};
const size_t MaxTokenLength = 16 * 1024;

TTokenResult Failure(std::string text) {
    TTokenResult result;
    result.Error = std::move(text);
    return result;
}

std::string StatusCause(int status) {
    return "HTTP " + std::to_string(status);
}

// An error code holds printable ASCII only; anything else would be no code the program knows.
std::string Printable(const std::string& text, size_t length = 60) {
    std::string out;
    for (char c : text.substr(0, length))
        out += c >= 0x20 && c < 0x7F ? c : '?';
    return out;
}

// Tokens go into SASL strings and the settings: visible ASCII only, so that none can break a
// line or a field there.
bool IsTokenText(const std::string& token) {
    return !token.empty() && token.size() <= MaxTokenLength &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Seconds of expires_in, a number or (as some servers send it) a string of digits.
std::optional<double> Lifetime(const TJsonValue& answer) {
    const TJsonValue* value = answer.Find("expires_in");
    if (!value || value->Kind == TJsonKind::Null)
        return static_cast<double>(DefaultLifetime.count());
    if (value->Kind == TJsonKind::Number)
        return value->Number;
    if (value->Kind == TJsonKind::String && !value->Text.empty() && value->Text.size() <= 9 &&
        std::all_of(value->Text.begin(), value->Text.end(),
                    [](char c) { return c >= '0' && c <= '9'; }))
        return std::stod(value->Text);
    return std::nullopt;
}

TTokenResult ErrorAnswer(const TJsonValue& answer) {
    const std::string code = Printable(*answer.StringAt("error"));
    if (code == "invalid_grant") {
        TTokenResult result = Failure(ExpiredText + std::string("."));
        result.Outcome = TTokenOutcome::SignInExpired;
        return result;
    }
    std::string cause = code;
    if (auto description = answer.StringAt("error_description"))
        cause += ": " + *description;
    return Failure(WithCause(Refused, cause) + ".");
}

} // namespace

TTokenResult ReadTokenResponse(int status, std::string_view body, const std::string& refreshToken,
                               std::chrono::system_clock::time_point now) {
    const auto answer = ParseJson(body);
    if (!answer || answer->Kind != TJsonKind::Object)
        return Failure(WithCause(NoAnswer, StatusCause(status)) + ".");
    if (answer->StringAt("error"))
        return ErrorAnswer(*answer);
    if (status != 200)
        return Failure(WithCause(NoAnswer, StatusCause(status)) + ".");

    const auto access = answer->StringAt("access_token");
    if (!access || !IsTokenText(*access))
        return Failure(WithCause(NoAnswer, "no usable access token") + ".");
    // Only a bearer token can be sent to the mail server.
    const auto type = answer->StringAt("token_type");
    if (answer->Find("token_type") && (!type || !EqualsNoCase(*type, "Bearer")))
        return Failure(WithCause(NoAnswer, "not a bearer token") + ".");
    const auto lifetime = Lifetime(*answer);
    if (!lifetime || std::isnan(*lifetime))
        return Failure(WithCause(NoAnswer, "unreadable lifetime") + ".");

    TTokenResult result;
    result.Outcome = TTokenOutcome::Granted;
    result.Tokens.AccessToken = *access;
    const auto refresh = answer->StringAt("refresh_token");
    if (refresh && !refresh->empty() && !IsTokenText(*refresh))
        return Failure(WithCause(NoAnswer, "no usable refresh token") + ".");
    result.Tokens.RefreshToken = refresh && !refresh->empty() ? *refresh : refreshToken;
    result.Tokens.Scope = Printable(answer->StringAt("scope").value_or(""), MaxTokenLength);
    result.Tokens.Account = IdTokenAccount(answer->StringAt("id_token").value_or(""));
    const double seconds = std::clamp(*lifetime, 0.0, static_cast<double>(LongestLifetime.count()));
    const auto usable = std::chrono::seconds(static_cast<long long>(seconds)) - ExpiryMargin;
    result.Tokens.Expires = now + std::max(usable, std::chrono::seconds(0));
    return result;
}
