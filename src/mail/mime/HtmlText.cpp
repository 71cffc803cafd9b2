// Text of an HTML body: its <meta> charset, its tags stripped, its character entities resolved.
#include "mime/HtmlText.h"

#include "core/Global.h"
#include "mime/Charset.h"
#include "mime/TextChars.h"

#include <algorithm>
#include <cctype>

namespace {

struct TEntity {
    std::string_view Name;
    char32_t Code;
};

constexpr TEntity Entities[] = {
#include "mime/HtmlEntities.inc"
};

// A <meta> tag that names the charset sits in the head, near the start.
constexpr size_t MetaSearchBytes = 4096;

} // namespace

std::string HtmlMetaCharset(std::string_view html) {
    std::string head(html.substr(0, MetaSearchBytes));
    std::transform(head.begin(), head.end(), head.begin(), AsciiLower);
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

std::string HtmlText(std::string_view data, const std::string& charset) {
    const std::string meta = charset.empty() ? HtmlMetaCharset(data) : std::string();
    return ResolveEntities(StripHTML(ToUtf8(data, charset.empty() ? meta : charset)));
}
