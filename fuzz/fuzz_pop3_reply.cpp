// Fuzz target for the POP3 reply parsers: status lines, LIST sizes and numbers, APOP timestamps,
// dot lines.
#include "pop3/POP3Reply.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    TPOP3Reply reply = ParseReplyLine(line);
    if (reply.Status.size() > 4)
        __builtin_trap();
    ParseMessageSize(reply.Text);
    if (ParseMessageNumber(reply.Text) < -1)
        __builtin_trap();
    std::string timestamp = APOPTimestamp(line);
    if (!timestamp.empty() && (timestamp.front() != '<' || timestamp.back() != '>'))
        __builtin_trap();
    std::string unstuffed = UnstuffDot(line);
    if (unstuffed.size() + 1 < line.size())
        __builtin_trap();
    return 0;
}
