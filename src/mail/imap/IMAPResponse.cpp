// IMAP server responses: framing of lines and literals, and the parser over a byte buffer.
#include "IMAPResponse.h"

#include "net/MailError.h"

#include <algorithm>
#include <cctype>

namespace {

// Deeper nesting than any real response, low enough for the stack.
const int MaxDepth = 64;

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

bool IsAtomChar(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7f && c != '(' && c != ')' && c != '"';
}

class TParser {
  public:
    TParser(const std::string& line, std::vector<TIMAPLiteral>& literals)
        : FLine(line), FLiterals(literals) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw EMailError("Unreadable IMAP response (" + what + "): \"" + FLine.substr(0, 200) +
                         "\"");
    }

    bool AtEnd() const { return FPos >= FLine.size(); }
    char Peek() const { return AtEnd() ? '\0' : FLine[FPos]; }

    void SkipSpaces() {
        while (!AtEnd() && FLine[FPos] == ' ')
            ++FPos;
    }

    void ExpectSpace() {
        if (Peek() != ' ')
            Fail("a space is missing");
        SkipSpaces();
    }

    std::string Word() {
        size_t start = FPos;
        while (!AtEnd() && IsAtomChar(FLine[FPos]) && FLine[FPos] != '[')
            ++FPos;
        if (FPos == start)
            Fail("a word is missing");
        return FLine.substr(start, FPos - start);
    }

    std::string Rest() {
        std::string rest = FLine.substr(std::min(FPos, FLine.size()));
        FPos = FLine.size();
        return rest;
    }

    // "[code]" when one stands here, without the brackets.
    std::string Code() {
        if (Peek() != '[')
            return "";
        size_t close = FLine.find(']', FPos);
        if (close == std::string::npos)
            Fail("a response code does not end");
        std::string code = FLine.substr(FPos + 1, close - FPos - 1);
        FPos = close + 1;
        return code;
    }

    TIMAPItem Item(int depth) {
        if (depth > MaxDepth)
            Fail("lists nested too deep");
        TIMAPItem item;
        char c = Peek();
        if (c == '(') {
            item.Kind = TIMAPItem::TKind::List;
            ++FPos;
            for (;;) {
                SkipSpaces();
                if (AtEnd())
                    Fail("a list does not end");
                if (Peek() == ')') {
                    ++FPos;
                    return item;
                }
                item.Items.push_back(Item(depth + 1));
            }
        }
        if (c == '"') {
            item.Kind = TIMAPItem::TKind::String;
            ++FPos;
            for (;;) {
                if (AtEnd())
                    Fail("a quoted string does not end");
                char next = FLine[FPos++];
                if (next == '"')
                    return item;
                if (next == '\\') {
                    if (AtEnd())
                        Fail("a quoted string does not end");
                    next = FLine[FPos++];
                }
                item.Text += next;
            }
        }
        if (c == '{')
            return Literal();
        if (c == ')')
            Fail("a list closes that was not opened");
        item.Text = Atom();
        if (item.IsAtom("NIL")) {
            item.Kind = TIMAPItem::TKind::Nil;
            item.Text.clear();
        }
        return item;
    }

    std::vector<TIMAPItem> Items() {
        std::vector<TIMAPItem> items;
        for (;;) {
            SkipSpaces();
            if (AtEnd())
                return items;
            items.push_back(Item(0));
        }
    }

  private:
    const std::string& FLine;
    std::vector<TIMAPLiteral>& FLiterals;
    size_t FPos = 0;
    size_t FNextLiteral = 0;

    // An atom; a bracketed part ("BODY[HEADER.FIELDS (FROM)]") belongs to it, spaces and all.
    std::string Atom() {
        size_t start = FPos;
        while (!AtEnd() && IsAtomChar(FLine[FPos])) {
            if (FLine[FPos] == '[') {
                size_t close = FLine.find(']', FPos);
                if (close == std::string::npos)
                    Fail("a bracket does not close");
                FPos = close;
            }
            ++FPos;
        }
        if (FPos == start)
            Fail("unexpected character");
        return FLine.substr(start, FPos - start);
    }

