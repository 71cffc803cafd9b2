// qb_mime_bench: TMimeDecode against GMime 3 on generated messages (MB/s, ratio) and the decoder's
// peak heap.
#include "MimeSamples.h"
#include "mime/MimeDec.h"
#include "mime/Stream.h"

#include <gmime/gmime.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

// Heap accounting of every C++ allocation, to measure the decoder's peak.
namespace {
std::atomic<long long> HeapNow{0};
std::atomic<long long> HeapPeak{0};

void* CountedAlloc(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    const long long now = HeapNow += static_cast<long long>(malloc_usable_size(p));
    long long peak = HeapPeak.load();
    while (now > peak && !HeapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void CountedFree(void* p) noexcept {
    if (!p)
        return;
    HeapNow -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
} // namespace

void* operator new(size_t size) {
    return CountedAlloc(size);
}
void* operator new[](size_t size) {
    return CountedAlloc(size);
}
void operator delete(void* p) noexcept {
    CountedFree(p);
}
void operator delete[](void* p) noexcept {
    CountedFree(p);
}
void operator delete(void* p, size_t) noexcept {
    CountedFree(p);
}
void operator delete[](void* p, size_t) noexcept {
    CountedFree(p);
}

namespace {

// Reads from bytes it does not own, so both decoders start from the same memory.
class TViewStream : public TStream {
  public:
    TViewStream(const std::string& data) : FData(data) {}
    size_t Read(char* buffer, size_t count) override {
        const size_t n = std::min(count, FData.size() - FPos);
        std::memcpy(buffer, FData.data() + FPos, n);
        FPos += n;
        return n;
    }
    int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    int64_t Position() const override { return static_cast<int64_t>(FPos); }

  private:
    const std::string& FData;
    size_t FPos = 0;
};

using namespace MimeSamples;

struct TSample {
    std::string Name;
    std::string Text;
};

std::vector<TSample> Corpus() {
    std::mt19937 random(2026);
    std::vector<TSample> corpus;
    corpus.push_back({"plain text", TextMessage(random, 16u << 20, false)});
    corpus.push_back({"quoted-printable text", TextMessage(random, 12u << 20, true)});
    corpus.push_back({"multipart, 20 MB base64 attachment", AttachmentMessage(random, 20u << 20)});
    corpus.push_back({"20000 small parts", SmallPartsMessage(random, 20000)});
    return corpus;
}

using TClock = std::chrono::steady_clock;

// Best of several runs, each long enough to time; returns seconds per pass.
template <typename TRun> double TimeBest(TRun run) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = TClock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(TClock::now() - start).count());
    }
    return best;
}

size_t DecodeWithMimeDecode(const std::string& text) {
    size_t bytes = 0;
    TMimeDecode decoder;
    decoder.OnPartLine = [&bytes](TMimeDecode&, const char*, size_t len) { bytes += len; };
    TViewStream stream(text);
    decoder.DecodeStream(stream);
    return bytes;
}

void DecodeGMimePart(GMimeObject*, GMimeObject* part, gpointer total) {
    if (!GMIME_IS_PART(part))
        return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (!content)
        return;
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, out);
    *static_cast<size_t*>(total) += g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out))->len;
    g_object_unref(out);
}

