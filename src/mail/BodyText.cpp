// The text a reader shows as a message's body: plain text only.
#include "mail/BodyText.h"

#include "core/UGlobal.h"
#include "mail/UCustomIndy.h"

namespace {

bool Contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

} // namespace

TBodyText SelectBodyText(const TQBMessage& message) {
    const TQBMessagePart* html = nullptr;
    const TQBMessagePart* plain = nullptr;
    for (const TQBMessagePart& part : message.Parts) {
        if (Contains(part.ContentType, "text/html"))
            html = &part;
        else if (Contains(part.ContentType, "text/plain"))
            plain = &part;
    }
    const bool htmlMessage = Contains(message.Decoder.ContentType, "text/html");
    TBodyText body;
    if (plain) {
        body = {plain->Data, plain->Charset, !html};
    } else if (html) {
        body = {StripHTML(html->Data), html->Charset, false};
    } else if (!message.Parts.empty()) {
        const TQBMessagePart& first = message.Parts.front();
        body = {htmlMessage ? StripHTML(first.Data) : first.Data, first.Charset, !htmlMessage};
    }
    if (body.Text.empty() && !message.Parts.empty()) {
        const TQBMessagePart& first = message.Parts.front();
        body.Text = htmlMessage ? StripHTML(first.Data) : first.Data;
        body.Charset = first.Charset;
    }
    if (body.Charset.empty())
        body.Charset = message.Decoder.Charset;
    return body;
}
