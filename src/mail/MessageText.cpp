// What a person sees of a message's parts: attachment names and the body text, as UTF-8.
#include "mail/MessageText.h"

#include "mail/Charset.h"
#include "mail/DisplayText.h"
#include "mail/HtmlText.h"
#include "mail/MimeParams.h"
#include "mail/UCustomIndy.h"

namespace {

constexpr size_t MaxFileNameBytes = 255;

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

// A part's declared charset; the single body of a message declares it in the main header.
std::string CharsetOf(const TQBMessage& msg, const TQBMessagePart& part) {
    if (!part.Charset.empty() || !part.ContentType.empty())
        return part.Charset;
    return msg.Decoder.Charset;
}

} // namespace

std::string DisplayFileName(const TQBMessagePart& part) {
    std::string name = ExtendedParameter(part.DispositionLine, "filename");
    if (name.empty())
        name = ExtendedParameter(part.TypeLine, "name");
    if (name.empty())
        name = DecodeHeaderText(part.FileName.empty() ? part.Name : part.FileName);
    return SingleLine(name);
}

std::string SafeFileName(std::string_view displayName) {
    std::string name;
    for (size_t i = 0; i < displayName.size();) {
        const size_t n = Utf8SequenceLength(displayName, i);
        const unsigned char c = n ? static_cast<unsigned char>(displayName[i]) : 0;
        if (n == 0 || c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') {
            name += '_';
            i += n ? n : 1;
            continue;
        }
        if (name.size() + n > MaxFileNameBytes)
            break;
        name.append(displayName.substr(i, n));
        i += n;
    }
    // Leading dots hide a file or climb a folder; trailing blanks and dots confuse other systems.
    const size_t first = name.find_first_not_of(". ");
    name.erase(0, first == std::string::npos ? name.size() : first);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    name = name.substr(0, MaxFileNameBytes);
    return name.empty() ? "attachment" : name;
}

std::string DisplayBody(const TQBMessage& msg) {
    const TQBMessagePart* html = nullptr;
    const TQBMessagePart* plain = nullptr;
    for (const TQBMessagePart& part : msg.Parts) {
        if (Contains(part.ContentType, "text/html"))
            html = &part;
        else if (Contains(part.ContentType, "text/plain"))
            plain = &part;
    }
    std::string text;
    if (plain)
        text = ToUtf8(plain->Data, CharsetOf(msg, *plain));
    else if (html)
        text = HtmlText(html->Data, CharsetOf(msg, *html));
    if (!text.empty() || msg.Parts.empty())
        return text;
    const TQBMessagePart& first = msg.Parts.front();
    if (Contains(msg.Decoder.ContentType, "text/html"))
        return HtmlText(first.Data, CharsetOf(msg, first));
    return ToUtf8(first.Data, CharsetOf(msg, first));
}
