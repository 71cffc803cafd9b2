// Attachment file names as the sender gave them, reduced to the one safe name that the
// list, the prompt, the remembered action and the written file all use.
#include "mime/AttachmentName.h"

namespace {

constexpr size_t MaxNameBytes = 255;

// Cuts text to at most limit bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// C0 and C1 controls, and the marks, embeddings, overrides and isolates that reorder
// text: a name holding them shows another name, or an extension it does not have.
size_t HiddenCharLength(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    };
    const unsigned char c = byte(at);
    if (c < 0x20 || c == 0x7F)
        return 1;
    if (c == 0xC2 && byte(at + 1) >= 0x80 && byte(at + 1) <= 0x9F)
        return 2;
    if (c == 0xE2 && byte(at + 1) == 0x80 &&
        (byte(at + 2) == 0x8E || byte(at + 2) == 0x8F ||
         (byte(at + 2) >= 0xAA && byte(at + 2) <= 0xAE)))
        return 3;
    if (c == 0xE2 && byte(at + 1) == 0x81 && byte(at + 2) >= 0xA6 && byte(at + 2) <= 0xA9)
        return 3;
    return 0;
}

// stem followed by tail within the limit; the stem is cut, and keeps at least one
// character so that the name cannot start with the tail's dot.
std::string Fit(const std::string& stem, const std::string& tail) {
    if (tail.size() < MaxNameBytes) {
        const std::string cut = CutUtf8(stem, MaxNameBytes - tail.size());
        if (!cut.empty())
            return cut + tail;
    }
    return CutUtf8(stem + tail, MaxNameBytes);
}

size_t ExtensionDot(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && dot + 1 < name.size() ? dot : std::string::npos;
}

} // namespace

std::string SafeFileName(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    const std::string bare = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string clean;
    for (size_t i = 0; i < bare.size();) {
        if (const size_t hidden = HiddenCharLength(bare, i)) {
            i += hidden;
            continue;
        }
        clean += bare[i++];
    }
    // A leading dot would hide the file; "." and ".." are left empty.
    const size_t first = clean.find_first_not_of(". ");
    clean = first == std::string::npos ? std::string() : clean.substr(first);
    if (clean.size() > MaxNameBytes) {
        const size_t dot = ExtensionDot(clean);
        clean = dot == std::string::npos ? CutUtf8(clean, MaxNameBytes)
                                         : Fit(clean.substr(0, dot), clean.substr(dot));
    }
    return clean.empty() ? "attachment" : clean;
}

std::string AttachmentExtension(const std::string& name) {
    const size_t dot = ExtensionDot(name);
    if (dot == std::string::npos)
        return std::string();
    std::string extension = name.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

std::string NumberedFileName(const std::string& safeName, int number) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    const size_t dot = ExtensionDot(safeName);
    if (dot == std::string::npos)
        return Fit(safeName, suffix);
    return Fit(safeName.substr(0, dot), suffix + safeName.substr(dot));
}
