// libFuzzer target: any bytes through TQBMessage::LoadFromStream, delivered in varying read sizes.
#include "mime/Message.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Short reads move line ends and folds across buffer refills.
class TSlicedStream : public TStream {
  public:
    TSlicedStream(const uint8_t* data, size_t size, size_t slice)
        : FData(reinterpret_cast<const char*>(data)), FSize(size), FSlice(slice) {}
    size_t Read(char* buffer, size_t count) override {
        const size_t n = std::min({count, FSlice, FSize - FPos});
        std::memcpy(buffer, FData + FPos, n);
        FPos += n;
        return n;
    }
    int64_t Size() const override { return static_cast<int64_t>(FSize); }
    int64_t Position() const override { return static_cast<int64_t>(FPos); }

  private:
    const char* FData;
    size_t FSize, FSlice;
    size_t FPos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the read size: 1 to 64 bytes, or everything at once.
    const size_t slice = data[0] < 192 ? data[0] % 64 + 1 : SIZE_MAX;
    TSlicedStream stream(data + 1, size - 1, slice);
    TQBMessage msg;
    // Small, so that parts are left out and decoded again, as a large attachment is.
    msg.MaxKeptData = 64;
    msg.LoadFromStream(stream);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t total = 0;
    for (int i = 0; i < msg.PartCount(); ++i)
        total += msg.GetPart(i).DataLeftOut ? TQBMessage::DecodePart(text, i).size()
                                            : msg.GetPart(i).Data.size();
    for (int i = 0; i < msg.ToCount(); ++i)
        total += msg.GetTo(i).Address.size();
    return total == SIZE_MAX ? 1 : 0;
}
