// Mailboxes in the mbox format, for the POP3 servers that read one.
#include "Mbox.h"

#include "DovecotServer.h"

std::string MboxEntry(const std::string& message) {
    std::string entry = "From sender@example.org Mon Jan  1 00:00:00 2024\n";
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find("\r\n", start);
        if (end == std::string::npos)
            end = message.size();
        const std::string line = message.substr(start, end - start);
        entry += (line.rfind("From ", 0) == 0 ? ">" : "") + line + "\n";
        start = end + 2;
    }
    return entry + "\n";
}

std::string GeneratedMbox(int messages) {
    std::string mbox;
    for (int n = 1; n <= messages; ++n)
        mbox += MboxEntry(TDovecotServer::GenerateMessage(n));
    return mbox;
}
