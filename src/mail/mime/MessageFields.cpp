// Address and Received parses for the message object.
#include "mime/MessageFields.h"

#include <string_view>
#include <strings.h>

namespace {

constexpr size_t NoEnd = std::string_view::npos;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

enum class TTokenKind { Char, Quoted, Comment };

// Walks a header value by quoted strings, comments (nested too) and single characters.
// A quote or parenthesis that is never closed is an ordinary character: mail has
// smileys and stray quotes in names. After the first such one, all later ones of its
// kind are ordinary too, which keeps a value full of them linear.
class TAddressScanner {
  public:
    explicit TAddressScanner(std::string_view text) : FText(text) {}

    bool AtEnd() const { return FPos >= FText.size(); }
    size_t Pos() const { return FPos; }
    // The kind of the token at Pos(); its text is [Pos(), End()).
    TTokenKind Kind() const { return FKind; }
    size_t End() const { return FEnd; }
    char Char() const { return FText[FPos]; }

    // Reads the token at the current position; false at the end.
    bool Read() {
        if (AtEnd())
            return false;
        FKind = TTokenKind::Char;
        FEnd = FPos + 1;
        const char c = FText[FPos];
        if (c == '"' && FQuotesClose) {
            const size_t end = QuotedEnd();
            if (end != NoEnd) {
                FKind = TTokenKind::Quoted;
                FEnd = end;
            } else {
                FQuotesClose = false;
            }
        } else if (c == '(' && FCommentsClose) {
            const size_t end = CommentEnd();
            if (end != NoEnd) {
                FKind = TTokenKind::Comment;
                FEnd = end;
            } else {
                FCommentsClose = false;
            }
        }
        return true;
    }
    void Next() { FPos = FEnd; }

  private:
    size_t QuotedEnd() const {
        for (size_t i = FPos + 1; i < FText.size(); ++i) {
            if (FText[i] == '\\')
                ++i;
            else if (FText[i] == '"')
                return i + 1;
        }
        return NoEnd;
    }
    size_t CommentEnd() const {
        int depth = 0;
        for (size_t i = FPos; i < FText.size(); ++i) {
            if (FText[i] == '\\')
                ++i;
            else if (FText[i] == '(')
                ++depth;
            else if (FText[i] == ')' && --depth == 0)
                return i + 1;
        }
        return NoEnd;
    }

    std::string_view FText;
    size_t FPos = 0, FEnd = 0;
    TTokenKind FKind = TTokenKind::Char;
    bool FQuotesClose = true, FCommentsClose = true;
};

// Appends text with backslash escapes undone and blank runs made one blank; a blank
// between out's last word and the text comes first when gap is set.
void AppendWords(std::string& out, std::string_view text, bool& gap) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsBlank(text[i])) {
            gap = true;
            continue;
        }
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        if (gap && !out.empty())
            out += ' ';
        gap = false;
        out += text[i];
    }
}

// The display phrase of text: words, quoted strings unquoted, comments dropped, one
// blank between words. Encoded words stay as written.
std::string Phrase(std::string_view text) {
    std::string name;
    bool gap = false;
    for (TAddressScanner scan(text); scan.Read(); scan.Next()) {
        const size_t pos = scan.Pos(), end = scan.End();
        if (scan.Kind() == TTokenKind::Quoted) {
            AppendWords(name, text.substr(pos + 1, end - pos - 2), gap);
        } else if (scan.Kind() == TTokenKind::Comment || IsBlank(scan.Char())) {
            gap = true;
        } else if (scan.Char() != '"') {
            // Outside quotes a backslash is an ordinary character ("DOMAIN\user").
            if (gap && !name.empty())
                name += ' ';
            gap = false;
            name += scan.Char();
        }
    }
    return name;
}

// A comment's text without its parentheses, for the old "address (Name)" form.
std::string CommentText(std::string_view comment) {
    std::string name;
    bool gap = false;
    AppendWords(name, comment.substr(1, comment.size() - 2), gap);
    return name;
}

