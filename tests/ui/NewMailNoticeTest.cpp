// The new-mail notification's text: the unread count and the newest few, each one line of
// bounded length whatever the subject holds.
#include "bar/NewMailNotice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEntry Entry(unsigned long long id, const std::string& from, const std::string& subject,
             bool read = false) {
    TEntry entry;
    entry.Id = static_cast<TEntryId>(id);
    entry.Fields.From = from;
    entry.Fields.Subject = subject;
    entry.Read = read;
    return entry;
}

} // namespace

TEST(NewMailText, NewestUnreadFirstEachOneBoundedLineOfText) {
    const std::string huge(100000, 'x');
    const TEntryArray entries{
        Entry(1, "old@example.org", "Oldest"),
        Entry(2, "read@example.org", "Read already", true),
        Entry(3, "a@example.org", "Third"),
        Entry(4, "b@example.org", "<b>Big</b> & \"sale\""),
        Entry(5, "c@example.org", huge + "\xf0\x9f\x93\x88"),
        Entry(6, "d@example.org", std::string(98, 'y') + "\xf0\x9f\x93\x88" + "z"),
    };
    const TNewMailText text = NewMailText(entries);
    EXPECT_EQ(text.Newest, static_cast<TEntryId>(6));
    EXPECT_EQ(text.Summary, "5 unread messages");
    const QStringList lines = text.Body.split('\n');
    ASSERT_EQ(lines.size(), 4);
    // Cut before the pair of surrogates rather than through it.
    EXPECT_EQ(lines[0], "d@example.org: " + QString(98, 'y') + QChar(0x2026));
    EXPECT_EQ(lines[1], "c@example.org: " + QString(99, 'x') + QChar(0x2026));
    // Markup stays as written: the notifier makes it text for a service that reads markup.
    EXPECT_EQ(lines[2], "b@example.org: <b>Big</b> & \"sale\"");
    EXPECT_EQ(lines[3], "and 2 more");
    EXPECT_EQ(NewMailText({Entry(7, "a@example.org",
                                 "Line\r\nbreak\x01"
                                 "\xe2\x80\xa8"
                                 "end")})
                  .Body,
              "a@example.org: Linebreakend");
    EXPECT_EQ(NewMailText({Entry(8, "x", "y", true)}).Newest, TEntryId::None);
}
