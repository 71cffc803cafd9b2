// Quoted-printable and uuencode decoders for one line at a time.
#include "mime/MimeEncodings.h"
#include "mime/TextChars.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Hexadecimal digit values, -1 for anything else.
constexpr std::array<int8_t, 256> HexTable = [] {
    std::array<int8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<int8_t>(HexValue(static_cast<char>(c)));
    return table;
}();

// Copies line[i...] to out[o...] up to the next "=" (or LF, when StopAtLineEnd) or the
// end. Escapes come every few words in accented text, too often for a memchr per run to
// pay: a block without a stop is stored whole (out + o <= line + i, so it lands where it
// was read or before), a block with one is merged into the target up to it, the rest
// of the target written back as it was since it may still hold input not yet read.
template <bool StopAtLineEnd>
inline void CopyToStop(const char* line, size_t len, char* out, size_t& i, size_t& o) {
#ifdef __SSE2__
    while (i + 16 <= len) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
        __m128i stops = _mm_cmpeq_epi8(block, _mm_set1_epi8('='));
        if constexpr (StopAtLineEnd)
            stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, _mm_set1_epi8('\n')));
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(stops));
        auto* at = reinterpret_cast<__m128i*>(out + o);
        if (hits == 0) {
            _mm_storeu_si128(at, block);
            o += 16;
            i += 16;
            continue;
        }
        const int run = std::countr_zero(hits);
        const __m128i before =
            _mm_cmplt_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                           _mm_set1_epi8(static_cast<char>(run)));
        const __m128i target = _mm_loadu_si128(at);
        _mm_storeu_si128(
            at, _mm_or_si128(_mm_and_si128(before, block), _mm_andnot_si128(before, target)));
        o += static_cast<size_t>(run);
        i += static_cast<size_t>(run);
        return;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        while (i + 8 <= len) {
            uint64_t word;
            std::memcpy(&word, line + i, 8);
            const uint64_t x = word ^ (ones * '=');
            uint64_t hits = (x - ones) & ~x & highs;
            if constexpr (StopAtLineEnd) {
                const uint64_t y = word ^ (ones * '\n');
                hits |= (y - ones) & ~y & highs;
            }
            if (hits == 0) {
                std::memcpy(out + o, &word, 8);
                o += 8;
                i += 8;
                continue;
            }
            // The lowest flagged byte is always a true stop.
            const size_t run = static_cast<size_t>(std::countr_zero(hits)) / 8;
            const uint64_t keep = (uint64_t{1} << (8 * run)) - 1;
            uint64_t target;
            std::memcpy(&target, out + o, 8);
            target = (word & keep) | (target & ~keep);
            std::memcpy(out + o, &target, 8);
            o += run;
            i += run;
            return;
        }
    }
    while (i < len && line[i] != '=' && (!StopAtLineEnd || line[i] != '\n'))
        out[o++] = line[i++];
}

// Whether a line ends at text[p]: an LF, or a CR before one.
inline bool AtLineEnd(const char* text, size_t p) {
    return text[p] == '\n' || (text[p] == '\r' && text[p + 1] == '\n');
}

} // namespace

size_t DecodeQuotedPrintableLine(const char* line, size_t len, char* out, bool& softBreak) {
    softBreak = false;
    size_t o = 0;
    for (size_t i = 0; i < len;) {
        CopyToStop<false>(line, len, out, i, o);
        if (i == len)
            break;
        size_t rest = i + 1;
        while (rest < len && (line[rest] == ' ' || line[rest] == '\t'))
            ++rest;
        if (rest == len) {
            // Blanks after a final "=" were added in transport.
            softBreak = true;
            break;
        }
        if (i + 2 < len) {
            const int high = HexTable[static_cast<uint8_t>(line[i + 1])],
                      low = HexTable[static_cast<uint8_t>(line[i + 2])];
            if (high >= 0 && low >= 0) {
                out[o++] = static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        } else {
            const int digit = HexTable[static_cast<uint8_t>(line[i + 1])];
            if (digit >= 0) {
                out[o++] = static_cast<char>(digit);
                i += 2;
                continue;
            }
        }
        out[o++] = '=';
        ++i;
    }
    return o;
}

size_t DecodeQuotedPrintableToLineEnd(const char* text, size_t size, char* out, size_t& lineEnd,
                                      bool& softBreak) {
    softBreak = false;
    size_t o = 0;
    for (size_t i = 0;;) {
        CopyToStop<true>(text, size, out, i, o);
        if (text[i] == '\n') {
            // The CR of a CR LF went out as the last byte of text.
            if (i > 0 && text[i - 1] == '\r')
                --o;
            lineEnd = i;
            return o;
        }
        // The common escape first: two hex digits are neither blanks nor a line end.
        const int high = HexTable[static_cast<uint8_t>(text[i + 1])];
        if (high >= 0) {
            const int low = HexTable[static_cast<uint8_t>(text[i + 2])];
            if (low >= 0) {
                out[o++] = static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        size_t rest = i + 1;
        while (text[rest] == ' ' || text[rest] == '\t')
            ++rest;
        if (AtLineEnd(text, rest)) {
            softBreak = true;
            lineEnd = text[rest] == '\n' ? rest : rest + 1;
            return o;
        }
        // text[i + 1] is inside the line; "=X" at its end gives X's value.
        if (high >= 0 && AtLineEnd(text, i + 2)) {
            out[o++] = static_cast<char>(high);
            i += 2;
            continue;
        }
        out[o++] = '=';
        ++i;
    }
}

size_t DecodeUULine(char* line, size_t len) {
    if (len == 0)
        return 0;
    auto six = [&](size_t k) -> uint32_t {
        return k < len ? (static_cast<uint8_t>(line[k]) - 32u) & 63u : 0u;
    };
    const size_t count = six(0);
    size_t o = 0;
    for (size_t i = 1; o < count && i < len; i += 4) {
        const uint32_t v = (six(i) << 18) | (six(i + 1) << 12) | (six(i + 2) << 6) | six(i + 3);
        const char bytes[3] = {static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                               static_cast<char>(v)};
        for (int k = 0; k < 3 && o < count; ++k)
            line[o++] = bytes[k];
    }
    return o;
}
