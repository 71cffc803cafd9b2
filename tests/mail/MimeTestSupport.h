// Test helpers for the MIME decoder: streams that deliver in small pieces and an event recorder.
#pragma once

#include "mime/MimeDec.h"
#include "mime/Stream.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// Delivers at most ChunkSize bytes per read: one byte at a time finds the
// bugs of a parser that assumes whole lines arrive together.
class TChunkedStream : public TStream {
  public:
    TChunkedStream(std::string data, size_t chunkSize)
        : FData(std::move(data)), FChunkSize(chunkSize) {}
    size_t Read(char* buffer, size_t count) override {
        const size_t n = std::min({count, FChunkSize, FData.size() - FPosition});
        std::memcpy(buffer, FData.data() + FPosition, n);
        FPosition += n;
        return n;
    }
    int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    int64_t Position() const override { return static_cast<int64_t>(FPosition); }

  private:
    std::string FData;
    size_t FChunkSize;
    size_t FPosition = 0;
};

// Records every event of a decoder as a short text, part data included.
struct TEventLog {
    std::vector<std::string> Events;
    std::vector<std::string> PartData; // indexed by part number

    void Attach(TMimeDecode& d) {
        auto note = [this](const char* name) {
            return [this, name](TMimeDecode&) { Events.push_back(name); };
        };
        d.OnHeaderBegin = note("HeaderBegin");
        d.OnHeaderLine = note("HeaderLine");
        d.OnHeaderEnd = note("HeaderEnd");
        d.OnPartHeaderBegin = note("PartHeaderBegin");
        d.OnPartHeaderLine = note("PartHeaderLine");
        d.OnPartHeaderEnd = note("PartHeaderEnd");
        d.OnPartBegin = [this](TMimeDecode& s) {
            Events.push_back("PartBegin " + std::to_string(s.PartNumber));
        };
        d.OnPartEnd = note("PartEnd");
        d.OnMessageEnd = note("MessageEnd");
        d.OnPartLine = [this](TMimeDecode& s, const char* data, size_t len) {
            if (PartData.size() <= static_cast<size_t>(s.PartNumber))
                PartData.resize(s.PartNumber + 1);
            PartData[s.PartNumber].append(data, len);
        };
        d.OnInlineDecodeBegin = [this](TMimeDecode&, const std::string& name) {
            Events.push_back("InlineBegin " + name);
        };
        d.OnInlineDecodeLine = [this](TMimeDecode&, const char* line, size_t len) {
            Events.push_back("InlineLine " + std::string(line, len));
        };
        d.OnInlineDecodeEnd = [this](TMimeDecode&, const std::string& name) {
            Events.push_back("InlineEnd " + name);
        };
    }
};

// Decodes text with a fresh decoder whose events are recorded.
inline TEventLog DecodeText(TMimeDecode& decoder, const std::string& text, size_t chunk = 4096) {
    TEventLog log;
    log.Attach(decoder);
    TChunkedStream stream(text, chunk);
    decoder.DecodeStream(stream);
    return log;
}
