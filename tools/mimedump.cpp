// qb-mimedump: decodes a message file with TQBMessage and prints what it found as JSON,
// each raw header value beside the text a person sees (the ...Display fields). With --md5,
// only the size and MD5 of every decoded part, straight from the decoder.
#include "mime/DateTimeValue.h"
#include "mime/DisplayText.h"
#include "mime/Message.h"
#include "mime/MessageText.h"

#include <openssl/md5.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

// Bytes that stand for themselves in a JSON string.
constexpr std::array<bool, 256> PlainJson = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c)
        plain[c] = c != '"' && c != '\\';
    return plain;
}();

// Header bytes are not always UTF-8: a byte that starts no valid sequence is
// written as the code point of the same value, so the output stays valid JSON.
std::string Json(const std::string& text) {
    static const char hexDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    out += '"';
    for (size_t i = 0; i < text.size();) {
        // A body is mostly plain ASCII: copy each run in one piece.
        size_t run = i;
        while (run < text.size() && PlainJson[static_cast<unsigned char>(text[run])])
            ++run;
        out.append(text, i, run - i);
        i = run;
        if (i == text.size())
            break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x80) {
            const char escape[6] = {'\\', 'u', '0', '0', hexDigits[c >> 4], hexDigits[c & 15]};
            out.append(escape, 6);
        } else if (const size_t n = Utf8Length(text, i)) {
            out.append(text, i, n);
            i += n;
            continue;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", c);
            out += escape;
        }
        ++i;
    }
    out += '"';
    return out;
}

// Every part's size and MD5, taken while the decoder streams it. The decoder's own
// handlers, when set, still get the data of the parts the body text may come from.
class TPartDigests {
  public:
    explicit TPartDigests(TMimeDecode& d) {
        auto begin = d.OnPartBegin;
        d.OnPartBegin = [this, begin](TMimeDecode& s) {
            Flush();
            At(s.PartNumber) = TDigest{};
            if (begin)
                begin(s);
        };
        auto keep = d.OnPartLine;
        d.OnPartLine = [this, keep](TMimeDecode& s, const char* data, size_t len) {
            Add(s.PartNumber, data, len);
            if (keep && (s.PartNumber == 0 || s.PartContentType.find("text/") != std::string::npos))
                keep(s, data, len);
        };
        FPending.reserve(PendingSize);
    }
    int Count() const { return static_cast<int>(FParts.size()); }
    size_t Size(int index) {
        Flush();
        return At(index).Size;
    }
    std::string MD5(int index) {
        Flush();
        unsigned char digest[MD5_DIGEST_LENGTH];
        MD5_CTX context = At(index).Context;
        MD5_Final(digest, &context);
        static const char hexDigits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned char byte : digest) {
            hex += hexDigits[byte >> 4];
            hex += hexDigits[byte & 0x0F];
        }
        return hex;
    }

  private:
    struct TDigest {
        TDigest() { MD5_Init(&Context); }
        MD5_CTX Context;
        size_t Size = 0;
    };
    static constexpr size_t PendingSize = 65536;
    static constexpr size_t LargePiece = 4096; // digested as it comes

    TDigest& At(int index) {
        const size_t i = static_cast<size_t>(index);
        if (FParts.size() <= i)
            FParts.resize(i + 1);
        return FParts[i];
    }
    // Unencoded text comes a line at a time; the digest runs faster over larger blocks.
    void Add(int index, const char* data, size_t len) {
        if (index != FPendingIndex || FPending.size() + len > PendingSize)
            Flush();
        FPendingIndex = index;
        if (len >= LargePiece) {
            Flush();
            TDigest& digest = At(index);
            MD5_Update(&digest.Context, data, len);
            digest.Size += len;
        } else {
            FPending.append(data, len);
        }
    }
    void Flush() {
        if (FPending.empty())
            return;
        TDigest& digest = At(FPendingIndex);
        MD5_Update(&digest.Context, FPending.data(), FPending.size());
        digest.Size += FPending.size();
        FPending.clear();
    }

    std::vector<TDigest> FParts;
    std::string FPending;
    int FPendingIndex = 0;
};