size_t DecodeWithGMime(GByteArray* array) {
    GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(array);
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    size_t total = 0;
    if (message) {
        g_mime_message_foreach(message, DecodeGMimePart, &total);
        g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return total;
}

// A multipart message with one base64 attachment of the given size, made while it is read.
class TGeneratedMessage : public TStream {
  public:
    explicit TGeneratedMessage(size_t attachmentBytes) : FLinesLeft(attachmentBytes / 57) {
        FPending = std::string(Head) +
                   "Content-Type: multipart/mixed; boundary=\"=_g\"\r\n\r\n--=_g\r\n"
                   "Content-Type: application/octet-stream\r\n"
                   "Content-Transfer-Encoding: base64\r\n\r\n";
        std::mt19937 random(1);
        FLine = Base64Lines(RandomBytes(random, 57));
    }
    size_t Read(char* buffer, size_t count) override {
        size_t n = 0;
        while (n < count) {
            if (FOffset == FPending.size()) {
                if (FLinesLeft > 0) {
                    FPending = FLine;
                    --FLinesLeft;
                } else if (!FClosed) {
                    FPending = "--=_g--\r\n";
                    FClosed = true;
                } else {
                    break;
                }
                FOffset = 0;
            }
            const size_t k = std::min(count - n, FPending.size() - FOffset);
            std::memcpy(buffer + n, FPending.data() + FOffset, k);
            FOffset += k;
            n += k;
        }
        FPosition += static_cast<int64_t>(n);
        return n;
    }
    int64_t Size() const override { return -1; }
    int64_t Position() const override { return FPosition; }

  private:
    std::string FPending, FLine;
    size_t FOffset = 0;
    size_t FLinesLeft;
    bool FClosed = false;
    int64_t FPosition = 0;
};

void PeakMemory(size_t megabytes) {
    TGeneratedMessage stream(megabytes << 20);
    const long long base = HeapNow.load();
    HeapPeak = base;
    size_t bytes = 0;
    {
        TMimeDecode decoder;
        decoder.OnPartLine = [&bytes](TMimeDecode&, const char*, size_t len) { bytes += len; };
        decoder.DecodeStream(stream);
    }
    std::printf("  %4zu MB attachment (%6.1f MB message): peak heap of TMimeDecode %lld bytes\n",
                megabytes, static_cast<double>(stream.Position()) / (1 << 20),
                HeapPeak.load() - base);
}

} // namespace

int main() {
    g_mime_init();
    const std::vector<TSample> corpus = Corpus();
    std::printf("MIME decoding: TMimeDecode (events count bytes) vs GMime %u.%u.%u "
                "(parse + decode every part into memory)\n",
                gmime_major_version, gmime_minor_version, gmime_micro_version);
    std::printf("%-36s %9s %12s %12s %7s\n", "message", "size MB", "TMimeDecode", "GMime", "ratio");
    double oursTotal = 0, theirsTotal = 0, sizeTotal = 0;
    for (const TSample& sample : corpus) {
        GByteArray* array = g_byte_array_sized_new(static_cast<guint>(sample.Text.size()));
        g_byte_array_append(array, reinterpret_cast<const guint8*>(sample.Text.data()),
                            static_cast<guint>(sample.Text.size()));
        size_t oursBytes = 0, theirBytes = 0;
        const double ours = TimeBest([&] { oursBytes = DecodeWithMimeDecode(sample.Text); });
        const double theirs = TimeBest([&] { theirBytes = DecodeWithGMime(array); });
        g_byte_array_unref(array);
        const double mb = static_cast<double>(sample.Text.size()) / (1 << 20);
        std::printf("%-36s %9.1f %8.0f MB/s %7.0f MB/s %6.2fx   (decoded %zu / %zu bytes)\n",
                    sample.Name.c_str(), mb, mb / ours, mb / theirs, theirs / ours, oursBytes,
                    theirBytes);
        oursTotal += ours;
        theirsTotal += theirs;
        sizeTotal += mb;
    }
    std::printf("%-36s %9.1f %8.0f MB/s %7.0f MB/s %6.2fx\n", "whole corpus", sizeTotal,
                sizeTotal / oursTotal, sizeTotal / theirsTotal, theirsTotal / oursTotal);
    std::printf("ratio = TMimeDecode speed / GMime speed (above 1: TMimeDecode is faster)\n\n");

    std::printf(
        "Peak memory of the decoder alone (heap growth while decoding a generated stream):\n");
    PeakMemory(10);
    PeakMemory(100);
    g_mime_shutdown();
    return 0;
}
