// Messages as real mail programs write them, checked against part bytes from an independent
// decoder.
#include "MimeTestSupport.h"
#include "core/MD5Hex.h"
#include "mime/DateTimeValue.h"
#include "mime/Message.h"
#include "mime/MessageText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

const std::string Folder = std::string(QB_TEST_DATA) + "/mime/";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// One line per record, as make_expected.py writes them.
std::string Describe(const TQBMessage& msg) {
    std::string out;
    for (int i = 0; i < msg.PartCount(); ++i) {
        const TQBMessagePart& p = msg.GetPart(i);
        out += std::to_string(i) + "\t" + p.ContentType + "\t" + p.Encoding + "\t" + p.FileName +
               "\t" + std::to_string(p.Data.size()) + "\t" + MD5Hex(p.Data) + "\n";
    }
    return out;
}

class RealMessages : public testing::TestWithParam<const char*> {};

} // namespace

TEST_P(RealMessages, PartsMatchTheIndependentDecoderAtAnyReadSize) {
    const std::string name = GetParam();
    const std::string expected = ReadFile(Folder + name + ".expected");
    ASSERT_FALSE(expected.empty());
    TQBMessage fromFile;
    TFileStream file(Folder + name + ".eml");
    fromFile.LoadFromStream(file);
    EXPECT_EQ(Describe(fromFile), expected);

    TQBMessage bytewise;
    TChunkedStream stream(ReadFile(Folder + name + ".eml"), 1);
    bytewise.LoadFromStream(stream);
    EXPECT_EQ(Describe(bytewise), expected);
}

INSTANTIATE_TEST_SUITE_P(Samples, RealMessages,
                         testing::Values("alternative-qp", "mixed-attachments", "forwarded-rfc822",
                                         "single-latin1-qp", "related-inline-lf"));

TEST(RealMessageHeaders, EncodedWordsStayRawAndFieldsAreFilled) {
    TQBMessage msg;
    TFileStream file(Folder + "alternative-qp.eml");
    msg.LoadFromStream(file);
    EXPECT_EQ(msg.Decoder.Subject, "=?UTF-8?Q?Unterlagen_f=C3=BCr_Donnerstag?=");
    EXPECT_EQ(msg.From.Name, "=?UTF-8?Q?J=C3=B6rg_Becker?=");
    EXPECT_EQ(msg.From.Address, "joerg.becker@example.de");
    EXPECT_EQ(msg.GetTo(0).Address, "maria.schulz@example.org");
    EXPECT_EQ(FormatDateTimeISO(msg.Date), "2026-11-12 09:14:49");
    EXPECT_EQ(msg.Decoder.ReturnPath, "joerg.becker@example.de");
    EXPECT_EQ(msg.Decoder.Boundary, "--------------0kx3bp7nw2sq9mt4vr8yz1ac");
    // Received[1] from the topmost header, Received[0] from the second.
    EXPECT_EQ(msg.GetReceived(1).IP, "192.0.2.17");
    EXPECT_EQ(msg.GetReceived(0).IP, "10.0.0.23");
    EXPECT_EQ(msg.GetReceived(0).For, "maria.schulz@example.org");
}

TEST(RealMessageHeaders, FoldedRecipientsAndPriority) {
    TQBMessage msg;
    TFileStream file(Folder + "mixed-attachments.eml");
    msg.LoadFromStream(file);
    EXPECT_EQ(msg.Decoder.Priority, 2);
    EXPECT_EQ(msg.Decoder.ContentType, "multipart/mixed");
    ASSERT_EQ(msg.ToCount(), 2);
    EXPECT_EQ(msg.GetTo(0).Name, "Team Finance");
    EXPECT_EQ(msg.GetTo(0).Address, "finance@corp.example.com");
    // Folded between the quoted name and the address.
    EXPECT_EQ(msg.GetTo(1).Name, "Okafor, Daniel");
    EXPECT_EQ(msg.GetTo(1).Address, "daniel.okafor@corp.example.com");
    ASSERT_EQ(msg.CCCount(), 1);
    EXPECT_EQ(msg.GetCC(0).Name, "Lindqvist, Eva");
    EXPECT_EQ(msg.GetPart(5).Disposition, "attachment");
    EXPECT_EQ(msg.GetPart(5).Name, "Q3 Report.pdf");
    // The topmost Received header has no address in brackets.
    EXPECT_EQ(msg.GetReceived(1).IP, "(unknown)");
    EXPECT_EQ(msg.GetReceived(0).IP, "fe80::1c4d:9a2b:7e31:5f60");
}

TEST(RealMessageHeaders, TwoDigitYearAndLatin1Names) {
    TQBMessage msg;
    TFileStream file(Folder + "single-latin1-qp.eml");
    msg.LoadFromStream(file);
    EXPECT_EQ(FormatDateTimeISO(msg.Date), "2026-03-10 07:44:58");
    EXPECT_EQ(msg.From.Address, "info@seeblick.example.at");
    EXPECT_EQ(msg.Decoder.Priority, 3);
    EXPECT_EQ(msg.GetReceived(0).IP, "203.0.113.9");
    EXPECT_EQ(msg.GetReceived(0).For, "(unknown)");
}

// Messages as three other POP3 servers handed them over: a folded subject keeps one blank
// where the message has one, the body is the message's own text and not an attached text
// file, and lines stored with CR CR LF still end the header and the lines where they should.
TEST(ServerSamples, FoldsAttachmentsAndDoubledCarriageReturnsReadAsWritten) {
    for (const size_t readSize : {size_t(1), size_t(65536)}) {
        const auto load = [readSize](TQBMessage& msg, const std::string& name) {
            TChunkedStream stream(ReadFile(Folder + name + ".eml"), readSize);
            msg.LoadFromStream(stream);
        };
        TQBMessage folded, attached, doubled;
        load(folded, "folded-subject");
        load(attached, "text-png-list");
        load(doubled, "cr-cr-lf");
        EXPECT_EQ(folded.Decoder.Subject, "A subject long enough that the email package folds "
                                          "it onto a second line that continues here");
        EXPECT_EQ(DisplayBody(attached), "The list is attached.\r\n\r\n");
        EXPECT_EQ(attached.PartCount(), 4); // the preamble, the text and two files
        EXPECT_EQ(doubled.Decoder.Subject, "Stored with CR CR LF");
        EXPECT_EQ(DisplayBody(doubled), "First line.\r\nSecond line.\r\n");
    }
}
