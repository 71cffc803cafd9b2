// Header values as a person reads them: encoded words decoded, display names, fields on one line.
#include "mime/DisplayText.h"

#include "core/Base64.h"
#include "mime/Charset.h"
#include "mime/TextChars.h"

#include <algorithm>
#include <optional>

namespace {

constexpr size_t MaxCharsetLength = 64;
// Far above the 75 characters a word should have; real mailers exceed that.
constexpr size_t MaxWordLength = 4096;

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "_" is a blank; "=XY" a byte; an "=" without two hex digits stays as it is.
std::string DecodeQ(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

struct TEncodedWord {
    size_t End = 0;      // just past "?="
    std::string Charset; // without a language suffix
    std::string Bytes;   // after B or Q decoding
};

// The encoded word starting at raw[start] ("=?"), if it is one whose charset iconv knows.
std::optional<TEncodedWord> ReadEncodedWord(std::string_view raw, size_t start) {
    const size_t q1 = raw.find('?', start + 2);
    if (q1 == std::string_view::npos || q1 - start > MaxCharsetLength || q1 + 3 >= raw.size() ||
        raw[q1 + 2] != '?')
        return std::nullopt;
    const char coding = raw[q1 + 1];
    size_t end = q1 + 3;
    while (end + 1 < raw.size() && !(raw[end] == '?' && raw[end + 1] == '=')) {
        // Bounded, so that a value full of "=?" costs linear time.
        if (IsWhite(raw[end]) || end - q1 > MaxWordLength)
            return std::nullopt;
        ++end;
    }
    if (end + 1 >= raw.size())
        return std::nullopt;
    std::string_view charset = raw.substr(start + 2, q1 - start - 2);
    charset = charset.substr(0, charset.find('*'));
    if (charset.empty())
        return std::nullopt;
    const std::string_view text = raw.substr(q1 + 3, end - q1 - 3);
    TEncodedWord word;
    word.End = end + 2;
    word.Charset = std::string(charset);
    if (coding == 'B' || coding == 'b') {
        std::optional<std::string> bytes = Base64DecodeStrict(text);
        if (!bytes)
            return std::nullopt;
        word.Bytes = std::move(*bytes);
    } else if (coding == 'Q' || coding == 'q') {
        word.Bytes = DecodeQ(text);
    } else {
        return std::nullopt;
    }
    std::string probe;
    if (!CharsetToUtf8("", word.Charset, probe))
        return std::nullopt;
    return word;
}

bool SameCharset(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20))
            return false;
    return true;
}

bool IsRightToLeft(char32_t c) {
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
           (c >= 0xFE70 && c <= 0xFEFF) || (c >= 0x10800 && c <= 0x10FFF) ||
           (c >= 0x1E800 && c <= 0x1EFFF);
}

char32_t CodePointAt(std::string_view text, size_t i, size_t n) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (n == 1)
        return c;
    char32_t code = c & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k)
        code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return code;
}

constexpr char32_t FirstStrongIsolate = 0x2068, PopIsolate = 0x2069;
constexpr std::string_view IsolateMark = "\xE2\x81\xA8", PopMark = "\xE2\x81\xA9";

bool IsDirectionControl(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Whether an isolate opened just before utf8[from] is closed before any other direction
// character. Each call reads only up to the next one, so a text full of them costs linear time.
bool IsolateCloses(std::string_view utf8, size_t from) {
    for (size_t i = from; i < utf8.size();) {
        const size_t n = Utf8SequenceLength(utf8, i);
        if (n == 0) {
            ++i;
            continue;
        }
        const char32_t c = CodePointAt(utf8, i, n);
        if (IsDirectionControl(c))
            return c == PopIsolate;
        i += n;
    }
    return false;
}

} // namespace

