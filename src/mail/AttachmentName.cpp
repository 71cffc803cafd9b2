// Attachment file names as the sender gave them, reduced to a name safe to write.
#include "mail/AttachmentName.h"

namespace {

constexpr size_t MaxNameBytes = 255;
constexpr size_t MaxKeptExtension = 16;

// Cuts text to at most limit bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

std::string SafeFileName(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    std::string bare = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string clean;
    for (char c : bare) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F)
            clean += c;
    }
    const size_t first = clean.find_first_not_of(". ");
    clean = first == std::string::npos ? std::string() : clean.substr(first);
    if (clean.size() > MaxNameBytes) {
        const size_t dot = clean.rfind('.');
        const std::string extension =
            dot != std::string::npos && clean.size() - dot <= MaxKeptExtension ? clean.substr(dot)
                                                                               : std::string();
        clean = CutUtf8(clean.substr(0, clean.size() - extension.size()),
                        MaxNameBytes - extension.size()) +
                extension;
    }
    return clean.empty() ? "attachment" : clean;
}
