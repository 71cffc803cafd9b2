// What a person sees of a message's parts: attachment names and the body text, as UTF-8.
#include "mime/MessageText.h"

#include "mime/Charset.h"
#include "mime/DisplayText.h"
#include "mime/HtmlText.h"
#include "mime/Message.h"
#include "mime/MimeParams.h"
#include "mime/TextChars.h"

namespace {

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

TBodyText SelectBodyText(const TQBMessage& msg) {
    const TQBMessagePart* html = nullptr;
    const TQBMessagePart* plain = nullptr;
    for (const TQBMessagePart& part : msg.Parts) {
        if (IsAttachmentPart(part))
            continue;
        if (!html && Contains(part.ContentType, "text/html"))
            html = &part;
        else if (!plain && Contains(part.ContentType, "text/plain"))
            plain = &part;
    }
    TBodyText body;
    if (plain)
        body = {ToUtf8(plain->Data, CharsetOf(msg, *plain)), !html};
    else if (html)
        body.Text = HtmlText(html->Data, CharsetOf(msg, *html));
    if (!body.Text.empty() || msg.Parts.empty())
        return body;
    const TQBMessagePart& first = msg.Parts.front();
    const bool htmlMessage = Contains(msg.Decoder.ContentType, "text/html");
    body.Text = htmlMessage ? HtmlText(first.Data, CharsetOf(msg, first))
                            : ToUtf8(first.Data, CharsetOf(msg, first));
    body.TextTab = body.TextTab || (!plain && !html && !htmlMessage);
    return body;
}

std::string DisplayBody(const TQBMessage& msg) {
    return SelectBodyText(msg).Text;
}

std::string SourceText(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\n', start);
        const size_t next = end == std::string_view::npos ? raw.size() : end + 1;
        if (end == std::string_view::npos)
            end = raw.size();
        if (end > start && raw[end - 1] == '\r')
            --end;
        const std::string_view line = raw.substr(start, end - start);
        if (IsValidUtf8(line))
            text.append(line);
        else
            for (unsigned char c : line)
                AppendUtf8(text, c);
        if (next > end)
            text += '\n';
        start = next;
    }
    return text;
}
