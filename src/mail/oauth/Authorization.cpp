// The authorization request the browser opens, and the redirect that brings its answer back.
#include "Authorization.h"

#include "HttpUrl.h"
#include "net/ErrorCause.h"

#include <openssl/crypto.h>

namespace {

const char* const NotARedirect = "The browser sent no answer to the sign-in.";
const char* const WrongState = "The sign-in answer does not belong to this sign-in.";
const char* const NoCode = "The sign-in answer holds no authorization code.";
const char* const DeniedText = "The sign-in was not granted";

const std::string* Field(const TFormFields& fields, const std::string& name) {
    for (const auto& field : fields)
        if (field.first == name)
            return &field.second;
    return nullptr;
}

// Compared in constant time: the state guards against answers forged by another page.
bool SameState(const std::string& got, const std::string& expected) {
    return !expected.empty() && got.size() == expected.size() &&
           CRYPTO_memcmp(got.data(), expected.data(), got.size()) == 0;
}

TRedirect Invalid(const char* text) {
    TRedirect redirect;
    redirect.Error = text;
    return redirect;
}

} // namespace

std::string LoopbackRedirectUri(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

std::string AuthorizationUrl(const TAuthorizationRequest& request) {
    TFormFields fields = {{"response_type", "code"},
                          {"client_id", request.ClientId},
                          {"redirect_uri", request.RedirectUri},
                          {"scope", request.Scope},
                          {"state", request.State},
                          {"code_challenge", request.CodeChallenge},
                          {"code_challenge_method", "S256"}};
    if (!request.LoginHint.empty())
        fields.emplace_back("login_hint", request.LoginHint);
    const char joint = request.Endpoint.find('?') == std::string::npos ? '?' : '&';
    return request.Endpoint + joint + FormEncode(fields);
}

TRedirect ParseRedirect(const std::string& requestLine, const std::string& expectedState) {
    const size_t targetStart = requestLine.find(' ');
    const size_t targetEnd = requestLine.find(' ', targetStart + 1);
    if (!requestLine.starts_with("GET ") || targetEnd == std::string::npos)
        return Invalid(NotARedirect);
    const std::string target = requestLine.substr(4, targetEnd - 4);
    const size_t query = target.find('?');
    if (!target.starts_with("/") || query == std::string::npos)
        return Invalid(NotARedirect);
    const auto fields = FormDecode(target.substr(query + 1));
    if (!fields)
        return Invalid(NotARedirect);
    const std::string* state = Field(*fields, "state");
    if (!state || !SameState(*state, expectedState))
        return Invalid(WrongState);

    TRedirect redirect;
    if (const std::string* error = Field(*fields, "error")) {
        redirect.Outcome = TRedirectOutcome::Denied;
        std::string cause = *error;
        if (const std::string* description = Field(*fields, "error_description"))
            cause += ": " + *description;
        redirect.Error = WithCause(DeniedText, cause) + ".";
        return redirect;
    }
    const std::string* code = Field(*fields, "code");
    if (!code || code->empty())
        return Invalid(NoCode);
    redirect.Outcome = TRedirectOutcome::Code;
    redirect.Code = *code;
    return redirect;
}
