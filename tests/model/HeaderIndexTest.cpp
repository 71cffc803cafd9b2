// The header index file's text: what is saved comes back, and nothing but a whole index of
// this version is taken.
#include "model/HeaderIndex.h"

#include <gtest/gtest.h>

namespace {

std::vector<TIndexedEntry> Sample() {
    TIndexedEntry plain;
    plain.UID = "0123abcd";
    plain.Fields.Subject = "Hello";
    TIndexedEntry awkward;
    awkward.UID = "u\t2";
    awkward.MessageID = "<a\\b@example.org>";
    awkward.Fields = {"Tab\there, line\nbreak, CR\r, back\\slash \xc3\xa9",
                      "a@example.org",
                      "Zo\xc3\xab \xc3\x98rsted",
                      {"Reader (r@example.org)", "", "Other\t(o@example.org)"},
                      "r@example.org, o@example.org",
                      "Mon, 7 Dec 2026 10:00:00 +0100",
                      46363.41666666666,
                      5,
                      123456789012LL,
                      true};
    return {plain, awkward};
}

} // namespace

TEST(HeaderIndexText, EntriesComeBackAsTheyWereSaved) {
    std::vector<TIndexedEntry> read{TIndexedEntry{}};
    ASSERT_TRUE(ParseHeaderIndex(HeaderIndexText(Sample()), read));
    EXPECT_EQ(read, Sample());
    ASSERT_TRUE(ParseHeaderIndex(HeaderIndexText({}), read));
    EXPECT_TRUE(read.empty());
}

TEST(HeaderIndexText, AnythingButAWholeIndexOfThisVersionIsRefused) {
    const std::string text = HeaderIndexText(Sample());
    std::vector<TIndexedEntry> read;
    for (size_t length = 0; length < text.size(); ++length)
        EXPECT_FALSE(ParseHeaderIndex(text.substr(0, length), read)) << length;
    std::string otherVersion = text;
    otherVersion[otherVersion.find('\n') - 1] = '1';
    std::string badEscape = text;
    badEscape.insert(badEscape.find("Hello"), "\\x");
    std::string wrongCount = text;
    wrongCount.replace(wrongCount.rfind("end 2"), 5, "end 3");
    for (const std::string& bad : {otherVersion, badEscape, wrongCount, text + "more\n"}) {
        EXPECT_FALSE(ParseHeaderIndex(bad, read));
        EXPECT_TRUE(read.empty());
    }
}