    TIMAPItem Literal() {
        size_t close = FLine.find('}', FPos);
        if (close == std::string::npos || FNextLiteral >= FLiterals.size() ||
            FLiterals[FNextLiteral].End != close + 1)
            Fail("a literal that was not announced at a line end");
        TIMAPLiteral& literal = FLiterals[FNextLiteral++];
        TIMAPItem item;
        item.Kind = TIMAPItem::TKind::String;
        item.Text = std::move(literal.Bytes);
        item.Cut = literal.Cut;
        FPos = close + 1;
        return item;
    }
};

} // namespace

bool TIMAPItem::IsAtom(std::string_view name) const {
    return Kind == TKind::Atom && Text.size() == name.size() &&
           std::equal(Text.begin(), Text.end(), name.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

bool TIMAPItem::Number(uint32_t& value) const {
    if (Kind != TKind::Atom || Text.empty() || Text.size() > 10)
        return false;
    uint64_t number = 0;
    for (char c : Text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > UINT32_MAX)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool TIMAPResponse::IsStatus() const {
    return Name == "OK" || Name == "NO" || Name == "BAD" || Name == "BYE" || Name == "PREAUTH";
}

bool LiteralSizeAtEnd(std::string_view line, uint64_t& size) {
    if (line.empty() || line.back() != '}')
        return false;
    size_t end = line.size() - 1;
    if (end > 0 && line[end - 1] == '+')
        --end;
    size_t start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(line[start - 1])))
        --start;
    // Eighteen digits cannot overflow, and no literal comes near them.
    if (start == end || end - start > 18 || start == 0 || line[start - 1] != '{')
        return false;
    size = 0;
    for (size_t i = start; i < end; ++i)
        size = size * 10 + static_cast<uint64_t>(line[i] - '0');
    return true;
}

TIMAPResponse ParseIMAPResponse(TIMAPRawResponse&& raw) {
    TParser parser(raw.Line, raw.Literals);
    TIMAPResponse response;
    if (parser.Peek() == '+') {
        response.Kind = TIMAPResponse::TKind::Continuation;
        response.Tag = "+";
        std::string rest = parser.Rest();
        response.Text = rest.substr(rest.size() > 1 && rest[1] == ' ' ? 2 : 1);
        return response;
    }
    response.Tag = parser.Word();
    response.Kind =
        response.Tag == "*" ? TIMAPResponse::TKind::Untagged : TIMAPResponse::TKind::Tagged;
    parser.ExpectSpace();
    if (response.Kind == TIMAPResponse::TKind::Untagged &&
        std::isdigit(static_cast<unsigned char>(parser.Peek()))) {
        TIMAPItem number;
        number.Text = parser.Word();
        if (!number.Number(response.Number))
            parser.Fail("a number is out of range");
        response.HasNumber = true;
        parser.ExpectSpace();
    }
    response.Name = Upper(parser.Word());
    if (response.Kind == TIMAPResponse::TKind::Tagged && response.Name != "OK" &&
        response.Name != "NO" && response.Name != "BAD")
        parser.Fail("a tagged response without OK, NO or BAD");
    if (response.IsStatus() && !response.HasNumber) {
        parser.SkipSpaces();
        response.Code = parser.Code();
        parser.SkipSpaces();
        response.Text = parser.Rest();
        return response;
    }
    if (!parser.AtEnd())
        parser.ExpectSpace();
    response.Items = parser.Items();
    return response;
}

size_t SplitIMAPResponse(std::string_view bytes, TIMAPRawResponse& raw) {
    raw = TIMAPRawResponse();
    size_t pos = 0;
    for (;;) {
        size_t lineFeed = bytes.find('\n', pos);
        if (lineFeed == std::string_view::npos)
            return 0;
        std::string_view line = bytes.substr(pos, lineFeed - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        raw.Line += line;
        pos = lineFeed + 1;
        uint64_t size = 0;
        if (!LiteralSizeAtEnd(line, size))
            return pos;
        if (bytes.size() - pos < size)
            return 0;
        TIMAPLiteral literal;
        literal.End = raw.Line.size();
        literal.Bytes = std::string(bytes.substr(pos, static_cast<size_t>(size)));
        raw.Literals.push_back(std::move(literal));
        pos += static_cast<size_t>(size);
    }
}

std::vector<std::string> IMAPWords(std::string_view text) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(' ', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > pos)
            words.push_back(Upper(text.substr(pos, end - pos)));
        pos = end + 1;
    }
    return words;
}