std::string Contact(const TQBContact& c) {
    return "{\"Name\": " + Json(c.Name) +
           ", \"NameDisplay\": " + Json(SingleLine(DisplayName(c.Name))) +
           ", \"Address\": " + Json(c.Address) + "}";
}

std::string Contacts(const std::vector<TQBContact>& list) {
    std::string out = "[";
    for (size_t i = 0; i < list.size(); ++i)
        out += (i ? ", " : "") + Contact(list[i]);
    return out + "]";
}

void Dump(const TQBMessage& msg, TPartDigests& digests, std::ostream& out) {
    const TMimeDecode& d = msg.Decoder;
    std::ostringstream date;
    date.precision(17);
    date << msg.Date;
    out << "{\n";
    out << "  \"Header\": {\n";
    out << "    \"From\": " << Json(d.From) << ",\n";
    out << "    \"To\": " << Json(d.To) << ",\n";
    out << "    \"Cc\": " << Json(d.Cc) << ",\n";
    out << "    \"Subject\": " << Json(d.Subject) << ",\n";
    out << "    \"SubjectDisplay\": " << Json(SingleLine(DecodeHeaderText(d.Subject))) << ",\n";
    out << "    \"Date\": " << Json(d.Date) << ",\n";
    out << "    \"DateValue\": " << date.str() << ",\n";
    out << "    \"DateParsed\": " << (msg.Date == 0 ? "null" : Json(FormatDateTimeISO(msg.Date)))
        << ",\n";
    out << "    \"ContentType\": " << Json(d.ContentType) << ",\n";
    out << "    \"Priority\": " << d.Priority << ",\n";
    out << "    \"Boundary\": " << Json(d.Boundary) << "\n  },\n";
    out << "  \"From\": " << Contact(msg.From) << ",\n";
    out << "  \"To\": " << Contacts(msg.To) << ",\n";
    out << "  \"CC\": " << Contacts(msg.CC) << ",\n";
    out << "  \"Received\": [";
    for (int i = 0; i < 2; ++i)
        out << (i ? ", " : "") << "{\"IP\": " << Json(msg.GetReceived(i).IP)
            << ", \"For\": " << Json(msg.GetReceived(i).For) << "}";
    out << "],\n  \"Parts\": [";
    for (int i = 0; i < msg.PartCount(); ++i) {
        const TQBMessagePart& p = msg.GetPart(i);
        out << (i ? "," : "") << "\n    {\"Index\": " << i
            << ", \"ContentType\": " << Json(p.ContentType)
            << ", \"Encoding\": " << Json(p.Encoding) << ", \"Name\": " << Json(p.Name)
            << ", \"Disposition\": " << Json(p.Disposition)
            << ", \"ContentID\": " << Json(p.ContentID) << ", \"FileName\": " << Json(p.FileName)
            << ", \"FileNameDisplay\": " << Json(DisplayFileName(p))
            << ", \"Charset\": " << Json(p.Charset) << ", \"Size\": " << digests.Size(i)
            << ", \"MD5\": " << Json(digests.MD5(i)) << "}";
    }
    out << (msg.PartCount() ? "\n  ],\n" : "],\n");
    out << "  \"BodyDisplay\": " << Json(DisplayBody(msg)) << "\n}\n";
}

} // namespace

int main(int argc, char** argv) {
    const bool partsOnly = argc == 3 && std::string(argv[1]) == "--md5";
    if (argc != 2 && !partsOnly) {
        std::cerr << "usage: qb-mimedump [--md5] <message file>\n"
                     "  --md5: only \"<size> <md5>\" of every decoded part, one per line\n";
        return 2;
    }
    try {
        TFileStream stream(argv[argc - 1]);
        if (partsOnly) {
            // The decoder alone: nothing of the message is kept beyond the digests.
            TMimeDecode decoder;
            TPartDigests digests(decoder);
            decoder.DecodeStream(stream);
            for (int i = 0; i < digests.Count(); ++i)
                std::printf("%zu %s\n", digests.Size(i), digests.MD5(i).c_str());
            return 0;
        }
        TQBMessage msg;
        TPartDigests digests(msg.Decoder);
        msg.LoadFromStream(stream);
        Dump(msg, digests, std::cout);
    } catch (const std::exception& e) {
        std::cerr << "qb-mimedump: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
