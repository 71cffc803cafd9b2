// Base64 encoding and decoding; every decoding rule ends in the one line decoder.
#include "Base64.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char UrlAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr uint8_t Invalid = 0xFF;
constexpr uint8_t Pad = 64;

constexpr std::array<uint8_t, 256> MakeBase64Table() {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = Invalid;
    for (int i = 0; i < 64; ++i)
        table[static_cast<uint8_t>(Alphabet[i])] = static_cast<uint8_t>(i);
    table['='] = Pad;
    return table;
}

constexpr std::array<uint8_t, 256> Base64Table = MakeBase64Table();

inline uint8_t ValueOf(char c) {
    return Base64Table[static_cast<uint8_t>(c)];
}

// For four characters at a time: table k holds each character's 6 bits already in their
// place within the 3 output bytes of a little-endian word; anything but an alphabet
// character (padding included) sets bit 24, so one compare checks a whole group.
constexpr uint32_t NotInGroup = 0x01FFFFFF;

struct TGroupTables {
    std::array<uint32_t, 256> Part[4];
};

constexpr TGroupTables MakeGroupTables() {
    TGroupTables t{};
    for (int c = 0; c < 256; ++c) {
        const uint32_t v = Base64Table[c];
        const bool ok = v < Pad;
        t.Part[0][c] = ok ? v << 2 : NotInGroup;
        t.Part[1][c] = ok ? (v >> 4) | ((v & 0xF) << 12) : NotInGroup;
        t.Part[2][c] = ok ? ((v >> 2) << 8) | ((v & 3) << 22) : NotInGroup;
        t.Part[3][c] = ok ? v << 16 : NotInGroup;
    }
    return t;
}

constexpr TGroupTables GroupTables = MakeGroupTables();

inline uint32_t Group(const uint8_t* in) {
    return GroupTables.Part[0][in[0]] | GroupTables.Part[1][in[1]] | GroupTables.Part[2][in[2]] |
           GroupTables.Part[3][in[3]];
}

std::string Encode(const std::string& bytes, const char* alphabet, bool pad) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t left = bytes.size() - at;
        const auto b0 = static_cast<unsigned char>(bytes[at]);
        const auto b1 = left > 1 ? static_cast<unsigned char>(bytes[at + 1]) : 0u;
        const auto b2 = left > 2 ? static_cast<unsigned char>(bytes[at + 2]) : 0u;
        out += alphabet[b0 >> 2];
        out += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        if (left > 1)
            out += alphabet[((b1 & 15) << 2) | (b2 >> 6)];
        else if (pad)
            out += '=';
        if (left > 2)
            out += alphabet[b2 & 63];
        else if (pad)
            out += '=';
    }
    return out;
}

} // namespace

std::string Base64Encode(const std::string& bytes) {
    return Encode(bytes, Alphabet, true);
}

std::string Base64UrlEncode(const std::string& bytes) {
    return Encode(bytes, UrlAlphabet, false);
}

size_t DecodeBase64Line(const char* line, size_t len, char* target) {
    const auto* in = reinterpret_cast<const uint8_t*>(line);
    auto* out = reinterpret_cast<uint8_t*>(target);
    size_t i = 0;
    while (i < len && (in[i] == ' ' || in[i] == '\t'))
        ++i;

    size_t o = 0;
    // Two groups at a time, each stored as a 4-byte word of which 3 bytes count. The
    // stores stay within the 8 characters just read (out + o <= line + i), so writing
    // over the line or before it is safe.
    // Blanks are not in the alphabet: these loops stop before the end of the text.
    if constexpr (std::endian::native == std::endian::little) {
        while (i + 8 <= len) {
            const uint32_t x = Group(in + i), y = Group(in + i + 4);
            if ((x | y) > 0x00FFFFFF)
                break;
            std::memcpy(out + o, &x, 4);
            std::memcpy(out + o + 3, &y, 4);
            o += 6;
            i += 8;
        }
    }
    // Whole groups of alphabet characters.
    while (i + 4 <= len) {
        const uint8_t a = Base64Table[in[i]], b = Base64Table[in[i + 1]],
                      c = Base64Table[in[i + 2]], d = Base64Table[in[i + 3]];
        if ((a | b | c | d) >= Pad)
            break;
        const uint32_t v = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | d;
        out[o++] = static_cast<uint8_t>(v >> 16);
        out[o++] = static_cast<uint8_t>(v >> 8);
        out[o++] = static_cast<uint8_t>(v);
        i += 4;
    }
    // The text ends at the first blank after its start.
    size_t end = i;
    while (end < len && in[end] != ' ' && in[end] != '\t')
        ++end;

    // Padding, foreign characters and a short last group.
    uint8_t group[4];
    int n = 0;
    for (; i < end; ++i) {
        const uint8_t v = Base64Table[in[i]];
        if (v == Invalid || (v == Pad && n < 2))
            continue;
        group[n++] = v;
        if (n == 3 && v == Pad) {
            // "xx=" ends the group; its fourth character is not looked at.
            out[o++] = static_cast<uint8_t>((group[0] << 2) | (group[1] >> 4));
            if (i + 1 < end)
                ++i;
            n = 0;
        } else if (n == 4) {
            out[o++] = static_cast<uint8_t>((group[0] << 2) | (group[1] >> 4));
            out[o++] = static_cast<uint8_t>((group[1] << 4) | (group[2] >> 2));
            if (group[3] != Pad)
                out[o++] = static_cast<uint8_t>((group[2] << 6) | group[3]);
            n = 0;
        }
    }
    if (n >= 2)
        out[o++] = static_cast<uint8_t>((group[0] << 2) | (group[1] >> 4));
    if (n == 3)
        out[o++] = static_cast<uint8_t>((group[1] << 4) | (group[2] >> 2));
    return o;
}

std::optional<std::string> Base64DecodeStrict(std::string_view text) {
    size_t data = 0;
    while (data < text.size() && ValueOf(text[data]) < Pad)
        ++data;
    for (size_t i = data; i < text.size(); ++i)
        if (text[i] != '=')
            return std::nullopt;
    // Nothing but alphabet characters reaches the line decoder, so nothing is skipped; a
    // last group of one character gives no byte.
    std::string out(data / 4 * 3 + 2, '\0');
    out.resize(DecodeBase64Line(text.data(), data, out.data()));
    return out;
}

std::string Base64Decode(const std::string& text) {
    if (text.size() % 4 != 0)
        throw EConvertError("Base64: Incorrect string format");
    // Spelled for the line decoder: a foreign character becomes "/" (63), and only the last
    // group keeps its padding, "xy=" meaning one byte whatever follows.
    std::string spelled = text;
    const size_t last = text.size() < 4 ? 0 : text.size() - 4;
    for (size_t i = 0; i < spelled.size(); ++i) {
        const bool padding = i >= last + 2 && text[i] == '=';
        if (!padding && ValueOf(text[i]) >= Pad)
            spelled[i] = '/';
    }
    if (!text.empty() && text[last + 2] == '=')
        spelled[last + 3] = '=';
    std::string out(text.size() / 4 * 3, '\0');
    out.resize(DecodeBase64Line(spelled.data(), spelled.size(), out.data()));
    return out;
}
