// qb-mimedump: decodes a message file with TQBMessage and prints what it found as JSON,
// each raw header value beside the text a person sees (the ...Display fields).
#include "mail/DateTimeValue.h"
#include "mail/DisplayText.h"
#include "mail/MD5Hex.h"
#include "mail/MessageText.h"
#include "mail/UCustomIndy.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

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

// Header bytes are not always UTF-8: a byte that starts no valid sequence is
// written as the code point of the same value, so the output stays valid JSON.
std::string Json(const std::string& text) {
    std::string out = "\"";
    char escape[8];
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof(escape), "\\u%04x", c);
            out += escape;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const size_t n = Utf8Length(text, i)) {
            out.append(text, i, n);
            i += n;
            continue;
        } else {
            std::snprintf(escape, sizeof(escape), "\\u%04x", c);
            out += escape;
        }
        ++i;
    }
    return out + "\"";
}

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

void Dump(const TQBMessage& msg, std::ostream& out) {
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
            << ", \"Charset\": " << Json(p.Charset) << ", \"Size\": " << p.Data.size()
            << ", \"MD5\": " << Json(MD5Hex(p.Data)) << "}";
    }
    out << (msg.PartCount() ? "\n  ],\n" : "],\n");
    out << "  \"BodyDisplay\": " << Json(DisplayBody(msg)) << "\n}\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: qb-mimedump <message file>\n";
        return 2;
    }
    try {
        TFileStream stream(argv[1]);
        TQBMessage msg;
        msg.LoadFromStream(stream);
        Dump(msg, std::cout);
    } catch (const std::exception& e) {
        std::cerr << "qb-mimedump: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
