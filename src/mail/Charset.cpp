// Bytes in a named charset to UTF-8, through iconv, with the UTF-8 and Windows-1252 fallbacks.
#include "mail/Charset.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <map>
#include <memory>

namespace {

// The printable characters Windows-1252 puts at 0x80-0x9F; the rest is Latin-1.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

const iconv_t NoConverter = reinterpret_cast<iconv_t>(-1);

// Opening a converter loads gconv modules; a check of thousands of messages in
// one charset should do that once per thread.
class TConverterCache {
  public:
    ~TConverterCache() { CloseAll(); }
    iconv_t Get(const std::string& name) {
        auto it = FOpen.find(name);
        if (it == FOpen.end()) {
            // A cache fed by message headers must not grow without bound.
            if (FOpen.size() >= 64)
                CloseAll();
            it = FOpen.emplace(name, iconv_open("UTF-8", name.c_str())).first;
        }
        return it->second;
    }

  private:
    void CloseAll() {
        for (auto& [name, cd] : FOpen)
            if (cd != NoConverter)
                iconv_close(cd);
        FOpen.clear();
    }

    std::map<std::string, iconv_t> FOpen;
};

std::string CanonicalName(std::string_view charset) {
    std::string name;
    for (char c : charset) {
        // Names are short ASCII words; anything else is no charset iconv should see.
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F ||
            c == '/' || name.size() >= 40)
            return {};
        name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return name;
}

bool IsUtf8Name(const std::string& name) {
    return name == "UTF-8" || name == "UTF8";
}

// Mail labelled ASCII often carries 8-bit text; such a label tells nothing.
bool IsAsciiName(const std::string& name) {
    return name == "US-ASCII" || name == "ASCII";
}

// ISO-8859-1 maps every byte to the code point of the same value; no converter needed.
bool IsLatin1Name(const std::string& name) {
    return name == "ISO-8859-1" || name == "ISO8859-1" || name == "ISO_8859-1" || name == "LATIN1";
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out(bytes.size() * 2, '\0');
    char* o = out.data();
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            *o++ = c;
        } else {
            *o++ = static_cast<char>(0xC0 | (u >> 6));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

// The end of the run of ASCII bytes from i, eight at a time while it lasts.
size_t AsciiRunEnd(std::string_view text, size_t i) {
    while (i + 8 <= text.size()) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ull)
            break;
        i += 8;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80)
        ++i;
    return i;
}

// Charsets whose ASCII-looking bytes may still need converting.
bool IsStatefulOrWide(const std::string& name) {
    for (const char* prefix : {"ISO-2022", "ISO2022", "UTF-7", "UTF7", "UTF-16", "UTF16", "UTF-32",
                               "UTF32", "UCS", "HZ"})
        if (name.starts_with(prefix))
            return true;
    return false;
}

// Bytes an invalid sequence at text[i] spans: its lead byte and the continuation
// bytes that could still have begun a valid sequence, so one fault gives one U+FFFD.
size_t InvalidSpan(std::string_view text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 1;
    size_t k = 1;
    while (k < n && i + k < text.size()) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        unsigned char low = 0x80, high = 0xBF;
        if (k == 1) {
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
            else if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        }
        if (b < low || b > high)
            break;
        ++k;
    }
    return k;
}

} // namespace

void AppendUtf8(std::string& out, char32_t code) {
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

size_t Utf8SequenceLength(std::string_view text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
        return 1;
    const size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 0;
    if (n == 0 || i + n > text.size())
        return 0;
    const auto c1 = static_cast<unsigned char>(text[i + 1]);
    // Overlong forms, surrogates and code points above U+10FFFF are not UTF-8.
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 > 0x8F))
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        i = AsciiRunEnd(text, i);
        if (i == text.size())
            break;
        const size_t n = Utf8SequenceLength(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string RepairUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t ascii = AsciiRunEnd(text, i);
        out.append(text.substr(i, ascii - i));
        i = ascii;
        if (i == text.size())
            break;
        const size_t n = Utf8SequenceLength(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            i += InvalidSpan(text, i);
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

char32_t Cp1252CodePoint(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? Cp1252High[byte - 0x80] : byte;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes)
        AppendUtf8(out, Cp1252CodePoint(c));
    return out;
}

std::string UndeclaredToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return Cp1252ToUtf8(bytes);
}

bool CharsetToUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    const std::string name = CanonicalName(charset);
    if (name.empty())
        return false;
    if (IsAsciiName(name)) {
        out = UndeclaredToUtf8(bytes);
        return true;
    }
    if (IsUtf8Name(name)) {
        out = RepairUtf8(bytes);
        return true;
    }
    if (IsLatin1Name(name)) {
        out = Latin1ToUtf8(bytes);
        return true;
    }
    thread_local TConverterCache cache;
    const iconv_t cd = cache.Get(name);
    if (cd == NoConverter)
        return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string result;
    result.reserve(bytes.size() + bytes.size() / 4);
    // A bounded buffer: E2BIG below converts a long text in pieces.
    char buffer[16384];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (true) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = rc == static_cast<size_t>(-1) ? errno : 0;
        result.append(buffer, sizeof(buffer) - outLeft);
        if (error == E2BIG)
            continue;
        if (error == EILSEQ) {
            // One bad byte costs one replacement character; the rest still counts.
            result += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
            continue;
        }
        if (error == EINVAL) {
            // The text ends inside a character.
            result += "\xEF\xBF\xBD";
            break;
        }
        if (error != 0 || inLeft == 0)
            break;
    }
    // Some converters pass bytes through unchecked; the result must be UTF-8 all the same.
    out = IsValidUtf8(result) ? std::move(result) : RepairUtf8(result);
    return true;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string out;
    const bool ascii = AsciiRunEnd(bytes, 0) == bytes.size();
    if (ascii && !IsStatefulOrWide(CanonicalName(charset)))
        return std::string(bytes);
    if (!charset.empty() && CharsetToUtf8(bytes, charset, out))
        return out;
    return UndeclaredToUtf8(bytes);
}
