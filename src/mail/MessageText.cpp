// What a person sees of a message's parts: attachment names and the body text, as UTF-8.
#include "mail/MessageText.h"

#include "core/UGlobal.h"
#include "mail/Charset.h"
#include "mail/DisplayText.h"
#include "mail/UCustomIndy.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

struct TEntity {
    std::string_view Name;
    char32_t Code;
};

constexpr TEntity Entities[] = {
#include "mail/HtmlEntities.inc"
};

constexpr size_t MaxFileNameBytes = 255;
// A <meta> tag that names the charset sits in the head, near the start.
constexpr size_t MetaSearchBytes = 4096;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Parameters of a header line after its first ";": lower-cased names, values
// with quotes and backslash escapes removed. Later duplicates are ignored.
std::map<std::string, std::string> Parameters(std::string_view line) {
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
                name += Lower(line[i++]);
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

// The value of an extended parameter ("name*" or "name*0", "name*1*", ...), as
// UTF-8; empty when the line has none.
std::string ExtendedParameter(std::string_view line, const std::string& name) {
    if (line.empty())
        return {};
    const std::map<std::string, std::string> params = Parameters(line);
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

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

std::string HtmlText(std::string_view data, const std::string& charset) {
    const std::string meta = charset.empty() ? HtmlMetaCharset(data) : std::string();
    return ResolveEntities(StripHTML(ToUtf8(data, charset.empty() ? meta : charset)));
}

// A part's declared charset; the single body of a message declares it in the main header.
std::string CharsetOf(const TQBMessage& msg, const TQBMessagePart& part) {
    if (!part.Charset.empty() || !part.ContentType.empty())
        return part.Charset;
    return msg.Decoder.Charset;
}

} // namespace

std::string DisplayFileName(const TQBMessagePart& part) {
    std::string name = ExtendedParameter(part.DispositionLine, "filename");
    if (name.empty())
        name = ExtendedParameter(part.TypeLine, "name");
    if (name.empty())
        name = DecodeHeaderText(part.FileName.empty() ? part.Name : part.FileName);
    return SingleLine(name);
}

std::string SafeFileName(std::string_view displayName) {
    std::string name;
    for (size_t i = 0; i < displayName.size();) {
        const size_t n = Utf8SequenceLength(displayName, i);
        const unsigned char c = n ? static_cast<unsigned char>(displayName[i]) : 0;
        if (n == 0 || c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') {
            name += '_';
            i += n ? n : 1;
            continue;
        }
        if (name.size() + n > MaxFileNameBytes)
            break;
        name.append(displayName.substr(i, n));
        i += n;
    }
    // Leading dots hide a file or climb a folder; trailing blanks and dots confuse other systems.
    const size_t first = name.find_first_not_of(". ");
    name.erase(0, first == std::string::npos ? name.size() : first);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    name = name.substr(0, MaxFileNameBytes);
    return name.empty() ? "attachment" : name;
}

std::string HtmlMetaCharset(std::string_view html) {
    std::string head(html.substr(0, MetaSearchBytes));
    std::transform(head.begin(), head.end(), head.begin(), Lower);
    for (size_t meta = head.find("<meta"); meta != std::string::npos;
         meta = head.find("<meta", meta + 5)) {
        const size_t end = std::min(head.find('>', meta), head.size());
        const size_t at = head.find("charset", meta);
        if (at == std::string::npos || at > end)
            continue;
        size_t i = at + 7;
        while (i < end && (head[i] == ' ' || head[i] == '='))
            ++i;
        while (i < end && (head[i] == '"' || head[i] == '\''))
            ++i;
        size_t stop = i;
        while (stop < end && (std::isalnum(static_cast<unsigned char>(head[stop])) ||
                              Contains("-_.:", std::string_view(&head[stop], 1))))
            ++stop;
        if (stop > i)
            return head.substr(i, stop - i);
    }
    return {};
}

std::string ResolveEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t semi = text[i] == '&' ? text.find(';', i + 1) : std::string_view::npos;
        // Entity names are short; a distant ";" belongs to something else.
        if (semi == std::string_view::npos || semi - i > 12 || semi == i + 1) {
            out += text[i];
            continue;
        }
        const std::string_view body = text.substr(i + 1, semi - i - 1);
        char32_t code = 0;
        bool found = false;
        if (body[0] == '#') {
            const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
            const std::string_view digits = body.substr(hex ? 2 : 1);
            found = !digits.empty();
            for (char c : digits) {
                const int value = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
                if (value < 0) {
                    found = false;
                    break;
                }
                code = std::min<char32_t>(code * (hex ? 16 : 10) + value, 0x110000);
            }
            if (found && (code == 0 || code > 0x10FFFF))
                code = 0xFFFD;
            else if (found && code >= 0x80 && code < 0xA0)
                // Pages written on Windows number its 0x80-0x9F characters so.
                code = Cp1252CodePoint(static_cast<unsigned char>(code));
        } else {
            const auto* it = std::lower_bound(
                std::begin(Entities), std::end(Entities), body,
                [](const TEntity& e, std::string_view name) { return e.Name < name; });
            found = it != std::end(Entities) && it->Name == body;
            if (found)
                code = it->Code;
        }
        if (!found) {
            out += text[i];
            continue;
        }
        AppendUtf8(out, code);
        i = semi;
    }
    return out;
}

std::string DisplayBody(const TQBMessage& msg) {
    const TQBMessagePart* html = nullptr;
    const TQBMessagePart* plain = nullptr;
    for (const TQBMessagePart& part : msg.Parts) {
        if (Contains(part.ContentType, "text/html"))
            html = &part;
        else if (Contains(part.ContentType, "text/plain"))
            plain = &part;
    }
    std::string text;
    if (plain)
        text = ToUtf8(plain->Data, CharsetOf(msg, *plain));
    else if (html)
        text = HtmlText(html->Data, CharsetOf(msg, *html));
    if (!text.empty() || msg.Parts.empty())
        return text;
    const TQBMessagePart& first = msg.Parts.front();
    if (Contains(msg.Decoder.ContentType, "text/html"))
        return HtmlText(first.Data, CharsetOf(msg, first));
    return ToUtf8(first.Data, CharsetOf(msg, first));
}
