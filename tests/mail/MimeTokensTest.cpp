// Header value tokens: stop characters, comments, quoted and plain values.
#include "mime/MimeTokens.h"

#include <gtest/gtest.h>

TEST(HeaderTokenizer, TokenStopsAndSkipsItsSeparator) {
    THeaderTokenizer t("Content-Type: Text/Plain; Charset=\"UTF-8\"");
    EXPECT_EQ(t.Token(), "content-type");
    EXPECT_EQ(t.Stop(), ':');
    EXPECT_EQ(t.Rest(), "Text/Plain; Charset=\"UTF-8\"");
    EXPECT_EQ(t.ExtendedToken(), "text/plain");
    EXPECT_EQ(t.Stop(), ';');
    EXPECT_EQ(t.Token(), "charset");
    EXPECT_EQ(t.Stop(), '=');
    EXPECT_EQ(t.QuotedValue(), "UTF-8");
    EXPECT_EQ(t.Stop(), '\0');
}

TEST(HeaderTokenizer, BlankBeforeSeparatorStaysTheStop) {
    THeaderTokenizer t("Subject : Hello");
    EXPECT_EQ(t.Token(), "subject");
    EXPECT_EQ(t.Stop(), ' ');
    EXPECT_EQ(t.Rest(), "Hello");
}

TEST(HeaderTokenizer, ExtendedTokenTakesCommentsWhole) {
    THeaderTokenizer t("7Bit(Some Comment; x=y);next");
    EXPECT_EQ(t.ExtendedToken(), "7bitsome comment; x=y");
    EXPECT_EQ(t.Stop(), ';');
    THeaderTokenizer unbalanced("base64 (open");
    EXPECT_EQ(unbalanced.ExtendedToken(), "base64");
    THeaderTokenizer closeFirst(")x(y");
    EXPECT_EQ(closeFirst.ExtendedToken(), "xy");
}

TEST(HeaderTokenizer, QuotedValueKeepsCaseUnquotedLowersIt) {
    THeaderTokenizer quoted("\"Report.TXT\"; b=C");
    EXPECT_EQ(quoted.QuotedValue(), "Report.TXT");
    EXPECT_EQ(quoted.Stop(), ';');
    THeaderTokenizer plain("Report.TXT; b=C");
    EXPECT_EQ(plain.QuotedValue(), "report.txt");
    THeaderTokenizer open("\"never closed");
    EXPECT_EQ(open.QuotedValue(), "never closed");
    EXPECT_EQ(open.Stop(), '\0');
}

TEST(HeaderTokenizer, PlainValueTakesTheRestOfTheLine) {
    THeaderTokenizer t("a.pdf; size=10");
    EXPECT_EQ(t.PlainValue(), "a.pdf; size=10");
    THeaderTokenizer q("  \"a b.pdf\"; size=10");
    EXPECT_EQ(q.PlainValue(), "a b.pdf");
}

TEST(StripAngles, OnlyOneEnclosingPair) {
    EXPECT_EQ(StripAngles("<a@b>"), "a@b");
    EXPECT_EQ(StripAngles("<<a@b>>"), "<a@b>");
    EXPECT_EQ(StripAngles("<"), "<");
    EXPECT_EQ(StripAngles("<>"), "");
    EXPECT_EQ(StripAngles("a@b>"), "a@b>");
}
