// libFuzzer target: the display decoder on any bytes; every result must be valid UTF-8.
#include "mime/AttachmentName.h"
#include "mime/Charset.h"
#include "mime/DisplayText.h"
#include "mime/HtmlText.h"
#include "mime/Message.h"
#include "mime/MessageText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(const std::string& text) {
    if (!IsValidUtf8(text))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the entry point; the rest is the input.
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 5) {
    case 0: {
        const std::string text = DecodeHeaderText(input);
        Check(text);
        Check(SingleLine(text));
        break;
    }
    case 1: {
        Check(ContactText(input, input));
        // Names reach it decoded, as the read window gives them.
        Check(SafeFileName(SingleLine(DecodeHeaderText(input))));
        break;
    }
    case 2: {
        // The first line names the charset.
        const size_t line = input.find('\n');
        const std::string_view charset = input.substr(0, std::min<size_t>(line, 32));
        Check(ToUtf8(input.substr(line == std::string_view::npos ? input.size() : line + 1),
                     charset));
        break;
    }
    case 3:
        Check(ResolveEntities(UndeclaredToUtf8(input)));
        Check(HtmlMetaCharset(input));
        break;
    default: {
        TMemoryStream stream{std::string(input)};
        TQBMessage msg;
        msg.LoadFromStream(stream);
        Check(DisplayBody(msg));
        Check(ContactText(msg.From.Name, msg.From.Address));
        for (const TQBMessagePart& part : msg.Parts)
            Check(SafeFileName(DisplayFileName(part)));
        break;
    }
    }
    return 0;
}
