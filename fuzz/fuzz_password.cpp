// Fuzz target: arbitrary text as a stored password and as Base64.
#include "core/Crypt.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const std::string bytes = Base64Decode(text);
        if (bytes.size() > text.size() / 4 * 3)
            __builtin_trap();
    } catch (const EConvertError&) {
    }
    try {
        DecodePassword(text);
    } catch (const EConvertError&) {
    }
    // Whatever the bytes, encoding must decode back (trimmed, up to a zero byte).
    const std::string clear = text.substr(0, 255);
    const std::string back = DecodePassword(EncodePassword(clear));
    if (back.size() > clear.size())
        __builtin_trap();
    if (Base64Decode(Base64Encode(text)) != text)
        __builtin_trap();
    return 0;
}
