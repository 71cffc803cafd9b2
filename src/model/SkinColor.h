// Colour values of skin.ini ("R G B") and the error a skin load stops with.
#pragma once

#include <stdexcept>
#include <string>

// A skin file that cannot be read or a value that is not a number; LoadSkin
// returns its text.
class ESkinError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "R G B" (single spaces, decimal or "$" hexadecimal, low 8 bits of each,
// anything after a third space ignored) as red + 256 * green + 65536 * blue.
// Throws ESkinError for a piece that is not a number or fewer than three pieces.
int ParseSkinColor(const std::string& text);