std::string DecodeHeaderText(std::string_view raw) {
    if (raw.find("=?") == std::string_view::npos)
        return UndeclaredToUtf8(raw);
    std::string out;
    out.reserve(raw.size());
    // Adjacent words in one charset are joined before conversion: mailers split
    // multi-byte characters and ISO-2022 shift states across words.
    std::string pendingBytes, pendingCharset;
    auto flush = [&] {
        if (pendingCharset.empty())
            return;
        std::string text;
        CharsetToUtf8(pendingBytes, pendingCharset, text);
        out += text;
        pendingBytes.clear();
        pendingCharset.clear();
    };
    size_t plainStart = 0;
    size_t pos = 0;
    bool afterWord = false;
    while ((pos = raw.find("=?", pos)) != std::string_view::npos) {
        std::optional<TEncodedWord> word = ReadEncodedWord(raw, pos);
        if (!word) {
            pos += 2;
            continue;
        }
        const std::string_view between = raw.substr(plainStart, pos - plainStart);
        bool onlyWhite = true;
        for (char c : between)
            onlyWhite = onlyWhite && IsWhite(c);
        if (!(afterWord && onlyWhite)) {
            flush();
            out += UndeclaredToUtf8(between);
        } else if (!SameCharset(pendingCharset, word->Charset)) {
            flush();
        }
        pendingCharset = word->Charset;
        pendingBytes += word->Bytes;
        afterWord = true;
        pos = plainStart = word->End;
    }
    flush();
    out += UndeclaredToUtf8(raw.substr(plainStart));
    return out;
}

std::string DisplayName(std::string_view raw) {
    size_t first = 0, last = raw.size();
    while (first < last && IsWhite(raw[first]))
        ++first;
    while (last > first && IsWhite(raw[last - 1]))
        --last;
    return DecodeHeaderText(raw.substr(first, last - first));
}

std::string ContactText(std::string_view rawName, std::string_view address) {
    const std::string name = SingleLine(DisplayName(rawName));
    const std::string shownAddress = SingleLine(DecodeHeaderText(address));
    return name.empty() ? shownAddress : name + " (" + shownAddress + ")";
}

std::string SingleLine(std::string_view utf8) {
    std::string out;
    out.reserve(std::min(utf8.size(), MaxLineBytes) + 2 * IsolateMark.size());
    size_t kept = 0; // bytes of text, without the isolates' marks
    bool rightToLeft = false, isolated = false;
    // False, keeping nothing, when piece would pass the limit: the text ends there.
    auto keep = [&](std::string_view piece) {
        if (kept + piece.size() > MaxLineBytes)
            return false;
        kept += piece.size();
        out += piece;
        return true;
    };
    bool room = true;
    for (size_t i = 0; i < utf8.size() && room;) {
        const size_t n = Utf8SequenceLength(utf8, i);
        if (n == 0) {
            room = keep("\xEF\xBF\xBD");
            ++i;
            continue;
        }
        const char32_t c = CodePointAt(utf8, i, n);
        if (c == '\r' || c == '\n') {
            // A folded header line: the break goes, the blank that follows stays.
            const size_t next = i + 1 + (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n');
            if (!(next < utf8.size() && (utf8[next] == ' ' || utf8[next] == '\t')))
                room = keep(" ");
            i = next;
            continue;
        }
        i += n;
        if (c == '\t' || c == 0x2028 || c == 0x2029) {
            room = keep(" ");
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            continue;
        } else if (c == FirstStrongIsolate && !isolated && IsolateCloses(utf8, i)) {
            out += IsolateMark;
            isolated = true;
        } else if (c == PopIsolate && isolated) {
            out += PopMark;
            isolated = false;
        } else if (IsDirectionControl(c)) {
            continue;
        } else {
            room = keep(utf8.substr(i - n, n));
            // Right-to-left text inside a kept isolate is isolated already.
            rightToLeft = rightToLeft || (room && !isolated && IsRightToLeft(c));
        }
    }
    if (isolated)
        out += PopMark; // the limit cut the isolate short
    if (rightToLeft)
        return std::string(IsolateMark) + out + std::string(PopMark);
    return out;
}
