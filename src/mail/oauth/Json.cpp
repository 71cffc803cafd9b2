// A small strict JSON reader for the answers of sign-in servers.
#include "Json.h"

#include "core/Utf8.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

class TJsonReader {
  public:
    TJsonReader(std::string_view text, const TJsonLimits& limits) : FText(text), FLimits(limits) {}

    bool ReadDocument(TJsonValue& value) {
        SkipSpace();
        if (!ReadValue(value, 0))
            return false;
        SkipSpace();
        return FAt == FText.size();
    }

  private:
    std::string_view FText;
    const TJsonLimits& FLimits;
    size_t FAt = 0;

    bool AtEnd() const { return FAt >= FText.size(); }
    char Peek() const { return AtEnd() ? '\0' : FText[FAt]; }

    void SkipSpace() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
            ++FAt;
    }

    bool Literal(std::string_view word) {
        if (FText.substr(FAt, word.size()) != word)
            return false;
        FAt += word.size();
        return true;
    }

    bool ReadValue(TJsonValue& value, int depth) {
        switch (Peek()) {
        case '{':
            return depth < FLimits.MaxDepth && ReadObject(value, depth + 1);
        case '[':
            return depth < FLimits.MaxDepth && ReadArray(value, depth + 1);
        case '"':
            value.Kind = TJsonKind::String;
            return ReadString(value.Text);
        case 't':
            value.Kind = TJsonKind::Bool;
            value.Bool = true;
            return Literal("true");
        case 'f':
            value.Kind = TJsonKind::Bool;
            return Literal("false");
        case 'n':
            value.Kind = TJsonKind::Null;
            return Literal("null");
        default:
            return ReadNumber(value);
        }
    }

    bool ReadObject(TJsonValue& value, int depth) {
        value.Kind = TJsonKind::Object;
        ++FAt;
        SkipSpace();
        if (Peek() == '}') {
            ++FAt;
            return true;
        }
        for (;;) {
            std::string key;
            if (Peek() != '"' || !ReadString(key))
                return false;
            // Two values for one name leave it unclear which one counts.
            if (value.Find(key))
                return false;
            SkipSpace();
            if (Peek() != ':')
                return false;
            ++FAt;
            SkipSpace();
            TJsonValue member;
            if (!ReadValue(member, depth))
                return false;
            value.Members.push_back({std::move(key), std::move(member)});
            SkipSpace();
            if (Peek() == '}') {
                ++FAt;
                return true;
            }
            if (Peek() != ',')
                return false;
            ++FAt;
            SkipSpace();
        }
    }

    bool ReadArray(TJsonValue& value, int depth) {
        value.Kind = TJsonKind::Array;
        ++FAt;
        SkipSpace();
        if (Peek() == ']') {
            ++FAt;
            return true;
        }
        for (;;) {
            TJsonValue item;
            if (!ReadValue(item, depth))
                return false;
            value.Items.push_back(std::move(item));
            SkipSpace();
            if (Peek() == ']') {
                ++FAt;
                return true;
            }
            if (Peek() != ',')
                return false;
            ++FAt;
            SkipSpace();
        }
    }

    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    bool Digits() {
        const size_t start = FAt;
        while (IsDigit(Peek()))
            ++FAt;
        return FAt > start;
    }

    bool ReadNumber(TJsonValue& value) {
        const size_t start = FAt;
        if (Peek() == '-')
            ++FAt;
        if (Peek() == '0')
            ++FAt;
        else if (!Digits())
            return false;
        if (Peek() == '.') {
            ++FAt;
            if (!Digits())
                return false;
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++FAt;
            if (Peek() == '+' || Peek() == '-')
                ++FAt;
            if (!Digits())
                return false;
        }
        value.Kind = TJsonKind::Number;
        value.Text = std::string(FText.substr(start, FAt - start));
        const auto result =
            std::from_chars(value.Text.data(), value.Text.data() + value.Text.size(), value.Number);
        // Out of range: the grammar held, so the value is only too small or too large.
        if (result.ec == std::errc::result_out_of_range) {
            const std::string_view digits =
                std::string_view(value.Text).substr(value.Text[0] == '-');
            const bool tiny = digits.starts_with("0.") ||
                              value.Text.find("e-") != std::string::npos ||
                              value.Text.find("E-") != std::string::npos;
            value.Number = tiny ? 0 : value.Text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
        }
        return true;
    }

    bool Hex4(uint32_t& code) {
        if (FText.size() - FAt < 4)
            return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = FText[FAt++];
            code <<= 4;
            if (IsDigit(c))
                code |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool Escape(std::string& out) {
        const char c = Peek();
        ++FAt;
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out += c;
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u':
            break;
        default:
            return false;
        }
        uint32_t code;
        if (!Hex4(code) || (code >= 0xDC00 && code <= 0xDFFF))
            return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t low;
            if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, code);
        return true;
    }

    // One UTF-8 character of two to four bytes, checked for overlong forms and surrogates.
    bool MultiByte(std::string& out) {
        const size_t length = Utf8SequenceLength(FText, FAt);
        if (length < 2)
            return false;
        out.append(FText.substr(FAt, length));
        FAt += length;
        return true;
    }

    bool ReadString(std::string& out) {
        ++FAt;
        for (;;) {
            if (AtEnd())
                return false;
            const auto c = static_cast<uint8_t>(Peek());
            if (c == '"') {
                ++FAt;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                ++FAt;
                if (!Escape(out))
                    return false;
            } else if (c >= 0x80) {
                if (!MultiByte(out))
                    return false;
            } else {
                out += static_cast<char>(c);
                ++FAt;
            }
        }
    }
};

} // namespace

const TJsonValue* TJsonValue::Find(std::string_view key) const {
    for (const auto& member : Members)
        if (member.Name == key)
            return &member.Value;
    return nullptr;
}

std::optional<std::string> TJsonValue::StringAt(std::string_view key) const {
    const TJsonValue* value = Find(key);
    if (!value || value->Kind != TJsonKind::String)
        return std::nullopt;
    return value->Text;
}

std::optional<TJsonValue> ParseJson(std::string_view text, const TJsonLimits& limits) {
    if (text.size() > limits.MaxSize)
        return std::nullopt;
    TJsonValue value;
    TJsonReader reader(text, limits);
    if (!reader.ReadDocument(value))
        return std::nullopt;
    return value;
}
