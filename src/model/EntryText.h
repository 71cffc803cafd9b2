// Texts made from a message entry: bar caption, hover hint, recipients as the list shows them.
#pragma once

#include <string>

struct TEntryFields;
class TQBMessage;

// Rows added on arrival separate recipients by ", "; rows added by "Show all" end
// every recipient with a blank.
enum class TRecipientForm { CommaSeparated, BlankSeparated };

// Decoded UTF-8 made fit for one-line fields (see SingleLine).
TEntryFields EntryFields(const TQBMessage& msg);
// Fields kept from an earlier run, made fit to show by the same rules: the file that kept
// them may have been edited.
void CleanEntryFields(TEntryFields& fields);
std::string EntryCaption(const TEntryFields& fields, const std::string& accountName);
// Made when shown rather than kept, as most entries are never pointed at.
std::string EntryHint(const TEntryFields& fields, const std::string& accountName);
std::string RecipientsText(const TEntryFields& fields, TRecipientForm form);
