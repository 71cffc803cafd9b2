// Bytes in a named charset to UTF-8, through iconv, with the UTF-8 and Windows-1252 fallbacks.
#include "mime/Charset.h"

#include <algorithm>
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

struct TCharsetAlias {
    std::string_view Label; // lower case, letters and digits only
    const char* Name;       // as iconv knows it
};

// Labels of the Encoding Standard that browsers and mailers write, and the codec names
// Python's email package writes, with iconv's name for what they mean. Labels iconv
// knows are here too where everyday mail means a wider charset: Latin-1 text holds
// Windows-1252 quotes, and glibc's SHIFT_JIS reads a backslash as a yen sign.
constexpr TCharsetAlias CharsetAliases[] = {
    {"ansix341968", "US-ASCII"},
    {"ascii", "US-ASCII"},
    {"big5", "BIG5-HKSCS"},
    {"big5hkscs", "BIG5-HKSCS"},
    {"big5tw", "BIG5-HKSCS"},
    {"chinese", "GB18030"},
    {"cnbig5", "BIG5-HKSCS"},
    {"cp819", "WINDOWS-1252"},
    {"csbig5", "BIG5-HKSCS"},
    {"cseuckr", "CP949"},
    {"cseucpkdfmtjapanese", "EUC-JP"},
    {"csgb2312", "GB18030"},
    {"csiso2022jp", "ISO-2022-JP"},
    {"csiso2022kr", "ISO-2022-KR"},
    {"csiso58gb231280", "GB18030"},
    {"csiso88596e", "ISO-8859-6"},
    {"csiso88596i", "ISO-8859-6"},
    {"csiso88598e", "ISO-8859-8"},
    {"csiso88598i", "ISO-8859-8"},
    {"csisolatin1", "WINDOWS-1252"},
    {"csisolatin5", "WINDOWS-1254"},
    {"csisolatin9", "ISO-8859-15"},
    {"csksc56011987", "CP949"},
    {"csshiftjis", "WINDOWS-31J"},
    {"csunicode", "UTF-16LE"},
    {"dos874", "CP874"},
    {"euccn", "GB18030"},
    {"eucgb2312cn", "GB18030"},
    {"eucjp", "EUC-JP"},
    {"euckr", "CP949"},
    {"gb2312", "GB18030"},
    {"gb231280", "GB18030"},
    {"gbk", "GB18030"},
    {"ibm819", "WINDOWS-1252"},
    {"iso10646ucs2", "UTF-16LE"},
    {"iso2022jp", "ISO-2022-JP"},
    {"iso2022kr", "ISO-2022-KR"},
    {"iso88591", "WINDOWS-1252"},
    {"iso885911", "CP874"},
    {"iso885911987", "WINDOWS-1252"},
    {"iso88596e", "ISO-8859-6"},
    {"iso88596i", "ISO-8859-6"},
    {"iso88598e", "ISO-8859-8"},
    {"iso88598i", "ISO-8859-8"},
    {"iso88599", "WINDOWS-1254"},
    {"iso885991989", "WINDOWS-1254"},
    {"isoir100", "WINDOWS-1252"},
    {"isoir148", "WINDOWS-1254"},
    {"isoir149", "CP949"},
    {"isoir58", "GB18030"},
    {"koi", "KOI8-R"},
    {"korean", "CP949"},
    {"ksc5601", "CP949"},
    {"ksc56011987", "CP949"},
    {"ksc56011989", "CP949"},
    {"l1", "WINDOWS-1252"},
    {"l5", "WINDOWS-1254"},
    {"l9", "ISO-8859-15"},
    {"latin1", "WINDOWS-1252"},
    {"latin5", "WINDOWS-1254"},
    {"logical", "ISO-8859-8"},
    {"macroman", "MACINTOSH"},
    {"ms932", "WINDOWS-31J"},
    {"mskanji", "WINDOWS-31J"},
    {"shiftjis", "WINDOWS-31J"},
    {"sjis", "WINDOWS-31J"},
    {"suneugreek", "ISO-8859-7"},
    {"tis620", "CP874"},
    {"u8", "UTF-8"},
    {"unicode", "UTF-16LE"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"unicodefeff", "UTF-16LE"},
    {"unicodefffe", "UTF-16BE"},
    {"usascii", "US-ASCII"},
    {"utf8", "UTF-8"},
    {"visual", "ISO-8859-8"},
    {"windows31j", "WINDOWS-31J"},
    {"windows874", "CP874"},
    {"windows949", "CP949"},
    {"xcp1250", "WINDOWS-1250"},
    {"xcp1251", "WINDOWS-1251"},
    {"xcp1252", "WINDOWS-1252"},
    {"xcp1253", "WINDOWS-1253"},
    {"xcp1254", "WINDOWS-1254"},
    {"xcp1255", "WINDOWS-1255"},
    {"xcp1256", "WINDOWS-1256"},
    {"xcp1257", "WINDOWS-1257"},
    {"xcp1258", "WINDOWS-1258"},
    {"xeucjp", "EUC-JP"},
    {"xgbk", "GB18030"},
    {"xmaccyrillic", "MAC-CYRILLIC"},
    {"xmacroman", "MACINTOSH"},
    {"xmacukrainian", "MAC-CYRILLIC"},
    {"xsjis", "WINDOWS-31J"},
    {"xunicode20utf8", "UTF-8"},
    {"xxbig5", "BIG5-HKSCS"},
};
static_assert(std::ranges::is_sorted(CharsetAliases, {}, &TCharsetAlias::Label));

