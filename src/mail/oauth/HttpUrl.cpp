// URLs of sign-in servers, and the percent-encoding of the values sent to them.
#include "HttpUrl.h"

#include <arpa/inet.h>
#include <cctype>
#include <charconv>
#include <netinet/in.h>

namespace {

bool IsUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Decode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+')
            out += ' ';
        else if (text[i] != '%')
            out += text[i];
        else {
            const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
            if (low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return out;
}

} // namespace

std::string PercentEncode(std::string_view text) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte))
            out += c;
        else {
            out += '%';
            out += Hex[byte >> 4];
            out += Hex[byte & 15];
        }
    }
    return out;
}

std::string FormEncode(const TFormFields& fields) {
    std::string out;
    for (const auto& [name, value] : fields) {
        if (!out.empty())
            out += '&';
        out += PercentEncode(name) + "=" + PercentEncode(value);
    }
    return out;
}

std::optional<TFormFields> FormDecode(std::string_view text) {
    TFormFields fields;
    while (!text.empty()) {
        const size_t end = std::min(text.find('&'), text.size());
        const std::string_view field = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (field.empty())
            continue;
        const size_t equals = std::min(field.find('='), field.size());
        auto name = Decode(field.substr(0, equals));
        auto value = Decode(field.substr(std::min(equals + 1, field.size())));
        if (!name || !value)
            return std::nullopt;
        fields.emplace_back(std::move(*name), std::move(*value));
    }
    return fields;
}

bool IsLoopbackHost(const std::string& host) {
    if (host == "localhost")
        return true;
    in_addr v4;
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6;
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::optional<THttpUrl> ParseHttpUrl(std::string_view url) {
    THttpUrl result;
    if (url.starts_with("https://"))
        url.remove_prefix(8);
    else if (url.starts_with("http://")) {
        url.remove_prefix(7);
        result.Secure = false;
        result.Port = 80;
    } else
        return std::nullopt;
    const size_t pathStart = std::min(url.find_first_of("/?#"), url.size());
    std::string_view authority = url.substr(0, pathStart);
    std::string_view rest = url.substr(pathStart);
    if (rest.find('#') != std::string_view::npos || authority.find('@') != std::string_view::npos)
        return std::nullopt;
    for (char c : rest)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
            return std::nullopt;
    std::string_view port;
    if (authority.starts_with("[")) {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        result.Host = std::string(authority.substr(1, close - 1));
        in6_addr v6;
        if (inet_pton(AF_INET6, result.Host.c_str(), &v6) != 1)
            return std::nullopt;
        authority.remove_prefix(close + 1);
        if (!authority.empty() && !authority.starts_with(":"))
            return std::nullopt;
        port = authority.substr(std::min<size_t>(1, authority.size()));
    } else {
        const size_t colon = std::min(authority.find(':'), authority.size());
        result.Host = std::string(authority.substr(0, colon));
        port = authority.substr(std::min(colon + 1, authority.size()));
        for (char c : result.Host)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
                return std::nullopt;
    }
    if (result.Host.empty())
        return std::nullopt;
    if (!port.empty()) {
        const auto parsed = std::from_chars(port.data(), port.data() + port.size(), result.Port);
        if (parsed.ec != std::errc() || parsed.ptr != port.data() + port.size() ||
            result.Port < 1 || result.Port > 65535)
            return std::nullopt;
    }
    // Tokens and secrets go in clear over http: only to this machine.
    if (!result.Secure && !IsLoopbackHost(result.Host))
        return std::nullopt;
    result.Target = rest.empty()            ? "/"
                    : rest.starts_with("?") ? "/" + std::string(rest)
                                            : std::string(rest);
    return result;
}
