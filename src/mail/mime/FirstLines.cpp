// The "first lines" of a message cut from a longer start of it.
#include "FirstLines.h"

void KeepFirstLines(std::string& text, int maxLines) {
    size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) {
        const size_t last = text.rfind("\r\n");
        text.resize(last == std::string::npos ? 0 : last + 2);
        return;
    }
    end += 4;
    for (int line = 0; line < maxLines; ++line) {
        const size_t next = text.find("\r\n", end);
        if (next == std::string::npos)
            break;
        end = next + 2;
    }
    text.resize(end);
}
