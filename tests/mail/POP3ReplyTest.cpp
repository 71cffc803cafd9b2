// Tests of the POP3 reply parsing: status lines, LIST sizes, APOP timestamps, dot lines.
#include "pop3/POP3Reply.h"
#include "core/MD5Hex.h"

#include <gtest/gtest.h>

TEST(POP3ReplyTest, StatusLineSplitsIntoStatusAndText) {
    TPOP3Reply ok = ParseReplyLine("+OK 2 320");
    EXPECT_EQ(ok.Code, TPOP3Status::OK);
    EXPECT_EQ(ok.Status, "+OK");
    EXPECT_EQ(ok.Text, "2 320");

    TPOP3Reply err = ParseReplyLine("-ERR no such message");
    EXPECT_EQ(err.Code, TPOP3Status::Err);
    EXPECT_EQ(err.Text, "no such message");

    EXPECT_EQ(ParseReplyLine("+ok fine").Code, TPOP3Status::OK);
    EXPECT_EQ(ParseReplyLine("-err").Code, TPOP3Status::Err);
    EXPECT_EQ(ParseReplyLine("+OK").Text, "");
}

TEST(POP3ReplyTest, ShortOrStrangeStatusLinesAreUnknown) {
    for (const char* line : {"", "+", "+O", "OK", "* OK ready", "+OKAY"})
        EXPECT_EQ(ParseReplyLine(line).Code, TPOP3Status::Unknown) << line;
}

TEST(POP3ReplyTest, MessageSizeFromListReply) {
    EXPECT_EQ(ParseMessageSize("3 1200"), 1200);
    EXPECT_EQ(ParseMessageSize(""), -1);
    EXPECT_EQ(ParseMessageSize("3 1200 octets"), -1);
    EXPECT_EQ(ParseMessageSize("3"), -1);
    EXPECT_EQ(ParseMessageSize("3 "), -1);
    EXPECT_EQ(ParseMessageSize("3 99999999999"), -1);
    EXPECT_EQ(ParseMessageSize("3 2147483647"), 2147483647);
}

TEST(POP3ReplyTest, APOPTimestampNeedsBothBrackets) {
    EXPECT_EQ(APOPTimestamp("POP3 server ready <1896.697170952@dbc.mw.com>"),
              "<1896.697170952@dbc.mw.com>");
    EXPECT_EQ(APOPTimestamp("ready <a@b> and <c@d>"), "<a@b>");
    EXPECT_EQ(APOPTimestamp("ready >oops"), "");
    EXPECT_EQ(APOPTimestamp("ready <never closed"), "");
    EXPECT_EQ(APOPTimestamp("a > b <c@d>"), "<c@d>");
}

TEST(POP3ReplyTest, DotUnstuffing) {
    EXPECT_EQ(UnstuffDot(".."), ".");
    EXPECT_EQ(UnstuffDot("..text"), ".text");
    EXPECT_EQ(UnstuffDot(".text"), ".text");
    EXPECT_EQ(UnstuffDot("plain"), "plain");
    EXPECT_EQ(UnstuffDot(""), "");
}

TEST(POP3ReplyTest, APOPDigestOfTimestampAndPassword) {
    EXPECT_EQ(MD5Hex("<1896.697170952@dbc.mw.com>tanstaaf"), "64bceb7c28b43e98502bc1d5faead518");
}