bool IsBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The name in upper case with everything but letters and digits dropped ("ISO8859_15"
// gives "ISO885915"), a form iconv also knows for most names.
std::string Squeezed(std::string_view name) {
    std::string out;
    for (const char c : name)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
            out += c;
        else if (c >= 'a' && c <= 'z')
            out += static_cast<char>(c - 32);
    return out;
}

// The label as iconv should see it: surrounding blanks dropped, upper case, a known
// alias replaced by its charset's name. Empty for text that is no charset label.
std::string ResolvedName(std::string_view charset) {
    while (!charset.empty() && IsBlankByte(charset.front()))
        charset.remove_prefix(1);
    while (!charset.empty() && IsBlankByte(charset.back()))
        charset.remove_suffix(1);
    std::string name;
    for (char c : charset) {
        // Names are short ASCII words; anything else is no charset iconv should see.
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F ||
            c == '/' || name.size() >= 40)
            return {};
        name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    std::string key = Squeezed(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    const auto alias = std::ranges::lower_bound(CharsetAliases, key, {}, &TCharsetAlias::Label);
    if (alias != std::end(CharsetAliases) && alias->Label == key)
        return alias->Name;
    return name;
}

bool IsUtf8Name(const std::string& name) {
    return name == "UTF-8" || name == "UTF8";
}

// Mail labelled ASCII often carries 8-bit text; such a label tells nothing.
bool IsAsciiName(const std::string& name) {
    return name == "US-ASCII" || name == "ASCII";
}

// Converted without iconv: Latin-1 labels land here, and they are common.
bool IsCp1252Name(const std::string& name) {
    return name == "WINDOWS-1252" || name == "CP1252";
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

// Charsets whose ASCII-looking bytes may still need converting; name as Squeezed gives it.
bool IsStatefulOrWide(const std::string& name) {
    for (const char* prefix : {"ISO2022", "UTF7", "UTF16", "UTF32", "UCS", "HZ"})
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
    // At most three bytes per byte (U+20AC and the other 0x80-0x9F characters).
    std::string out(bytes.size() * 3, '\0');
    char* o = out.data();
    for (size_t i = 0; i < bytes.size();) {
        const size_t ascii = AsciiRunEnd(bytes, i);
        std::memcpy(o, bytes.data() + i, ascii - i);
        o += ascii - i;
        for (i = ascii; i < bytes.size() && static_cast<unsigned char>(bytes[i]) >= 0x80; ++i) {
            const char32_t code = Cp1252CodePoint(static_cast<unsigned char>(bytes[i]));
            if (code < 0x800) {
                *o++ = static_cast<char>(0xC0 | (code >> 6));
                *o++ = static_cast<char>(0x80 | (code & 0x3F));
            } else {
                *o++ = static_cast<char>(0xE0 | (code >> 12));
                *o++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (code & 0x3F));
            }
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

std::string UndeclaredToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    return Cp1252ToUtf8(bytes);
}

bool CharsetToUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    const std::string name = ResolvedName(charset);
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
    if (IsCp1252Name(name)) {
        out = Cp1252ToUtf8(bytes);
        return true;
    }
    thread_local TConverterCache cache;
    iconv_t cd = cache.Get(name);
    // Python's codec names: "iso8859_15", "koi8_u", "utf_16_le".
    if (cd == NoConverter && Squeezed(name) != name)
        cd = cache.Get(Squeezed(name));
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
    if (ascii && !IsStatefulOrWide(Squeezed(ResolvedName(charset))))
        return std::string(bytes);
    if (!charset.empty() && CharsetToUtf8(bytes, charset, out))
        return out;
    return UndeclaredToUtf8(bytes);
}
