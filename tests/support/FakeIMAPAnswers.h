// TIMAPAnswers: the plain answers of a small scripted IMAP server, for TFakePOP3Server's
// responder in tagged mode.
#pragma once

#include "FakePOP3Server.h"

#include <cctype>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The plain answers of a small IMAP server with three messages in INBOX.
class TIMAPAnswers {
  public:
    explicit TIMAPAnswers(std::string capabilities) : FCapabilities(std::move(capabilities)) {}

    std::string operator()(const std::string& line) {
        std::lock_guard<std::mutex> lock(FLock);
        const size_t blank = line.find(' ');
        const bool tagged = line.size() > 1 && line[0] == 'A' &&
                            std::isdigit(static_cast<unsigned char>(line[1])) &&
                            blank != std::string::npos;
        if (!tagged) // the rest of a command: a literal's line, a SASL response or DONE
            return Continue(line);
        const std::string tag = line.substr(0, blank);
        const std::string command = line.substr(blank + 1);
        auto starts = [&](const char* prefix) { return command.rfind(prefix, 0) == 0; };
        if (starts("CAPABILITY"))
            return "* CAPABILITY " + FCapabilities + "\r\n" + tag + " OK\r\n";
        if (starts("LOGIN") || command == "AUTHENTICATE PLAIN") {
            FPending = tag;
            return Continue(command);
        }
        if (starts("AUTHENTICATE PLAIN "))
            return tag + " OK logged in\r\n";
        if (starts("SELECT") || starts("EXAMINE"))
            return "* 3 EXISTS\r\n* OK [UIDVALIDITY 7] ok\r\n* OK [UIDNEXT 10] ok\r\n" + tag +
                   " OK\r\n";
        if (starts("UID SEARCH"))
            return "* SEARCH 4 5 9\r\n" + tag + " OK\r\n";
        if (starts("UID") || starts("NOOP"))
            return tag + " OK done\r\n";
        if (starts("IDLE")) {
            FPending = tag;
            return "+ idling\r\n";
        }
        if (starts("LOGOUT"))
            return "* BYE see you\r\n" + tag + " OK\r\n";
        return tag + " BAD unknown command\r\n";
    }

  private:
    std::mutex FLock;
    std::string FCapabilities;
    std::string FPending; // the command whose continuation comes

    std::string Continue(const std::string& line) {
        if (line.size() > 1 && line.compare(line.size() - 2, 2, "+}") == 0)
            return "";
        if (!line.empty() && line.back() == '}')
            return "+ go on\r\n";
        if (line == "AUTHENTICATE PLAIN")
            return "+ \r\n";
        return FPending + " OK done\r\n";
    }
};

// The answer to "tag UID FETCH set (UID RFC822.SIZE BODY.PEEK[HEADER])": every uid of the set
// (numbers and ranges) as its own message whose header is "Subject: <subject> <uid>".
inline std::string IMAPHeadersAnswer(const std::string& line, const std::string& subject) {
    const std::string tag = line.substr(0, line.find(' '));
    const size_t from = line.find("FETCH ") + 6;
    const std::string set = line.substr(from, line.find(' ', from) - from);
    std::string answer;
    for (size_t at = 0; at < set.size();) {
        size_t end = set.find(',', at);
        end = end == std::string::npos ? set.size() : end;
        const std::string range = set.substr(at, end - at);
        const unsigned long first = std::strtoul(range.c_str(), nullptr, 10);
        const size_t colon = range.find(':');
        const unsigned long last = colon == std::string::npos
                                       ? first
                                       : std::strtoul(range.c_str() + colon + 1, nullptr, 10);
        for (unsigned long uid = first; uid <= last; ++uid) {
            const std::string header =
                "Subject: " + subject + " " + std::to_string(uid) + "\r\n\r\n";
            answer += "* " + std::to_string(uid) + " FETCH (UID " + std::to_string(uid) +
                      " RFC822.SIZE 100 BODY[HEADER] {" + std::to_string(header.size()) + "}\r\n" +
                      header + ")\r\n";
        }
        at = end + 1;
    }
    return answer + tag + " OK done\r\n";
}

// Makes server a scripted IMAP server that tells these capabilities in its greeting. What own
// answers comes first; every other line gets the plain answers.
inline void
ServeIMAP(TFakePOP3Server& server, const std::string& capabilities,
          std::function<std::optional<std::string>(const std::string& line)> own = nullptr) {
    server.SetGreeting("* OK [CAPABILITY " + capabilities + "] fake ready");
    auto answers = std::make_shared<TIMAPAnswers>(capabilities);
    server.SetResponder([answers, own](const std::string& line) {
        if (own)
            if (std::optional<std::string> answer = own(line))
                return *answer;
        return (*answers)(line);
    });
    server.SetTagged(true);
}
