// THeaderTokenizer: reads tokens, parameter names and values from one header value.
#pragma once

#include <string>
#include <string_view>

// Walks a header line from a position. Stop characters are the end of the
// line, blank, tab, ":", ";" and "="; Stop() tells which one ended the last
// item ('\0' for the end of the line).
class THeaderTokenizer {
  public:
    explicit THeaderTokenizer(std::string_view text, size_t position = 0)
        : FText(text), FPos(position) {}

    // Lower-cased text up to a stop character.
    std::string Token();
    // As Token, but text inside parentheses is taken whole (without the parentheses).
    std::string ExtendedToken();
    // Text in double quotes (case kept) or a lower-cased token.
    std::string QuotedValue();
    // Text in double quotes (case kept) or the whole rest of the line as written;
    // the stop character stays as it was.
    std::string PlainValue();

    std::string_view Rest() const { return FText.substr(FPos); }
    char Stop() const { return FStop; }

  private:
    void SkipBlanks();
    void SkipWhite();
    void EndItem();
    std::string QuotedText();
    void SkipAfterStop();
    bool AtStop() const;

    std::string_view FText;
    size_t FPos;
    char FStop = '\0';
};

// The text without one enclosing pair of angle brackets (only when longer than one character).
std::string StripAngles(std::string_view text);
