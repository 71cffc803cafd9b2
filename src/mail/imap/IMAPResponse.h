// IMAP server responses: framing of lines and literals, and the parser over a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A literal's bytes, read apart from the line that announced it.
struct TIMAPLiteral {
    size_t End = 0;    // offset in the joined line just past its "{n}"
    std::string Bytes; // what was kept of it
    bool Cut = false;  // Bytes holds only the start of the literal
};

// One response as read from the wire: its lines joined without CR LF, literals apart.
struct TIMAPRawResponse {
    std::string Line;
    std::vector<TIMAPLiteral> Literals;
};

// A value of a response: atom (numbers and flags too), string (quoted or literal), NIL or list.
struct TIMAPItem {
    enum class TKind { Atom, String, Nil, List };
    TKind Kind = TKind::Atom;
    std::string Text;
    bool Cut = false; // a literal kept in part
    std::vector<TIMAPItem> Items;

    bool IsAtom(std::string_view name) const; // compared without case
    // The value as a number; false when it is not one or does not fit 32 bits.
    bool Number(uint32_t& value) const;
};

struct TIMAPResponse {
    enum class TKind { Untagged, Tagged, Continuation };
    TKind Kind = TKind::Untagged;
    std::string Tag;
    // Upper case: OK, NO, BAD, BYE, PREAUTH for a status; else the data's name (EXISTS, FETCH,
    // CAPABILITY, SEARCH ...).
    std::string Name;
    bool HasNumber = false; // "* 5 EXISTS"
    uint32_t Number = 0;
    std::string Code;             // the bracketed response code of a status, without brackets
    std::string Text;             // a status's or continuation's text
    std::vector<TIMAPItem> Items; // the data after the name

    bool IsStatus() const;
};

// The size announced by a "{n}" or "{n+}" that ends line; false when the line ends otherwise.
bool LiteralSizeAtEnd(std::string_view line, uint64_t& size);

// Throws EMailError naming what is wrong; raw's literals are moved into the result.
TIMAPResponse ParseIMAPResponse(TIMAPRawResponse&& raw);

// Frames the first whole response of bytes into raw, literals kept whole; returns the bytes it
// took, 0 when bytes hold no whole response.
size_t SplitIMAPResponse(std::string_view bytes, TIMAPRawResponse& raw);

// The words of a capability list or response code, upper case.
std::vector<std::string> IMAPWords(std::string_view text);
