// Line decoders: base64, quoted-printable and uuencode, including malformed input.
#include "mime/MimeEncodings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The line sits in a buffer of exactly its size, so AddressSanitizer sees any read beyond it.
std::string Base64(const std::string& line) {
    std::vector<char> buffer(line.begin(), line.end());
    return std::string(buffer.data(), DecodeBase64Line(buffer.data(), buffer.size()));
}

std::string QuotedPrintable(const std::string& line, bool& soft) {
    std::vector<char> buffer(line.begin(), line.end());
    return std::string(buffer.data(),
                       DecodeQuotedPrintableLine(buffer.data(), buffer.size(), soft));
}

std::string UU(const std::string& line) {
    std::vector<char> buffer(line.begin(), line.end());
    return std::string(buffer.data(), DecodeUULine(buffer.data(), buffer.size()));
}

} // namespace

TEST(Base64Line, WholeGroupsAndPadding) {
    EXPECT_EQ(Base64("SGVsbG8sIHdvcmxkIQ=="), "Hello, world!");
    EXPECT_EQ(Base64("QUI="), "AB");
    EXPECT_EQ(Base64("QQ=="), "A");
    // A third "=" ends the group whatever its fourth character is.
    EXPECT_EQ(Base64("QQ=xQUJD"), "AABC");
    EXPECT_EQ(Base64("QQ==QUI="), "AAB");
    EXPECT_EQ(Base64(""), "");
}

TEST(Base64Line, LeadingBlanksSkippedAndBlankEndsTheLine) {
    EXPECT_EQ(Base64("   QUJD"), "ABC");
    EXPECT_EQ(Base64("QUJD QUJD"), "ABC");
    EXPECT_EQ(Base64("    "), "");
}

TEST(Base64Line, MalformedLinesStayInsideTheLine) {
    // Short last groups give what they hold; a lone character gives nothing.
    EXPECT_EQ(Base64("QUJDQQ"), "ABCA");
    EXPECT_EQ(Base64("QUJDQUI"), "ABCAB");
    EXPECT_EQ(Base64("QUJDQ"), "ABC");
    EXPECT_EQ(Base64("Q"), "");
    EXPECT_EQ(Base64("QQ="), "A");
    // Characters outside the alphabet are skipped.
    EXPECT_EQ(Base64("QU*JD"), "ABC");
    EXPECT_EQ(Base64("Q\x80U\x01JD"), "ABC");
    EXPECT_EQ(Base64("!!!!"), "");
    EXPECT_EQ(Base64("===="), "");
}

TEST(QuotedPrintableLine, EscapeAtEveryDistanceFromThePrevious) {
    // The output falls behind the input after an escape; text copied in words must not
    // overwrite the next escape before it is read.
    for (size_t gap = 0; gap < 20; ++gap) {
        bool soft = true;
        const std::string text(gap, 'x');
        EXPECT_EQ(QuotedPrintable("=41" + text + "=42=43" + text + "yyyyyyyyyyyy", soft),
                  "A" + text + "BC" + text + "yyyyyyyyyyyy")
            << "gap " << gap;
        EXPECT_FALSE(soft);
    }
}

TEST(QuotedPrintableLine, UpToTheLineEndAsTheLineAlone) {
    // Lines around every escape form, each with an LF and a CR LF end and a next line,
    // in a buffer of their size so that AddressSanitizer sees any read beyond it.
    std::vector<std::string> lines = {"",        "=",       "= \t",  "=4",      "=4x",     "=G1",
                                      "a=41b",   "==41",    "x=\rA", "cr\rmid", "tail=A",  "=\r",
                                      "soft=  ", "bare= x", "=4\r",  "=ab=CD",  "=\t\t\r", "ab=0D"};
    // Escapes put the output behind the input by every distance from the line end.
    for (int escapes = 1; escapes < 10; ++escapes)
        for (size_t tail = 0; tail < 24; ++tail) {
            std::string line;
            for (int k = 0; k < escapes; ++k)
                line += "=41";
            lines.push_back(line + std::string(tail, 'x'));
        }
    for (const std::string& line : lines)
        for (const std::string end : {"\n", "\r\n"}) {
            // A CR before the LF belongs to the line end.
            if (end == "\n" && line.ends_with('\r'))
                continue;
            bool lineSoft = false, soft = true;
            const std::string expected = QuotedPrintable(line, lineSoft);
            const std::string text = line + end + "next\r\n";
            std::vector<char> buffer(text.begin(), text.end());
            size_t lineEnd = 0;
            const size_t n = DecodeQuotedPrintableToLineEnd(buffer.data(), buffer.size(),
                                                            buffer.data(), lineEnd, soft);
            EXPECT_EQ(std::string(buffer.data(), n), expected) << line;
            EXPECT_EQ(soft, lineSoft) << line;
            EXPECT_EQ(lineEnd, line.size() + end.size() - 1) << line;
        }
}

TEST(QuotedPrintableLine, HexEscapesSoftBreaksAndLiterals) {
    bool soft = false;
    EXPECT_EQ(QuotedPrintable("caf=E9=", soft), "caf\xE9");
    EXPECT_TRUE(soft);
    EXPECT_EQ(QuotedPrintable("a=3Db", soft), "a=b");
    EXPECT_FALSE(soft);
    EXPECT_EQ(QuotedPrintable("=c3=a9", soft), "\xC3\xA9");
    // Blanks after a final "=" were added in transport: still a soft break.
    EXPECT_EQ(QuotedPrintable("end= \t", soft), "end");
    EXPECT_TRUE(soft);
    EXPECT_EQ(QuotedPrintable("trailing  ", soft), "trailing  ");
    EXPECT_FALSE(soft);
}

TEST(QuotedPrintableLine, NonHexSequencesAreKeptAsWritten) {
    bool soft = false;
    EXPECT_EQ(QuotedPrintable("a=G1b", soft), "a=G1b");
    EXPECT_EQ(QuotedPrintable("=4", soft), "\x04");
    EXPECT_EQ(QuotedPrintable("=Z", soft), "=Z");
    EXPECT_EQ(QuotedPrintable("x=3", soft), std::string("x\x03", 2));
    EXPECT_EQ(QuotedPrintable("==41", soft), "=A");
    EXPECT_FALSE(soft);
}

TEST(UULine, CountDecidesTheBytes) {
    EXPECT_EQ(UU("#0V%T"), "Cat");
    EXPECT_EQ(UU("`"), "");
    EXPECT_EQ(UU(""), "");
    // A count larger than the line gives only what the line holds.
    EXPECT_EQ(UU("M0V%T").size(), 3u);
    EXPECT_EQ(UU("M").size(), 0u);
}
