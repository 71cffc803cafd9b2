// Header value tokens: plain, extended (with comments), quoted and plain values.
#include "mime/MimeTokens.h"

#include <cctype>

namespace {

bool IsStopChar(char c) {
    return c == ' ' || c == '\t' || c == ':' || c == ';' || c == '=';
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

void THeaderTokenizer::SkipBlanks() {
    while (FPos < FText.size() && FText[FPos] == ' ')
        ++FPos;
}

bool THeaderTokenizer::AtStop() const {
    return FPos >= FText.size() || IsStopChar(FText[FPos]);
}

// FPos stands on the stop character (or at the end).
void THeaderTokenizer::SkipAfterStop() {
    if (FStop == ' ' || FStop == '\t') {
        ++FPos;
        SkipBlanks();
        // "name :" and "type ;" still pass their separator, but the blank stays the stop.
        if (FPos < FText.size() &&
            (FText[FPos] == '\t' || FText[FPos] == ':' || FText[FPos] == ';' || FText[FPos] == '='))
            ++FPos;
    } else if (FStop != '\0') {
        ++FPos;
    }
    SkipBlanks();
}

void THeaderTokenizer::SkipWhite() {
    while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' ||
                                   FText[FPos] == '\r' || FText[FPos] == '\n'))
        ++FPos;
}

void THeaderTokenizer::EndItem() {
    FStop = FPos < FText.size() ? FText[FPos] : '\0';
    SkipAfterStop();
}

// FPos stands on the opening quote; an unclosed quote runs to the end of the line.
std::string THeaderTokenizer::QuotedText() {
    const size_t close = FText.find('"', FPos + 1);
    const size_t end = close == std::string_view::npos ? FText.size() : close;
    std::string text(FText.substr(FPos + 1, end - FPos - 1));
    FPos = close == std::string_view::npos ? FText.size() : close + 1;
    return text;
}

std::string THeaderTokenizer::Token() {
    SkipWhite();
    std::string token;
    while (!AtStop())
        token += Lower(FText[FPos++]);
    EndItem();
    return token;
}

std::string THeaderTokenizer::ExtendedToken() {
    SkipWhite();
    std::string token;
    int level = 0;
    for (; FPos < FText.size(); ++FPos) {
        const char c = FText[FPos];
        if (c == '(') {
            ++level;
        } else if (c == ')') {
            if (level > 0)
                --level;
        } else if (level == 0 && IsStopChar(c)) {
            break;
        } else {
            token += Lower(c);
        }
    }
    EndItem();
    return token;
}

std::string THeaderTokenizer::QuotedValue() {
    SkipBlanks();
    std::string value;
    if (FPos < FText.size() && FText[FPos] == '"') {
        value = QuotedText();
    } else {
        while (!AtStop())
            value += Lower(FText[FPos++]);
    }
    EndItem();
    return value;
}

std::string THeaderTokenizer::PlainValue() {
    SkipBlanks();
    const std::string value =
        FPos < FText.size() && FText[FPos] == '"' ? QuotedText() : std::string(FText.substr(FPos));
    FPos = FText.size();
    return value;
}

std::string StripAngles(std::string_view text) {
    if (text.size() > 1 && text.front() == '<' && text.back() == '>')
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}