// An address without angle brackets. Its text stays as written (a list's later entry
// keeps the blank after the comma), but comments are cut out and the first one names
// the contact. A leading quoted string not followed by "@" is taken as the name.
TQBContact BareAddress(std::string_view text) {
    TQBContact contact;
    std::string address;
    bool cut = false, afterComment = false;
    bool atStart = true;
    for (TAddressScanner scan(text); scan.Read(); scan.Next()) {
        const size_t pos = scan.Pos(), end = scan.End();
        const std::string_view token = text.substr(pos, end - pos);
        if (scan.Kind() == TTokenKind::Comment) {
            if (contact.Name.empty())
                contact.Name = CommentText(token);
            cut = afterComment = true;
            continue;
        }
        // The blank that stood between a comment and the address goes with the comment.
        if (afterComment && IsBlank(token[0]))
            continue;
        afterComment = false;
        if (atStart && scan.Kind() == TTokenKind::Quoted && contact.Name.empty() &&
            (end == text.size() || (text[end] != '@' && text[end] != '.'))) {
            contact.Name = Phrase(token);
            address.clear();
            atStart = false;
            continue;
        }
        if (!IsBlank(token[0]))
            atStart = false;
        address += token;
    }
    if (cut)
        while (!address.empty() && IsBlank(address.back()))
            address.pop_back();
    contact.Address = std::move(address);
    return contact;
}

} // namespace

TQBContact ParseAddress(const std::string& value) {
    const std::string_view text = value;
    for (TAddressScanner scan(text); scan.Read(); scan.Next()) {
        if (scan.Kind() != TTokenKind::Char || scan.Char() != '<')
            continue;
        TQBContact contact;
        contact.Name = Phrase(text.substr(0, scan.Pos()));
        const size_t close = text.find('>', scan.Pos() + 1);
        if (close != std::string_view::npos)
            contact.Address = value.substr(scan.Pos() + 1, close - scan.Pos() - 1);
        return contact;
    }
    return BareAddress(text);
}

std::vector<TQBContact> ParseAddressList(const std::string& value) {
    std::vector<TQBContact> contacts;
    const std::string_view text = value;
    size_t start = 0;
    for (TAddressScanner scan(text); scan.Read(); scan.Next()) {
        if (scan.Kind() == TTokenKind::Char && scan.Char() == ',') {
            contacts.push_back(ParseAddress(value.substr(start, scan.Pos() - start)));
            start = scan.Pos() + 1;
        }
    }
    if (start < value.size())
        contacts.push_back(ParseAddress(value.substr(start)));
    return contacts;
}

namespace {

// Takes the values of one Received line into entry; fields it lacks stay as they were.
void ReadReceivedLine(std::string text, TQBReceived& entry) {
    text += " by via";
    const size_t bracket = text.find('[');
    if (bracket != std::string::npos && bracket < text.find("by") && bracket < text.find("via")) {
        text.erase(0, bracket + 1);
        const size_t close = text.find(']');
        if (close != std::string::npos)
            entry.IP = text.substr(0, close);
    }
    const size_t forAt = text.find("for ");
    if (forAt == std::string::npos)
        return;
    const size_t open = text.find('<', forAt + 4);
    if (open == std::string::npos)
        return;
    const size_t close = text.find('>', open + 1);
    if (close != std::string::npos)
        entry.For = text.substr(open + 1, close - open - 1);
}

} // namespace

void ScanReceived(const std::vector<std::string>& headers, TQBReceived (&received)[2]) {
    int count = 0;
    for (const std::string& line : headers) {
        if (line.size() < 10 || strncasecmp(line.c_str(), "received: ", 10) != 0)
            continue;
        if (++count == 3)
            break;
        if (count == 2)
            received[1] = received[0];
        ReadReceivedLine(line, received[0]);
    }
}

namespace {

// The Message-ID of the lines next yields, up to the first empty line.
template <class TNext> std::string MessageIdOfLines(TNext next) {
    static const char Name[] = "message-id:";
    const size_t nameLength = sizeof(Name) - 1;
    std::string value;
    bool inValue = false;
    std::string_view line;
    while (next(line)) {
        if (line.empty())
            break;
        const bool continued = line[0] == ' ' || line[0] == '\t';
        if (inValue && continued) {
            value += line;
            continue;
        }
        if (inValue)
            break;
        if (line.size() >= nameLength && strncasecmp(line.data(), Name, nameLength) == 0) {
            value = line.substr(nameLength);
            inValue = true;
        }
    }
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string MessageIdOf(const std::vector<std::string>& lines) {
    size_t at = 0;
    return MessageIdOfLines([&](std::string_view& line) {
        if (at == lines.size())
            return false;
        line = lines[at++];
        return true;
    });
}

std::string MessageIdOf(std::string_view text) {
    return MessageIdOfLines([&](std::string_view& line) {
        if (text.empty())
            return false;
        const size_t end = text.find('\n');
        line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    });
}
