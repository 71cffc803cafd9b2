// The new-mail notification's text: one message by its sender's name, several by their count
// and account, each line of bounded length whatever the subject holds.
#include "bar/NewMailNotice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEntry Entry(unsigned long long id, const std::string& from, const std::string& subject,
             bool read = false, int account = 0) {
    TEntry entry;
    entry.Id = static_cast<TEntryId>(id);
    entry.Account = account;
    entry.Fields.From = from;
    entry.Fields.Subject = subject;
    entry.Read = read;
    return entry;
}

std::vector<TEntryId> Ids(std::initializer_list<unsigned long long> ids) {
    std::vector<TEntryId> list;
    for (unsigned long long id : ids)
        list.push_back(static_cast<TEntryId>(id));
    return list;
}

std::string AccountName(int account) {
    return account == 0 ? "Work" : account == 1 ? "Home" : "Club";
}

} // namespace

TEST(NewMailText, OneMessageBySenderNameSeveralByCountAndAccount) {
    TEntry named = Entry(2, "zoe@example.dk", "Hello");
    // As the header index keeps it: decoded, one line.
    named.Fields.FromName = "Zo\xc3\xab \xc3\x98rsted";
    const TEntryArray entries{Entry(1, "old@example.org", "Not new"), named};
    TNewMailText text = NewMailText(entries, Ids({2}), AccountName);
    EXPECT_EQ(text.Summary, QString::fromUtf8("Zo\xc3\xab \xc3\x98rsted"));
    EXPECT_EQ(text.Body, "Hello");
    EXPECT_EQ(text.Messages, Ids({2}));
    // Without a name, the address.
    EXPECT_EQ(NewMailText(entries, Ids({1}), AccountName).Summary, "old@example.org");

    const std::string huge(100000, 'x');
    const TEntryArray many{
        Entry(1, "old@example.org", "Not new"),
        Entry(2, "read@example.org", "Read already", true),
        Entry(3, "a@example.org", "Third"),
        Entry(4, "b@example.org", "<b>Big</b> & \"sale\""),
        Entry(5, "c@example.org", huge + "\xf0\x9f\x93\x88"),
        Entry(6, "d@example.org", std::string(98, 'y') + "\xf0\x9f\x93\x88" + "z"),
        Entry(7, "e@example.org",
              "Line\r\nbreak\x01\xe2\x80\xa8"
              "end"),
    };
    text = NewMailText(many, Ids({2, 3, 4, 5, 6, 7}), AccountName);
    EXPECT_EQ(text.Summary, "5 new messages in Work");
    EXPECT_EQ(text.Messages, Ids({7, 6, 5, 4, 3}));
    const QStringList lines = text.Body.split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "e@example.org: Linebreakend");
    // Cut before the pair of surrogates rather than through it.
    EXPECT_EQ(lines[1], "d@example.org: " + QString(98, 'y') + QChar(0x2026));
    EXPECT_EQ(lines[2], "c@example.org: " + QString(99, 'x') + QChar(0x2026));
    EXPECT_EQ(lines[3], "and 2 more");
    // Markup stays as written: the notifier makes it text for a service that reads markup.
    EXPECT_TRUE(NewMailText(many, Ids({3, 4}), AccountName).Body.contains("<b>Big</b> & \"sale\""));

    const TEntryArray accounts{Entry(1, "a@x", "A", false, 0), Entry(2, "b@x", "B", false, 1),
                               Entry(3, "c@x", "C", false, 2)};
    EXPECT_EQ(NewMailText(accounts, Ids({1, 2}), AccountName).Summary,
              "2 new messages in Work and Home");
    EXPECT_EQ(NewMailText(accounts, Ids({1, 2, 3}), AccountName).Summary,
              "3 new messages in 3 accounts");
    // Nothing unread among them: nothing to tell.
    EXPECT_TRUE(NewMailText(many, Ids({2}), AccountName).Messages.empty());
}
