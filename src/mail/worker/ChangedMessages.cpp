// A job's message found to be another one under the same key: the POP3 confirmation before
// DELE, and what the worker then tells the main thread.
#include "QBThread.h"

#include "mime/MessageFields.h"
#include "net/MailError.h"

TStringList HeaderOfText(std::string_view text) {
    TStringList lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (line.empty())
            break;
    }
    return lines;
}

std::string ChangedAtOpenText(const std::string& received, const std::string& announced) {
    return "The message has changed on the server (Message-ID \"" + received + "\" instead of \"" +
           announced + "\"); its entry now shows the new one.";
}

void TQBThread::RaiseChanged(TChanged message) {
    if (Events.Changed && !FStopping)
        Raise([this, &message] { Events.Changed(message); });
}

bool TQBThread::ConfirmBeforeRemoval(std::vector<int>& numbers, std::string& cause) {
    std::vector<size_t> places;
    std::vector<int> asked;
    for (size_t i = 0; i < numbers.size() && i < FTask.Messages.size(); ++i)
        if (numbers[i] > 0 && !FTask.Messages[i].MessageID.empty()) {
            places.push_back(i);
            asked.push_back(numbers[i]);
        }
    // Without TOP a header costs the whole message: such a message is taken as announced.
    if (places.empty() || FLacksTop.count(ServerName()) > 0)
        return true;
    std::vector<TChanged> changed;
    try {
        // One round trip for all; each LIST reply names its message and gives its size.
        const bool pipelined = PipelinesTops();
        if (pipelined)
            POP3.SendTops(asked, 0, true);
        for (size_t place : places) {
            TChanged message{place, numbers[place], {}, -1};
            bool answered = false;
            try {
                answered = pipelined ? POP3.ReadTop(message.Header)
                                     : POP3.RetrieveTop(message.Number, 0, message.Header);
            } catch (const EMailInStepError&) {
                // Refused but read to its end: this one cannot be told cheaply.
                continue;
            }
            const std::string id = MessageIdOf(message.Header);
            if (!answered || (id.empty() && POP3.LastDataCut) ||
                id == FTask.Messages[place].MessageID)
                continue;
            message.Size = pipelined ? POP3.ListedSize : SizeOrUnknown(message.Number);
            numbers[place] = -1;
            changed.push_back(std::move(message));
        }
    } catch (const std::exception& error) {
        cause = error.what();
        return false;
    }
    for (TChanged& message : changed) {
        RaiseChanged(std::move(message));
        RaiseError(TErrorSeverity::Warning, ChangedBeforeRemovalText);
    }
    return true;
}
