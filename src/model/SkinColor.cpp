// Colour values of skin.ini ("R G B") and the error a skin load stops with.
#include "model/SkinColor.h"

#include "core/Global.h"

#include <charconv>

namespace {

int ParseColorPiece(const std::string& piece) {
    const char* first = piece.data();
    const char* last = first + piece.size();
    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '-' || *first == '+'))
        ++first;
    int base = 10;
    if (first != last && *first == '$') {
        base = 16;
        ++first;
    }
    unsigned long long value = 0; // unsigned: no second sign is accepted
    const auto [end, error] = std::from_chars(first, last, value, base);
    const bool fits = base == 16 ? value <= 0xFFFFFFFFULL : value <= 0x7FFFFFFFULL + negative;
    if (first == last || error != std::errc() || end != last || !fits)
        throw ESkinError("'" + piece + "' is not a valid integer value");
    const auto magnitude = static_cast<long long>(value);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

} // namespace

int ParseSkinColor(const std::string& text) {
    const TSplitArray pieces = Split(text, " ");
    if (pieces.size() < 3)
        throw ESkinError("'" + text + "' is not a valid colour value");
    const int red = ParseColorPiece(pieces[0]) & 0xFF;
    const int green = ParseColorPiece(pieces[1]) & 0xFF;
    const int blue = ParseColorPiece(pieces[2]) & 0xFF;
    return red + 256 * green + 65536 * blue;
}
