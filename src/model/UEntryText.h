// Texts made from a message entry: bar caption, hover hint, recipients as the list shows them.
#pragma once

#include <string>

struct TEntryFields;
class TQBMessage;

// Rows added on arrival separate recipients by ", "; rows added by "Show all" end
// every recipient with a blank.
enum class TRecipientForm { CommaSeparated, BlankSeparated };

// All three give decoded UTF-8 made fit for one-line fields (see SingleLine).
std::string EntryCaption(const TQBMessage& msg, const std::string& accountName);
std::string EntryHint(const TQBMessage& msg, const std::string& accountName);
TEntryFields EntryFields(const TQBMessage& msg);
std::string RecipientsText(const TEntryFields& fields, TRecipientForm form);
