// Generated mail messages shared by the MIME benchmarks: text, quoted-printable, base64 and
// many small parts, all from a seeded random source so every run sees the same bytes.
#pragma once

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

namespace MimeSamples {

inline const char* const Words[] = {"the",    "message", "decoder",  "reads", "every",   "line",
                                    "and",    "hands",   "out",      "bytes", "quickly", "mail",
                                    "ticker", "part",    "boundary", "header"};

inline std::string TextLines(std::mt19937& random, size_t bytes, bool latin1) {
    std::string text;
    std::string line;
    while (text.size() < bytes) {
        line.clear();
        while (line.size() < 66) {
            line += Words[random() % 16];
            if (latin1 && random() % 9 == 0)
                line += static_cast<char>(0xE0 + random() % 28);
            line += ' ';
        }
        line.pop_back();
        text += line + "\r\n";
    }
    return text;
}

inline std::string QuotedPrintable(const std::string& text) {
    std::string out;
    size_t column = 0;
    char hex[4];
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            out += "\r\n";
            column = 0;
            continue;
        }
        const auto u = static_cast<unsigned char>(c);
        const bool plain = u >= 33 && u <= 126 && c != '=';
        if (column >= 72) {
            out += "=\r\n";
            column = 0;
        }
        if (plain || c == ' ') {
            out += c;
            ++column;
        } else {
            std::snprintf(hex, sizeof(hex), "=%02X", u);
            out += hex;
            column += 3;
        }
    }
    return out;
}

inline std::string Base64Lines(const std::string& data) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(data.size() / 57 * 78 + 80);
    for (size_t i = 0; i < data.size(); i += 57) {
        const size_t end = std::min(data.size(), i + 57);
        for (size_t k = i; k < end; k += 3) {
            const auto b0 = static_cast<unsigned char>(data[k]);
            const auto b1 = k + 1 < end ? static_cast<unsigned char>(data[k + 1]) : 0;
            const auto b2 = k + 2 < end ? static_cast<unsigned char>(data[k + 2]) : 0;
            out += alphabet[b0 >> 2];
            out += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
            out += k + 1 < end ? alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
            out += k + 2 < end ? alphabet[b2 & 63] : '=';
        }
        out += "\r\n";
    }
    return out;
}

inline std::string RandomBytes(std::mt19937& random, size_t n) {
    std::string data(n, '\0');
    for (char& c : data)
        c = static_cast<char>(random());
    return data;
}

inline const char* const Head = "From: Bench <bench@example.org>\r\nTo: you@example.org\r\n"
                                "Subject: benchmark\r\nDate: Mon, 7 Dec 2026 08:00:00 +0000\r\n"
                                "MIME-Version: 1.0\r\n";

// A single-part text body of about textBytes, plain or quoted-printable (with Latin-1 letters).
inline std::string TextMessage(std::mt19937& random, size_t textBytes, bool quotedPrintable) {
    if (!quotedPrintable)
        return std::string(Head) + "Content-Type: text/plain; charset=us-ascii\r\n\r\n" +
               TextLines(random, textBytes, false);
    return std::string(Head) +
           "Content-Type: text/plain; charset=iso-8859-1\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
           QuotedPrintable(TextLines(random, textBytes, true));
}

// A short text part and one base64 attachment of attachmentBytes random bytes.
inline std::string AttachmentMessage(std::mt19937& random, size_t attachmentBytes) {
    return std::string(Head) +
           "Content-Type: multipart/mixed; boundary=\"=_b1\"\r\n\r\n"
           "This is a multi-part message in MIME format.\r\n--=_b1\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n\r\n" +
           TextLines(random, 4000, false) +
           "--=_b1\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n" +
           Base64Lines(RandomBytes(random, attachmentBytes)) + "--=_b1--\r\n";
}

// Alternating small base64 images and quoted-printable text parts.
inline std::string SmallPartsMessage(std::mt19937& random, int parts) {
    std::string many =
        std::string(Head) + "Content-Type: multipart/mixed; boundary=\"=_m\"\r\n\r\n";
    for (int i = 0; i < parts; ++i) {
        if (i % 2) {
            many += "--=_m\r\nContent-Type: text/plain; charset=utf-8\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
                    QuotedPrintable(TextLines(random, 300, true));
        } else {
            many += "--=_m\r\nContent-Type: image/png; name=\"i" + std::to_string(i) +
                    ".png\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                    Base64Lines(RandomBytes(random, 600));
        }
    }
    many += "--=_m--\r\n";
    return many;
}

} // namespace MimeSamples
