// Fuzz target: colour values of skin.ini either parse to a 24-bit colour or fail with ESkinError.
#include "model/SkinColor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const int color = ParseSkinColor(text);
        if (color < 0 || color > 0xFFFFFF)
            std::abort();
    } catch (const ESkinError&) {
    }
    return 0;
}
