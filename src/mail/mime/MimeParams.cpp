// Parameters of a Content-Type or Content-Disposition line, extended and continued ones included.
#include "mime/MimeParams.h"

#include "mime/Charset.h"
#include "mime/TextChars.h"

#include <algorithm>

namespace {

std::string PercentDecode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::map<std::string, std::string> HeaderParameters(std::string_view line) {
    std::map<std::string, std::string> params;
    size_t i = line.find(';');
    while (i != std::string_view::npos && i < line.size()) {
        ++i;
        while (i < line.size() &&
               (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        std::string name;
        while (i < line.size() && line[i] != '=' && line[i] != ';')
            if (line[i] != ' ' && line[i] != '\t')
                name += AsciiLower(line[i++]);
            else
                ++i;
        if (i >= line.size() || line[i] == ';')
            continue;
        ++i; // '='
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        std::string value;
        if (i < line.size() && line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size())
                    ++i;
                value += line[i];
            }
            i = line.find(';', i);
        } else {
            const size_t end = std::min(line.find(';', i), line.size());
            value = std::string(line.substr(i, end - i));
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t' ||
                                      value.back() == '\r' || value.back() == '\n'))
                value.pop_back();
            i = end;
        }
        params.emplace(std::move(name), std::move(value));
    }
    return params;
}

std::string ExtendedParameter(std::string_view line, const std::string& name) {
    if (line.empty())
        return {};
    const std::map<std::string, std::string> params = HeaderParameters(line);
    std::string bytes, charset;
    auto takeCharset = [&charset](std::string_view value) {
        const size_t q1 = value.find('\'');
        const size_t q2 = q1 == std::string_view::npos ? q1 : value.find('\'', q1 + 1);
        if (q2 == std::string_view::npos)
            return value;
        charset = std::string(value.substr(0, q1));
        return value.substr(q2 + 1);
    };
    if (auto it = params.find(name + "*"); it != params.end()) {
        bytes = PercentDecode(takeCharset(it->second));
    } else {
        // Continuations count from 0 without gaps; "*" marks a percent-encoded piece.
        for (int n = 0;; ++n) {
            const std::string key = name + "*" + std::to_string(n);
            std::string_view piece;
            if (auto plain = params.find(key); plain != params.end()) {
                bytes += plain->second;
                continue;
            }
            auto extended = params.find(key + "*");
            if (extended == params.end())
                break;
            piece = extended->second;
            if (n == 0)
                piece = takeCharset(piece);
            bytes += PercentDecode(piece);
        }
    }
    if (bytes.empty())
        return {};
    return ToUtf8(bytes, charset);
}
