// URLs of sign-in servers, and the percent-encoding of the values sent to them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct THttpUrl {
    bool Secure = true; // https
    std::string Host;   // without the brackets of an IPv6 address
    int Port = 443;
    std::string Target = "/"; // path and query
};

using TFormFields = std::vector<std::pair<std::string, std::string>>;

// Every byte but the unreserved characters (letters, digits, "-._~") as %XX.
std::string PercentEncode(std::string_view text);
// name=value pairs joined by "&", both percent-encoded.
std::string FormEncode(const TFormFields& fields);
// The fields of a query or form body; "+" is a space. nullopt for a bad %XX.
std::optional<TFormFields> FormDecode(std::string_view text);
// Whether host names this machine (localhost, 127.0.0.0/8, ::1).
bool IsLoopbackHost(const std::string& host);
// An https URL, or an http URL of a loopback host; nullopt for anything else (user info,
// a fragment, a bad port, another scheme).
std::optional<THttpUrl> ParseHttpUrl(std::string_view url);
